// The browser build's figures in each engine (headless Chromium with SwiftShader, headless
// Firefox ESR and WebKitGTK's MiniBrowser with llvmpipe), from a server on 127.0.0.1:
// what a host sends before Play, each way the page can get its content (made by the
// generators, or downloaded as content.data); in Chromium, what reaches Play over a
// phone's link (DevTools' Fast 4G and Slow 4G, from a plain host and from one that gzips
// every answer, first visit and second visit); then per engine navigation to Play ready
// the page's own way and the download-only way (?content=download) in one run, the
// generators' time and memory, click to music start with where the time goes, and frame
// times per scene window beside the floor of a cleared 1080p canvas; then the engines
// side by side. Prints figures only; nothing here passes or fails. Firefox and WebKit
// need an X display (make bench-web gives one).
//   node bench/web/bench_web.mjs WEB_FOLDER [ENGINE...]     (make bench-web)
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { serve, launch, kEngines, openPage, waitFor, waitForState, clickPlay } from '../../tests/web/harness.mjs';

const webDir = path.resolve(process.argv[2] || 'build/web');
const engines = process.argv.length > 3 ? process.argv.slice(3) : kEngines;
const kLoads = 3;
const kRuns = 3;
const kFramesPerWindow = 24;
const kWindows = [10.5, 30.5, 70.5, 110.5, 145.5, 200.5, 255.5];
const kPlayGoal = 3000;    // ms from navigation to Play, on every engine
const kSpreadGoal = 1.5;   // no engine slower to Play than the quickest by more than this
const MiB = 1024 * 1024;
// DevTools' throttling profiles as DevTools applies them (its figures scaled by 0.9 for
// throughput and by its latency factors), in bytes per second and ms.
const kLinks = [
  ['Fast 4G', { latency: 165, downloadThroughput: 9e6 / 8 * 0.9, uploadThroughput: 1.5e6 / 8 * 0.9 }],
  ['Slow 4G', { latency: 562.5, downloadThroughput: 1.6e6 / 8 * 0.9, uploadThroughput: 0.75e6 / 8 * 0.9 }],
];
const kHosts = [['plain host', {}], ['gzip host', { gzip: true }]];
// A load that has not shown Play by then is reported as longer; one over kLinkOnce is
// not repeated, so that a slow link does not take a quarter of an hour.
const kLinkCap = 180000;
const kLinkOnce = 30000;

const median = (xs) => { const s = [...xs].sort((a, b) => a - b); return s[Math.floor((s.length - 1) / 2)]; };
const quantile = (xs, q) => { const s = [...xs].sort((a, b) => a - b); return s[Math.min(s.length - 1, Math.ceil(q * s.length) - 1)]; };
const ms = (x) => `${x.toFixed(0)} ms`;
const spread = (xs) => `median ${ms(median(xs))} (${ms(Math.min(...xs))} to ${ms(Math.max(...xs))}, ${xs.length} runs)`;
const sleep = (t) => new Promise((resolve) => { setTimeout(resolve, t); });

// ---- Download size: what the page fetches before Play, each way ----
// The page takes the packed copy of a file where the folder has one (manifest.json).
const manifest = JSON.parse(fs.readFileSync(path.join(webDir, 'manifest.json'), 'utf8'));
const sentAs = (name) => (manifest.packed && manifest.packed[name] ? `${name}.gz` : name);
const kPageFiles = ['index.html', 'page.js', 'page.css'];  // index.html holds the manifest
const kProgramFiles = ['norrvale.js', 'norrvale.wasm', 'norrvale.data'].map(sentAs);
const kWays = [
  ['making the content', [...kPageFiles, 'generators_worker.js', ...kProgramFiles,
    ...['bake.js', 'bake.wasm', 'synth.js', 'synth.wasm'].map(sentAs)]],
  ['downloading it (the track comes after Play)', [...kPageFiles, ...kProgramFiles, sentAs('content.data')]],
];
console.log('Download before Play, each way (as a plain host sends the files; then gzip -6, as a compressing host does)');
for (const [way, files] of kWays) {
  console.log(`  ${way}`);
  let plain = 0;
  let total = 0;
  for (const name of files) {
    const raw = fs.readFileSync(path.join(webDir, name));
    const packed = zlib.gzipSync(raw, { level: 6 }).length;
    plain += raw.length;
    total += packed;
    console.log(`    ${name.padEnd(26)} ${(raw.length / MiB).toFixed(3).padStart(7)} MiB -> ${(packed / MiB).toFixed(3).padStart(7)} MiB`);
  }
  console.log(`    total                      ${(plain / MiB).toFixed(3).padStart(7)} MiB -> ${(total / MiB).toFixed(3).padStart(7)} MiB`);
}

