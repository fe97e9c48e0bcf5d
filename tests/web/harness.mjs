// What the browser tests and bench/web share: a static server for a folder (which can
// hide a file, or hold one back forever, as a broken host would), the three engines
// Debian packages behind one small driver interface, and the test hooks that the server
// puts into the page before any of its own script runs.
//
// Engines (the test's first argument or NORRVALE_ENGINE picks one):
//   chromium  Blink, headless, SwiftShader's WebGL 2; puppeteer-core over CDP
//   firefox   Gecko, Firefox ESR headless, llvmpipe's WebGL 2; puppeteer-core over
//             WebDriver BiDi
//   webkit    WebKitGTK's MiniBrowser on the X display; classic WebDriver over HTTP
//             through WebKitWebDriver
//
// Where the engines differ for the tests, and what the tests do about it (the page's own
// table of engine behaviour is in packaging/web/page.js):
// | what                        | chromium       | firefox             | webkit               | so the tests                                |
// |-----------------------------|----------------|---------------------|----------------------|---------------------------------------------|
// | hooks before the page's script | CDP preload | BiDi preload        | none in classic WebDriver | have the server put them into index.html, for all three alike |
// | console lines, page errors  | CDP events     | BiDi events         | none in classic WebDriver | keep them in the page (window.__lines, __errors), for all three |
// | input                       | CDP mouse, keys | BiDi input actions | element click, key actions | click and press as real input: a gesture is what unlocks sound |
// | Escape in fullscreen        | reaches the page (headless has no browser frame) | the browser leaves fullscreen, the page sees no key | as firefox | press it alike: the run ends by the key in chromium, by leaving fullscreen in the others |
// | the track at the end of loading | ready      | ready               | ready only from the click, at times after the first frames | allow a late start where it is in step with the picture |
// | the clock held per frame    | in the page    | in the page         | in the page          | replace performance.now and requestAnimationFrame in page script, which all three allow |
// | WebGL 2 and its calls       | SwiftShader, no display needed | llvmpipe, needs an X display | llvmpipe, needs an X display | run under Xvfb; the calls are recorded alike in all three |
// | frames against the desktop  | SwiftShader's rounding | llvmpipe's | llvmpipe's       | give each engine its tolerance (frames_test.mjs) |
// | window size                 | the launch's   | the launch's        | 1024 x 768 whatever the MiniBrowser is told | set it over WebDriver after the session starts |
import http from 'node:http';
import net from 'node:net';
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { spawn, spawnSync } from 'node:child_process';
import puppeteer from 'puppeteer-core';

const kTypes = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript', '.css': 'text/css',
  '.json': 'application/json', '.wasm': 'application/wasm', '.mp3': 'audio/mpeg' };
const kMiniBrowser = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
const kWindow = { width: 1920, height: 1080 };
const sleep = (ms) => new Promise((resolve) => { setTimeout(resolve, ms); });

// The hooks of each page opened by openPage, by the number in its address (?setup=N).
const setups = new Map();

// options.hide: files answered with 404; options.stall: files whose answer sends its
// first bytes and then never ends; options.pages: { name: html } extra pages;
// options.mounts: { name: file, 'prefix/': folder } files from outside the folder;
// options.gzip: every answer compressed where the request allows, as some hosts do;
// options.cacheSeconds: how long a browser may keep an answer (none by default, so that
// every test sees the files as they are now).
export function serve(folder, { hide = [], stall = [], pages = {}, mounts = {}, gzip = false, cacheSeconds = 0 } = {}) {
  const server = http.createServer((request, response) => {
    const address = new URL(request.url, 'http://x');
    const name = decodeURIComponent(address.pathname).slice(1) || 'index.html';
    const mount = Object.keys(mounts).find((m) => (m.endsWith('/') ? name.startsWith(m) : name === m));
    const root = mount ? mounts[mount] : folder;
    const file = mount ? path.join(root, name.slice(mount.length)) : path.join(folder, name);
    if (pages[name] !== undefined) {
      response.writeHead(200, { 'Content-Type': 'text/html' });
      response.end(pages[name]);
      return;
    }
    if (hide.includes(name) || !file.startsWith(root) || !fs.existsSync(file)) {
      response.writeHead(404);
      response.end();
      return;
    }
    const compressed = gzip && /\bgzip\b/.test(request.headers['accept-encoding'] || '');
    response.writeHead(200, { 'Content-Type': kTypes[path.extname(name)] || 'application/octet-stream',
      'Access-Control-Allow-Origin': '*',
      'Cache-Control': cacheSeconds ? `max-age=${cacheSeconds}` : 'no-store',
      ...(compressed ? { 'Content-Encoding': 'gzip' } : {}) });
    const body = compressed ? zlib.createGzip({ level: 6 }) : response;
    if (compressed) body.pipe(response);
    if (stall.includes(name)) {
      const bytes = fs.readFileSync(file);
      body.write(bytes.subarray(0, Math.min(bytes.length >> 2, 65536)));
      if (compressed) body.flush();
      return;
    }
    const setup = setups.get(address.searchParams.get('setup'));
    if (name === 'index.html' && setup) {
      const hooks = `<script>(${pageSetup})(${JSON.stringify(setup)});\n`
        + `${(setup.scripts || []).map((f) => `(${f})();`).join('\n')}</script>`;
      body.end(fs.readFileSync(file, 'utf8').replace('<head>', `<head>\n${hooks}`));
      return;
    }
    fs.createReadStream(file).pipe(body);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({
    url: `http://127.0.0.1:${server.address().port}/`,
    close: () => { server.closeAllConnections(); server.close(); },
  })));
}

