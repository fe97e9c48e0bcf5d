// What the browser tests and bench/web share: a static server for a folder (which can
// hide files, as a host missing one would), Debian's Chromium in headless mode with
// software WebGL 2, and a page with a test clock and a WebGL call recorder put in
// before any of its own script runs.
import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import { spawnSync } from 'node:child_process';
import puppeteer from 'puppeteer-core';

const kTypes = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.json': 'application/json', '.wasm': 'application/wasm', '.mp3': 'audio/mpeg' };

export function serve(folder, { hide = [] } = {}) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname).slice(1) || 'index.html';
    const file = path.join(folder, name);
    if (hide.includes(name) || !file.startsWith(folder) || !fs.existsSync(file)) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, { 'Content-Type': kTypes[path.extname(name)] || 'application/octet-stream',
      'Access-Control-Allow-Origin': '*' });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () =>
    resolve({ url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close() })));
}

export async function launch(extraArgs = []) {
  return puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
      '--window-size=1920,1080', '--hide-scrollbars', ...extraArgs],
    defaultViewport: { width: 1920, height: 1080 },
    protocolTimeout: 600000,
  });
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
// Always: window.__sound logs the track's preparations and starts (with the loop flag,
// the position, and how many clears and texture uploads the run had made by then).
function pageSetup(options) {
  const realNow = performance.now.bind(performance);
  const sound = window.__sound = { prepared: 0, starts: [] };
  const source = AudioContext.prototype.createMediaElementSource;
  AudioContext.prototype.createMediaElementSource = function (...args) {
    sound.prepared += 1;
    return source.apply(this, args);
  };
  const play = HTMLMediaElement.prototype.play;
  HTMLMediaElement.prototype.play = function (...args) {
    const calls = (window.__calls || []).flat();
    sound.starts.push({ loop: this.loop, seconds: this.duration, at: this.currentTime,
      clears: calls.filter((c) => c.name === 'clear').length,
      uploads: calls.filter((c) => c.name === 'texImage2D').length });
    return play.apply(this, args);
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
          const calls = window.__calls;
          calls[calls.length - 1].push({ name, args: logged });
          return result;
        };
      }
    }
    return context;
  };
}

// A page of the build at `url` with the test hooks; its console lines (type 'log') are
// gathered in page.lines.
export async function openPage(browser, url, options = {}) {
  const page = await browser.newPage();
  page.lines = [];
  page.errors = [];
  page.on('console', (message) => {
    if (message.type() === 'log') page.lines.push(message.text());
  });
  page.on('pageerror', (error) => page.errors.push(String(error)));
  await page.evaluateOnNewDocument(pageSetup, options);
  await page.goto(url);
  return page;
}

export async function waitForState(page, state, timeout = 300000) {
  await page.waitForFunction((s) => document.body.dataset.state === s, { timeout, polling: 100 }, state);
}

export async function clickPlay(page) {
  await page.waitForSelector('#play:not([hidden])', { timeout: 300000 });
  await page.click('#play');
}

// Runs a command and returns its stdout; fails the test when it fails.
export function run(command, args, options = {}) {
  const result = spawnSync(command, args, { encoding: 'utf8', maxBuffer: 1 << 26, ...options });
  if (result.status !== 0) {
    throw new Error(`${command} ${args.join(' ')} failed (${result.status}):\n${result.stdout}\n${result.stderr}`);
  }
  return result.stdout;
}

// Tiny test runner: named cases run in order, each failure printed, exit status set.
export async function runCases(cases) {
  let failed = 0;
  for (const [name, body] of cases) {
    const started = Date.now();
    try {
      await body();
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