// The memory a browser's processes hold (the sum of their proportional set sizes, so
// shared pages count once), for the engines whose process puppeteer knows.
function processTree(root) {
  const parents = new Map();
  for (const pid of fs.readdirSync('/proc').filter((d) => /^\d+$/.test(d))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      parents.set(Number(pid), Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]));
    } catch {
      // Gone meanwhile.
    }
  }
  const tree = new Set([root]);
  for (let grew = true; grew;) {
    grew = false;
    for (const [pid, parent] of parents) {
      if (!tree.has(pid) && tree.has(parent)) { tree.add(pid); grew = true; }
    }
  }
  return [...tree];
}
function memoryOf(root) {
  let kib = 0;
  for (const pid of processTree(root)) {
    try {
      const line = fs.readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8').split('\n').find((l) => l.startsWith('Pss:'));
      kib += Number(line.split(/\s+/)[1]);
    } catch {
      // Gone meanwhile.
    }
  }
  return kib * 1024;
}
// The most memory the browser held over and above `base` while `until` was pending.
async function peakMemory(root, base, until) {
  let done = false;
  until.finally(() => { done = true; }).catch(() => {});
  let peak = 0;
  while (!done) {
    peak = Math.max(peak, memoryOf(root) - base);
    await sleep(100);
  }
  return peak;
}

// Bare pages for the floors: the driver alone, with nothing of the demo running.
const kBare = '<!doctype html><html><head></head><body style="margin:0">'
  + '<canvas width=1920 height=1080 style="width:100vw;height:100vh;display:block"></canvas></body></html>';
const server = await serve(webDir, { pages: { 'bare.html': kBare } });

// Where start-up time goes: every WebGL call timed, in the page.
function timeCalls() {
  const getContext = HTMLCanvasElement.prototype.getContext;
  window.__glTime = {};
  HTMLCanvasElement.prototype.getContext = function (type, attributes) {
    const context = getContext.call(this, type, attributes);
    if (type !== 'webgl2' || !context || context.__timed) return context;
    context.__timed = true;
    const proto = Object.getPrototypeOf(context);
    for (const name of Object.getOwnPropertyNames(proto)) {
      const d = Object.getOwnPropertyDescriptor(proto, name);
      if (typeof d.value !== 'function' || name === 'constructor') continue;
      context[name] = function (...args) {
        const t = performance.now();
        const result = d.value.apply(this, args);
        window.__glTime[name] = (window.__glTime[name] || 0) + performance.now() - t;
        return result;
      };
    }
    return context;
  };
  // The texture work itself, in order, for the floor page below to replay bare.
  window.__uploads = [];
  {
    const gl2 = WebGL2RenderingContext.prototype;
    let textures = 0;
    const createTexture = gl2.createTexture;
    gl2.createTexture = function () { const t = createTexture.call(this); t.__n = textures++; return t; };
    for (const name of ['bindTexture', 'texImage2D', 'texParameteri', 'generateMipmap', 'pixelStorei']) {
      const call = gl2[name];
      gl2[name] = function (...args) {
        if (window.__recordUploads) {
          const shape = args.map((a) => (a && typeof a === 'object' ? (a.__n ?? null) : a));
          window.__uploads.push([name, ...(name === 'texImage2D' ? shape.slice(0, 8) : shape)]);
        }
        return call.apply(this, args);
      };
    }
  }
  // The click, the play call (the track's start) and the element's first 'playing'
  // (the sound under way, where the engine gets that far without a sound device).
  window.__marks = {};
  document.addEventListener('click', () => { window.__marks.click = performance.now(); }, true);
  const play = HTMLMediaElement.prototype.play;
  HTMLMediaElement.prototype.play = function (...args) {
    const marks = window.__marks;
    marks.music = performance.now();
    this.addEventListener('playing', () => { marks.playing = performance.now(); }, { once: true });
    return play.apply(this, args);
  };
  // The song's first piece, where the page plays the synthesised song.
  const start = AudioBufferSourceNode.prototype.start;
  AudioBufferSourceNode.prototype.start = function (...args) {
    if (this.norrvaleSong && !window.__marks.music) {
      window.__marks.music = performance.now();
      window.__marks.song = true;
    }
    return start.apply(this, args);
  };
}