// ---- The engines: each launch gives { engine, newPage(), close() }; each page gives
// evaluate(fn, ...args), goto(url), click(selector) and pressEscape() as real input, and
// close(). ----

function puppeteerBrowser(engine, browser) {
  return {
    engine,
    // The browser's own process, parent of the rest (bench-web sums their memory).
    pid: browser.process() ? browser.process().pid : null,
    newPage: async () => {
      const page = await browser.newPage();
      return {
        engine,
        evaluate: (fn, ...args) => page.evaluate(fn, ...args),
        goto: (url) => page.goto(url),
        click: (selector) => page.click(selector),
        pressEscape: () => page.keyboard.press('Escape'),
        // The engine's own protocol, where it is CDP (bench-web throttles the link with it).
        cdp: () => page.createCDPSession(),
        close: () => page.close(),
      };
    },
    close: () => browser.close(),
  };
}

async function launchChromium() {
  return puppeteerBrowser('chromium', await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
      `--window-size=${kWindow.width},${kWindow.height}`, '--hide-scrollbars'],
    defaultViewport: kWindow,
    protocolTimeout: 600000,
  }));
}

async function launchFirefox() {
  return puppeteerBrowser('firefox', await puppeteer.launch({
    browser: 'firefox',
    executablePath: '/usr/bin/firefox-esr',
    headless: true,
    defaultViewport: kWindow,
    protocolTimeout: 600000,
  }));
}