// Navigation to Play over a throttled link in Chromium: the bytes that arrived by then
// (as sent, so compressed where the host compressed), the time, and the way the page got
// its content. The browser's HTTP cache is off; what the page kept in Cache Storage from
// an earlier visit to the same host is cleared unless `second`.
async function linkLoad(browser, url, link, second = false) {
  let bytes = 0;
  const beforeLoad = async (page) => {
    const cdp = await page.cdp();
    await cdp.send('Network.enable');
    await cdp.send('Network.setCacheDisabled', { cacheDisabled: true });
    if (!second) await cdp.send('Storage.clearDataForOrigin', { origin: new URL(url).origin, storageTypes: 'cache_storage' });
    await cdp.send('Network.emulateNetworkConditions', { offline: false, ...link });
    cdp.on('Network.dataReceived', (event) => { bytes += event.encodedDataLength; });
  };
  const page = await openPage(browser, url, { beforeLoad });
  let ready = null;
  try {
    ready = await waitFor(page, () => document.body.dataset.state === 'ready' && performance.now(), null, kLinkCap);
  } catch {
    // Not within the cap: said as such below.
  }
  const content = await page.evaluate(() => (window.norrvaleLoad || {}).content);
  // What the page keeps for the next visit is written after Play shows.
  await waitFor(page, () => window.norrvaleLoad.keeping === 0, null, 30000).catch(() => {});
  await page.close();
  return { ready, bytes, content };
}

async function benchLinks() {
  const browser = await launch('chromium');
  const shown = (load) => (load.ready === null ? `> ${kLinkCap / 1000} s` : `${(load.ready / 1000).toFixed(1)} s`);
  const row = (what, loads) => {
    const done = loads.filter((l) => l.ready !== null);
    const time = done.length === loads.length ? `${(median(done.map((l) => l.ready)) / 1000).toFixed(1)} s`
      : shown(loads.find((l) => l.ready === null));
    console.log(`  ${what.padEnd(32)} ${time.padStart(9)}   ${(median(loads.map((l) => l.bytes)) / MiB).toFixed(2).padStart(6)} MiB`
      + `   (${loads.map((l) => `${shown(l)} ${l.content}`).join(', ')})`);
  };
  console.log('\nNavigation to Play over a phone\'s link, Chromium (goals: 4 s on Fast 4G, 12 s on Slow 4G, '
    + 'at most 1.5 MiB before Play, 1.2 s on a second visit)');
  console.log('  host, link and visit                  Play   bytes before Play   (each load, and how the content came)');
  for (const [hostName, hosting] of kHosts) {
    const host = await serve(webDir, hosting);
    for (const [linkName, link] of kLinks) {
      const loads = [];
      while (loads.length < kLoads) {
        loads.push(await linkLoad(browser, host.url, link));
        if (loads.at(-1).ready === null || loads.at(-1).ready > kLinkOnce) break;
      }
      row(`${hostName}, ${linkName}`, loads);
    }
    // A second visit: the host forbids keeping anything (no-store), and the page takes
    // what it kept in Cache Storage on the last first visit.
    for (const [linkName, link] of kLinks) {
      const seconds = [];
      for (let i = 0; i < kLoads; i += 1) seconds.push(await linkLoad(browser, host.url, link, true));
      row(`${hostName}, ${linkName}, second visit`, seconds);
    }
    host.close();
  }
  await browser.close();
}

async function benchEngine(engine) {
  const browser = await launch(engine);
  console.log(`\n==== ${engine} ====`);

  // ---- Navigation to Play ready, the page's way and the download-only way in turn ----
  const loadOnce = async (query, hosting = {}) => {
    const host = await serve(webDir, hosting);  // a fresh address: nothing kept from before
    const page = await openPage(browser, `${host.url}${query}`);
    const base = browser.pid ? memoryOf(browser.pid) : 0;
    const ready = waitForState(page, 'ready', 120000);
    const memory = browser.pid ? peakMemory(browser.pid, base, ready) : Promise.resolve(null);
    await ready;
    const load = await page.evaluate(() => ({ ready: performance.now(), ...window.norrvaleLoad }));
    load.memory = await memory;
    await waitFor(page, () => window.norrvaleLoad.keeping === 0, null, 30000).catch(() => {});
    // The second visit to the same address, which takes what the first kept.
    const again = await openPage(browser, `${host.url}${query}`);
    await waitForState(again, 'ready', 120000);
    load.second = await again.evaluate(() => ({ ready: performance.now(), ...window.norrvaleLoad }));
    await again.close();
    await page.close();
    host.close();
    return load;
  };
  const loads = { own: [], download: [], make: [] };
  for (let i = 0; i < kLoads; i += 1) {
    loads.download.push(await loadOnce('?content=download'));
    loads.own.push(await loadOnce(''));
    loads.make.push(await loadOnce('?content=make'));
  }
  const mib = (bytes) => `${(bytes / MiB).toFixed(0)} MiB`;
  const ratio = median(loads.own.map((l) => l.ready)) / median(loads.download.map((l) => l.ready));
  console.log('Navigation to Play ready, unthrottled (goals: at most 3 s; the page\'s way at most 1.2x the download-only way)');
  console.log(`  the page's way:          ${spread(loads.own.map((l) => l.ready))}, content ${loads.own.map((l) => l.content)}`);
  console.log(`  download only:           ${spread(loads.download.map((l) => l.ready))}; the page's way ${ratio.toFixed(2)}x`);
  console.log(`  making it (?content=make): ${spread(loads.make.map((l) => l.ready))}`);
  console.log(`  second visit, page's way: ${spread(loads.own.map((l) => l.second.ready))}, content ${loads.own.map((l) => l.second.content)}`);
  console.log(`  generators, start to last recipe (goal: at most 3 s in Chromium): ${spread(loads.make.map((l) => l.makeMs))}`);
  console.log(`    the bakers' wasm memory at most, all workers together: ${mib(Math.max(...loads.make.map((l) => l.workersMemoryBytes)))}`);
  const at = (what) => ms(median(loads.make.map((l) => l.at[what])));
  console.log(`    where making's time goes: the bakers loaded at ${at('bakers')}, the program here at ${at('program')}, `
    + `the content made at ${at('content')}, prepared with the song's first piece at ${at('ready')}`);
  if (browser.pid) {
    console.log('  the browser\'s memory while loading, at most, over what it held before (sum of the processes\' PSS):');
    for (const [way, list] of Object.entries(loads)) console.log(`    ${way.padEnd(10)} ${mib(median(list.map((l) => l.memory)))} (median)`);
  }

  // ---- Click to music start: the song (the page's way), and the track as before ----
  const clickRuns = async (query) => {
    const page = await openPage(browser, `${server.url}${query}`, { scripts: [timeCalls.toString()] });
    const runs = [];
    for (let i = 0; i < kRuns; i += 1) {
      await waitForState(page, i ? 'ended' : 'ready', 120000);
      // The next run's instance is made after the end card shows.
      await waitFor(page, () => window.__lastInstance && !window.__lastInstance.__used, null, 120000);
      await page.evaluate(() => {
        window.__glTime = {}; window.__marks = {}; window.__lastInstance.__used = true;
        window.__uploads = []; window.__recordUploads = true;
      });
      await clickPlay(page);
      await waitFor(page, () => window.__marks.music, null, 120000);
      // The track's sound under way, if the engine gets there within a few seconds (the
      // song's first piece is started on the context's clock as it is asked for).
      if (!(await page.evaluate(() => window.__marks.song))) {
        await waitFor(page, () => window.__marks.playing, null, 5000).catch(() => {});
      }
      runs.push(await page.evaluate(() => {
        window.__recordUploads = false;
        return { ...window.__marks, main: window.__mainStarted, gl: window.__glTime, uploads: window.__uploads };
      }));
      await page.pressEscape();
      await waitForState(page, 'ended', 120000);
    }
    await page.close();
    return runs;
  };
  // Two rounds each, in turn: the first page after the loads above tends to be slower.
  const starts = [];
  const trackStarts = [];
  for (let round = 0; round < 2; round += 1) {
    trackStarts.push(...await clickRuns('?content=download'));
    starts.push(...await clickRuns(''));
  }
  const group = (gl, names) => names.reduce((sum, n) => sum + (gl[n] || 0), 0);
  const kGroups = {
    'texture uploads and mipmaps': ['texImage2D', 'generateMipmap', 'texParameteri'],
    'shader compile and link': ['compileShader', 'linkProgram', 'getShaderParameter', 'getProgramParameter',
      'shaderSource', 'attachShader', 'getActiveUniform', 'getUniformLocation'],
    'vertex buffers': ['bufferData', 'vertexAttribPointer', 'vertexAttribIPointer'],
  };
  console.log('Click to music start (goal: median at most 1.0 s, the song no later than the track)');
  console.log(`  click to the song's first piece: ${spread(starts.map((s) => s.music - s.click))}`
    + ` (${starts.filter((s) => s.song).length} of ${starts.length} the song)`);
  console.log(`  click to the track's play call:  ${spread(trackStarts.map((s) => s.music - s.click))}`
    + ' (?content=download)');
  const sounding = trackStarts.filter((s) => s.playing);
  console.log(sounding.length
    ? `  click to the track's 'playing':  ${spread(sounding.map((s) => s.playing - s.click))}`
    : '  click to the track\'s \'playing\':  never within 5 s of the play call (no sound device here)');
  console.log('  where the song\'s click goes:');
  console.log(`  glfwInit to play call: ${spread(starts.map((s) => s.music - s.main))}`);
  for (const [label, names] of Object.entries(kGroups)) {
    console.log(`    in WebGL, ${label.padEnd(28)} ${ms(median(starts.map((s) => group(s.gl, names))))}`);
  }
  const allGl = (gl) => Object.values(gl).reduce((a, b) => a + b, 0);
  console.log(`    in WebGL, all calls                     ${ms(median(starts.map((s) => allGl(s.gl))))}`);
  console.log(`    outside WebGL (wasm, page)              ${ms(median(starts.map((s) => s.music - s.main - allGl(s.gl))))}`);

  // The driver floor as a page of its own: the same texture calls with the same sizes and
  // formats (zeroed pixels), in a bare WebGL 2 context with nothing else going on. What
  // this takes, the program cannot save by being written differently.
  const uploadFloor = [];
  const bare = await browser.newPage();
  for (let i = 0; i < kRuns; i += 1) {
    await bare.goto(`${server.url}bare.html`);
    uploadFloor.push(await bare.evaluate((ops) => {
      const gl = document.querySelector('canvas').getContext('webgl2');
      const channels = { [gl.RGBA]: 4, [gl.RGB]: 3, [gl.RG]: 2, [gl.RED]: 1 };
      const bytes = ([, , , , w, h, , format]) => w * h * (channels[format] || 4) + 4 * h;
      const zeros = new Uint8Array(Math.max(...ops.filter(([n]) => n === 'texImage2D').map(bytes)));
      const textures = new Map();
      const start = performance.now();
      for (const [name, ...args] of ops) {
        if (name === 'bindTexture') {
          const n = args[1];
          if (n !== null && !textures.has(n)) textures.set(n, gl.createTexture());
          gl.bindTexture(args[0], n === null ? null : textures.get(n));
        } else if (name === 'texImage2D') {
          const [target, level, internal, w, h, border, format, type] = args;
          gl.texImage2D(target, level, internal, w, h, border, format, type,
            zeros.subarray(0, bytes(['', ...args])));
        } else {
          gl[name](...args);
        }
      }
      gl.finish();
      return performance.now() - start;
    }, starts[i].uploads));
  }
  const uploads = starts[0].uploads.filter(([name]) => name === 'texImage2D').length;
  console.log(`  driver floor, a bare page making the same ${uploads} texture uploads and their mipmaps:`);
  console.log(`    ${spread(uploadFloor)}`);

  // ---- Frame times per window, and the floor ----
  const perWindow = [];
  for (const [w, t] of kWindows.entries()) {
    const schedule = Array.from({ length: kFramesPerWindow }, (_, k) => t + 13 + k / 30);
    // Real time at each animation frame the program draws in.
    const stamp = () => {
      window.__real = [];
      const raf = window.requestAnimationFrame;
      window.requestAnimationFrame = (cb) => raf((ts) => { window.__real.push(Date.now()); cb(ts); });
    };
    const p = await openPage(browser, server.url, { clock: { schedule }, scripts: [stamp.toString()] });
    await waitForState(p, 'ready', 120000);
    await p.evaluate(() => { window.__real = []; });
    await clickPlay(p);
    await waitFor(p, (n) => window.__real.length >= n, kFramesPerWindow, 600000, 50);
    const real = await p.evaluate(() => window.__real);
    await p.close();
    perWindow.push(real.slice(1).map((x, i) => x - real[i]));
  }
  await bare.goto(`${server.url}bare.html`);
  const floor = await bare.evaluate(() => new Promise((resolve) => {
    const gl = document.querySelector('canvas').getContext('webgl2');
    const stamps = [];
    const frame = () => {
      gl.clearColor(0, 0, 0, 1);
      gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
      stamps.push(performance.now());
      if (stamps.length < 60) requestAnimationFrame(frame);
      else resolve(stamps.slice(1).map((x, i) => x - stamps[i]));
    };
    requestAnimationFrame(frame);
  }));
  await bare.close();
  console.log(`Frame time (${kFramesPerWindow - 1} frames per window)`);
  perWindow.forEach((gaps, w) => {
    console.log(`  window ${w + 1}: median ${ms(median(gaps))}, p99 ${ms(quantile(gaps, 0.99))}, worst ${ms(Math.max(...gaps))}`
      + ` (${(1000 / median(gaps)).toFixed(1)} fps)`);
  });
  console.log(`  floor, a cleared 1080p canvas: median ${ms(median(floor))} (${(1000 / median(floor)).toFixed(1)} fps)`);
  await browser.close();
  return { engine, ready: median(loads.own.map((l) => l.ready)), download: median(loads.download.map((l) => l.ready)),
    second: median(loads.own.map((l) => l.second.ready)), make: median(loads.make.map((l) => l.makeMs)),
    music: median(starts.map((s) => s.music - s.click)), track: median(trackStarts.map((s) => s.music - s.click)),
    frame: median(perWindow.map(median)), floor: median(floor) };
}

if (engines.includes('chromium')) await benchLinks();
const results = [];
for (const engine of engines) results.push(await benchEngine(engine));
server.close();

const best = Math.min(...results.map((r) => r.ready));
console.log(`\nThe engines side by side (medians; goals: Play within ${kPlayGoal / 1000} s on each, `
  + `none slower to Play than the quickest by more than ${kSpreadGoal}x)`);
console.log('  engine     Play ready        download only (ratio)   second visit   generators   click to song (track)   frame (median of windows)   cleared canvas');
for (const r of results) {
  console.log(`  ${r.engine.padEnd(10)} ${ms(r.ready).padStart(8)} (${(r.ready / best).toFixed(2)}x)  ${ms(r.download).padStart(8)}`
    + ` (${(r.ready / r.download).toFixed(2)}x)       ${ms(r.second).padStart(8)}     ${ms(r.make).padStart(8)}`
    + `     ${ms(r.music).padStart(8)} (${ms(r.track)})       ${ms(r.frame).padStart(8)}                  ${ms(r.floor).padStart(8)}`);
}