function freePort() {
  return new Promise((resolve) => {
    const probe = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// A WebDriver call that has not answered in this long has stalled: WebKitWebDriver has
// been seen to stop answering one call (a click, a navigation) at random.
const kWebDriverCallTimeout = 120000;

// W3C WebDriver over HTTP: WebKitWebDriver starts the MiniBrowser for the session and
// drives its one window. When a call stalls, the driver and its browser are started
// afresh and the call fails as `stalled`, so that runCases tries the case once more.
async function launchWebKit() {
  let driver, base, at;
  const call = async (method, route, body) => {
    const response = await fetch(base + route, { method, headers: { 'Content-Type': 'application/json' },
      body: body === undefined ? undefined : JSON.stringify(body),
      signal: AbortSignal.timeout(kWebDriverCallTimeout) });
    const answer = await response.json();
    if (!response.ok) throw new Error(`WebDriver ${method} ${route}: ${JSON.stringify(answer.value)}`);
    return answer.value;
  };
  const start = async () => {
    const port = await freePort();
    driver = spawn('WebKitWebDriver', [`--port=${port}`], { stdio: 'ignore' });
    base = `http://127.0.0.1:${port}`;
    for (let i = 0; ; i += 1) {
      const ready = await call('GET', '/status').then((v) => v.ready, () => false);
      if (ready) break;
      if (i === 100) throw new Error('WebKitWebDriver did not start in 10 s');
      await sleep(100);
    }
    const session = await call('POST', '/session', { capabilities: { alwaysMatch: {
      'webkitgtk:browserOptions': { binary: kMiniBrowser,
        args: ['--automation'] } } } });
    at = `/session/${session.sessionId}`;
    await call('POST', `${at}/timeouts`, { script: 600000, pageLoad: 60000 });
    // The MiniBrowser opens at 1024 x 768 whatever its --geometry says.
    await call('POST', `${at}/window/rect`, kWindow);
  };
  const stop = async () => {
    await call('DELETE', at).catch(() => {});
    driver.kill();
  };
  const guarded = async (method, route, body) => {
    try {
      return await call(method, route, body);
    } catch (error) {
      // No answer in time, or the connection dropped without one (fetch's TypeError).
      if (error.name !== 'TimeoutError' && !(error instanceof TypeError)) throw error;
      driver.kill();
      await start();
      const stalled = new Error(`WebDriver ${method} ${route} stalled for ${kWebDriverCallTimeout / 1000} s; ` +
        'the driver and its browser were started afresh');
      stalled.stalled = true;
      throw stalled;
    }
  };
  await start();
  const page = {
    engine: 'webkit',
    evaluate: (fn, ...args) => guarded('POST', `${at}/execute/sync`,
      { script: `return (${fn}).apply(null, arguments);`, args }),
    goto: (url) => guarded('POST', `${at}/url`, { url }),
    click: async (selector) => {
      const element = await guarded('POST', `${at}/element`, { using: 'css selector', value: selector });
      await guarded('POST', `${at}/element/${Object.values(element)[0]}/click`, {});
    },
    pressEscape: async () => {
      const escape = '\uE00C';
      await guarded('POST', `${at}/actions`, { actions: [{ type: 'key', id: 'keyboard',
        actions: [{ type: 'keyDown', value: escape }, { type: 'keyUp', value: escape }] }] });
      await guarded('DELETE', `${at}/actions`);
    },
    close: () => guarded('POST', `${at}/url`, { url: 'about:blank' }),
  };
  return {
    engine: 'webkit',
    newPage: async () => page,
    close: stop,
  };
}

const kLaunchers = { chromium: launchChromium, firefox: launchFirefox, webkit: launchWebKit };
export const kEngines = Object.keys(kLaunchers);

// The engine named by the test's first argument or NORRVALE_ENGINE, Chromium by default.
export function engineName() {
  const name = process.argv[2] || process.env.NORRVALE_ENGINE || 'chromium';
  if (!kLaunchers[name]) throw new Error(`unknown engine ${name}: one of ${kEngines.join(', ')}`);
  return name;
}

export function launch(engine = engineName()) {
  return kLaunchers[engine]();
}

// Put into the page before its script runs. options.clock:
//   { speed }        performance.now runs `speed` times real time from the first call;
//   { schedule }     the clock reads 0 until the first animation frame and then, at each
//                    animation frame, the next value (seconds) of the list; after a value
//                    marked as held (holdAt) the loop waits for window.__release().
// options.record: every WebGL 2 call is logged, one list per animation frame.
// options.noWebgl2: the browser offers no WebGL 2.
// options.remove: files taken out of each program instance before it prepares;
// options.replace: [{ file, url }] files put in their place, fetched from url.
// Always: the page's program instances are kept, the latest as window.__lastInstance.
// options.bounds: the page's bounds on its waits (window.norrvaleBounds), in seconds.
// options.scripts: more functions (as source) to run with the hooks.
// Always: window.__lines and window.__errors keep the console's log lines and the
// page's uncaught errors.
// Always: window.__sound logs the AudioContexts made, the music's starts (the track's
// element or the song's first piece: with the loop flag, the length, the position, how
// many clears and texture uploads the run had made by then, and the real seconds since
// its first clear), and every piece of song scheduled (music).
function pageSetup(options) {
  const realNow = performance.now.bind(performance);
  const lines = window.__lines = [];
  const errors = window.__errors = [];
  const log = console.log.bind(console);
  console.log = (...args) => { lines.push(args.join(' ')); log(...args); };
  window.addEventListener('error', (event) => errors.push(String(event.message)));
  window.addEventListener('unhandledrejection', (event) => errors.push(String(event.reason)));
  if (options.bounds) window.norrvaleBounds = options.bounds;
  const sound = window.__sound = { prepared: 0, starts: [], music: [] };
  window.AudioContext = class extends window.AudioContext {
    constructor(...args) {
      super(...args);
      sound.prepared += 1;
    }
  };
  const startAt = (music, loop, seconds, at) => {
    const calls = (window.__calls || []).flat();
    const clearTimes = window.__clearTimes || [];
    const start = { music, loop, seconds, at, late: clearTimes.length ? (Date.now() - clearTimes[0]) / 1000 : 0,
      clears: calls.filter((c) => c.name === 'clear').length,
      uploads: calls.filter((c) => c.name === 'texImage2D').length };
    sound.starts.push(start);
    return start;
  };
  const play = HTMLMediaElement.prototype.play;
  HTMLMediaElement.prototype.play = function (...args) {
    const start = startAt('track', this.loop, this.duration, this.currentTime);
    // WebKit may have metadata but no length yet for an MP3 (0 until it has scanned the
    // file, later under load); the length it learns is the track's.
    this.addEventListener('durationchange', () => { start.seconds = this.duration; });
    return play.apply(this, args);
  };
  // The synthesised song: each piece the page schedules, and the run's first as a start.
  const startSource = AudioBufferSourceNode.prototype.start;
  AudioBufferSourceNode.prototype.start = function (...args) {
    const head = (channel) => Array.from(this.buffer.getChannelData(channel).subarray(0, 4));
    sound.music.push({ when: args[0], offset: args[1] || 0, frames: this.buffer.length,
      rate: this.buffer.sampleRate, head: [head(0), head(1)] });
    if (this.norrvaleSong) startAt('song', this.norrvaleSong.loop, this.norrvaleSong.seconds, this.norrvaleSong.at);
    return startSource.apply(this, args);
  };
  // Every program instance the page makes is kept as window.__lastInstance.
  let create;
  Object.defineProperty(window, 'createNorrvale', {
    configurable: true,
    get: () => create && ((args) => create(args).then(async (instance) => {
      for (const file of options.remove || []) instance.FS.unlink(file);
      for (const { file, url } of options.replace || []) {
        const bytes = new Uint8Array(await (await fetch(url)).arrayBuffer());
        instance.FS.writeFile(file, bytes);
      }
      window.__lastInstance = instance;
      // When the program's main (and with it glfwInit) was called.
      const ccall = instance.ccall;
      instance.ccall = (...args) => { window.__mainStarted = performance.now(); return ccall.apply(instance, args); };
      return instance;
    })),
    set: (value) => { create = value; },
  });
  if (options.clock && options.clock.speed) {
    const start = realNow();
    performance.now = () => (realNow() - start) * options.clock.speed;
  }
  if (options.clock && options.clock.schedule) {
    const schedule = options.clock.schedule;
    const holdAt = new Set(options.clock.holdAt || []);
    let now = 0;
    let frame = 0;
    window.__frame = 0;
    window.__held = -1;
    performance.now = () => now * 1000;
    const raf = window.requestAnimationFrame.bind(window);
    window.requestAnimationFrame = (callback) => {
      const go = () => raf((t) => {
        if (frame < schedule.length) now = schedule[frame];
        frame += 1;
        window.__frame = frame;
        if (window.__calls) window.__calls.push([]);
        callback(t);
      });
      // The frame just drawn is one the test looks at: wait for it.
      if (holdAt.has(frame)) {
        window.__held = frame;
        window.__release = () => { window.__held = -1; go(); };
      } else {
        go();
      }
      return 0;
    };
  }
  const getContext = HTMLCanvasElement.prototype.getContext;
  HTMLCanvasElement.prototype.getContext = function (type, attributes) {
    if (options.noWebgl2 && type === 'webgl2') return null;
    // The test reads frames back after the browser has shown them.
    if (type === 'webgl2') attributes = { ...(attributes || {}), preserveDrawingBuffer: true };
    const context = getContext.call(this, type, attributes);
    if (options.record && type === 'webgl2' && context && !context.__recorded) {
      context.__recorded = true;
      window.__calls = [[]];
      window.__clearTimes = [];
      const names = new Map();  // WebGLUniformLocation -> its name
      const ids = new Map();    // WebGL object -> a number, in order of creation per kind
      const counters = {};
      const idOf = (object) => {
        if (object === null || object === undefined) return 0;
        if (!ids.has(object)) {
          const kind = object.constructor.name;
          counters[kind] = (counters[kind] || 0) + 1;
          ids.set(object, `${kind}:${counters[kind]}`);
        }
        return ids.get(object);
      };
      const proto = Object.getPrototypeOf(context);
      for (const name of Object.getOwnPropertyNames(proto)) {
        const descriptor = Object.getOwnPropertyDescriptor(proto, name);
        if (typeof descriptor.value !== 'function' || name === 'constructor') continue;
        const method = descriptor.value;
        context[name] = function (...args) {
          const result = method.apply(this, args);
          if (name === 'getUniformLocation' && result) names.set(result, args[1]);
          const logged = [];
          for (let i = 0; i < args.length; i += 1) {
            const a = args[i];
            if (typeof a === 'number' || typeof a === 'boolean') logged.push(Number(a));
            else if (typeof a === 'string') logged.push({ text: a });
            else if (a instanceof WebGLUniformLocation) logged.push({ uniform: names.get(a) || '?' });
            else if (ArrayBuffer.isView(a) && name.startsWith('uniform') && typeof args[i + 1] === 'number') {
              // WebGL 2's (data, srcOffset, srcLength): the values the call hands over.
              logged.push({ array: Array.from(a.subarray(args[i + 1], args[i + 1] + args[i + 2])) });
              i += 2;
            } else if (ArrayBuffer.isView(a)) logged.push({ array: a.length <= 64 ? Array.from(a) : a.length });
            else if (a && typeof a === 'object') logged.push({ object: idOf(a) });
            else logged.push(null);
          }
          if (name.startsWith('create') && result) logged.push({ object: idOf(result) });
          if (name === 'clear') window.__clearTimes.push(Date.now());
          const calls = window.__calls;
          calls[calls.length - 1].push({ name, args: logged });
          return result;
        };
      }
    }
    return context;
  };
}

// A page of the build at `url` with the test hooks; options.beforeLoad(page) runs
// before the page is loaded.
export async function openPage(browser, url, options = {}) {
  const id = String(setups.size + 1);
  setups.set(id, options);
  const page = await browser.newPage();
  if (options.beforeLoad) await options.beforeLoad(page);
  const address = new URL(url);
  address.searchParams.set('setup', id);
  await page.goto(address.href);
  return page;
}

// Polls fn(arg) in the page until it gives a true value, which it returns.
export async function waitFor(page, fn, arg, timeout = 300000, every = 100) {
  const until = Date.now() + timeout;
  for (;;) {
    const value = await page.evaluate(fn, arg);
    if (value) return value;
    if (Date.now() > until) throw new Error(`waited ${timeout / 1000} s for ${fn} (${JSON.stringify(arg)})`);
    await sleep(every);
  }
}

export function waitForState(page, state, timeout = 300000) {
  return waitFor(page, (s) => document.body.dataset.state === s, state, timeout);
}

// Play shows in seconds (bench-web measures how many); a minute means it never will.
export async function clickPlay(page) {
  await waitFor(page, () => !document.getElementById('play').hidden, null, 60000);
  await page.click('#play');
}

// The page's console lines (console.log, which carries the program's stdout) and its
// uncaught errors.
export const pageLines = (page) => page.evaluate(() => window.__lines);
export const pageErrors = (page) => page.evaluate(() => window.__errors);

// Runs a command and returns its stdout; fails the test when it fails.
export function run(command, args, options = {}) {
  const result = spawnSync(command, args, { encoding: 'utf8', maxBuffer: 1 << 26, ...options });
  if (result.status !== 0) {
    throw new Error(`${command} ${args.join(' ')} failed (${result.status}):\n${result.stdout}\n${result.stderr}`);
  }
  return result.stdout;
}

// Tiny test runner: named cases run in order, each failure printed, exit status set.
// NORRVALE_CASES (a regular expression) runs only the cases whose names it matches.
export async function runCases(cases) {
  let failed = 0;
  const only = new RegExp(process.env.NORRVALE_CASES || '');
  for (const [name, body] of cases.filter(([n]) => only.test(n))) {
    const started = Date.now();
    try {
      try {
        await body();
      } catch (error) {
        // A driver that stalled says nothing of the page: the case runs once more.
        if (!error.stalled) throw error;
        console.log(`once more ${name}: ${error.message}`);
        await body();
      }
      console.log(`ok   ${name} (${((Date.now() - started) / 1000).toFixed(1)} s)`);
    } catch (error) {
      failed += 1;
      console.log(`FAIL ${name}: ${error.stack || error}`);
    }
  }
  process.exitCode = failed ? 1 : 0;
}

export function check(condition, message) {
  if (!condition) throw new Error(message);
}

export const env = (name) => {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set (the tests run from ctest)`);
  return value;
};

// The program's own lines of its output: a shader build error keeps its head line and
// loses the driver's log up to the separator, since logs differ between GL drivers.
export function ownLines(lines) {
  const out = [];
  let inLog = false;
  for (const line of lines) {
    if (inLog) {
      if (line === ' -- --------------------------------------------------- -- ') inLog = false;
      continue;
    }
    out.push(line);
    inLog = line.startsWith('ERROR::SHADER_COMPILATION_ERROR') || line.startsWith('ERROR::PROGRAM_LINKING_ERROR');
  }
  return out;
}
