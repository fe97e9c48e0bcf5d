// The page around the demo: downloads the program and its data with one progress bar,
// decodes what can be decoded before the viewer clicks, and starts one fresh instance of
// the program per Play click; the track downloads beside them and is readied by the
// click. The program's stdout goes to the console line by line, exactly as the desktop
// program prints it.
//
// What the engines do differently, and what the page does about it (WebGL's own
// differences are the table in src/gfx/gl_web.cpp). Seen here in Debian's Chromium 156
// (Blink, headless), Firefox ESR 153 (Gecko, headless) and WebKitGTK 2.50's MiniBrowser
// (WebKit, Safari's engine); what is said of the iPhone is Apple's documentation, untried.
// | behaviour                       | Blink              | Gecko              | WebKit                          | so the page                                          |
// |---------------------------------|--------------------|--------------------|---------------------------------|------------------------------------------------------|
// | media before a gesture          | loads              | loads              | loads nothing, fires no event (iOS ignores preload) | never waits on media before Play; hands the track to its element as it arrives; the click loads it where nothing was loaded |
// | the track at the end of loading | ready              | ready              | ready 0.2 to 1 s after the click, now and then after the set-up; a first load from a blob sometimes fails | starts a late track where the picture is, after one more try, within trackSeconds; else the run is silent |
// | AudioContext before a gesture   | suspended          | suspended          | suspended                       | makes and resumes it inside the click                |
// | resume() with no sound device   | resolves           | never settles      | resolves                        | waits on it nowhere                                  |
// | audible play() without a gesture (autoplay; documented) | refused | refused (media.autoplay.default) | refused       | asks for none: the track starts at the end of loading, after the click |
// | play() after the click          | allowed (sticky activation) | allowed (sticky activation) | allowed once the element was loaded from a gesture | loads the element in the click, plays it when the program asks |
// | element fullscreen from a click | granted            | granted            | granted on a desktop; the iPhone has none (video only); prefixed before Safari 16.4 | asks, prefixed where only that exists; a refusal plays in the page |
// | Escape in fullscreen            | headless: reaches the page; a desktop Chrome leaves fullscreen | leaves fullscreen; the page never sees the key | as Gecko | ends a run on leaving fullscreen, and on the key   |
// | leaving fullscreen at a run's end | not seen late    | not seen late      | can finish after Play again was clicked; at times enters without the change event | ends a run only on leaving a fullscreen that run entered, by the event or the granted request |
// | pointer lock outside a click    | refused            | refused            | granted, and kept after the run | releases it at the end of a run, or Play again gets no clicks |
'use strict';

const kTrack = 'tessmer-trancedemo5.mp3';
const $ = (id) => document.getElementById(id);

function setState(state, message) {
  document.body.dataset.state = state;
  $('loading').hidden = state !== 'loading';
  $('play').hidden = !(state === 'ready' || state === 'ended');
  $('play').textContent = state === 'ended' ? 'Play again' : 'Play';
  $('hint').hidden = state !== 'ready';
  $('message').hidden = !message;
  $('message').textContent = message || '';
}

// Every wait on the page has a bound, and the card says why when one runs out; nothing
// waits on the track before the click, since some engines load media only from a user
// gesture (the engines table below). A page may shrink the bounds by setting
// window.norrvaleBounds before this script runs (the browser tests do).
const kBounds = {
  stallSeconds: 20,    // a download that brings no byte for this long is given up
  prepareSeconds: 90,  // compiling the wasm and decoding the images and models
  trackSeconds: 3,     // the music starts within this of the program asking, or never
  ...(window.norrvaleBounds || {}),
};
const kFilesFailed = 'The demo\'s files could not be downloaded. Reload the page to try again.';
const kPrepareFailed = 'The demo could not be prepared in this browser.';

function bounded(promise, seconds, message) {
  let timer;
  const timeout = new Promise((resolve, reject) => {
    timer = setTimeout(() => reject(new Error(message)), seconds * 1000);
  });
  return Promise.race([promise, timeout]).finally(() => clearTimeout(timer));
}

// A file's bytes, or null when it is missing or its download stalls for longer than the
// bound. progress(bytes) is told of each piece as it arrives.
async function fetchBytes(name, progress = () => {}) {
  const abort = new AbortController();
  let timer = null;
  const watch = () => {
    clearTimeout(timer);
    timer = setTimeout(() => abort.abort(), kBounds.stallSeconds * 1000);
  };
  watch();
  try {
    const response = await fetch(name, { signal: abort.signal });
    if (!response.ok) return null;
    const reader = response.body.getReader();
    const chunks = [];
    let length = 0;
    for (;;) {
      watch();
      const { done, value } = await reader.read();
      if (done) break;
      chunks.push(value);
      length += value.length;
      progress(value.length);
    }
    const bytes = new Uint8Array(length);
    let at = 0;
    for (const chunk of chunks) { bytes.set(chunk, at); at += chunk.length; }
    return bytes.buffer;
  } catch (error) {
    return null;
  } finally {
    clearTimeout(timer);
  }
}

// A packed file's bytes unpacked. A host that marks .gz answers as gzip-encoded has the
// browser unpack them on the way, so bytes without gzip's magic number are taken as they
// are. Damaged bytes give null, as a failed download does.
async function unpack(bytes) {
  const head = new Uint8Array(bytes, 0, Math.min(2, bytes.byteLength));
  if (head[0] !== 0x1f || head[1] !== 0x8b) return bytes;
  try {
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip'));
    return await new Response(stream).arrayBuffer();
  } catch (error) {
    return null;
  }
}

// The program's files feed one bar, since Play waits for them alone; the sizes come from
// manifest.json, as a gzipping host gives only the packed length. A packed file (.gz) is
// unpacked as soon as it is here, while the others still arrive, and is given under the
// unpacked file's name.
async function download(files) {
  const total = Object.values(files).reduce((a, b) => a + b, 0);
  let received = 0;
  const names = Object.keys(files);
  const buffers = await Promise.all(names.map((name) => fetchBytes(name, (length) => {
    received += length;
    $('fill').style.width = `${Math.min(100, (100 * received) / total).toFixed(1)}%`;
  }).then((bytes) => (bytes && name.endsWith('.gz') ? unpack(bytes) : bytes))));
  return Object.fromEntries(names.map((name, i) => [name.replace(/\.gz$/, ''), buffers[i]]));
}

function loadScript(text) {
  const script = document.createElement('script');
  script.text = text;
  document.head.appendChild(script);
}

// The sound: one AudioContext and one audio element for the page, the element routed
// into the context and decoding as it plays (decoding the whole MP3 up front took 3½ s,
// longer than everything else before Play). The track downloads beside the program's
// files, but Play does not wait for it: the element is handed the bytes as they arrive,
// and engines that load media before a gesture do so then. The click resumes the
// context and loads the element where nothing was loaded yet, which is what each engine
// asks of a gesture before it plays sound; the program's play2D, at the end of loading
// as on the desktop, then starts it from its start. A track that is missing, cannot be
// decoded, or is not ready within trackSeconds of play2D is not played: the run is silent.
const audio = {
  bytes: null,          // a Promise of the track's bytes (null: missing or stalled)
  url: null,            // the bytes as a blob URL, once they are here
  context: null,
  element: null,
  run: 0,               // which run may start the track; a later one or an end cancels
  running: false,

  download() {
    this.element = new Audio();
    this.element.preload = 'auto';
    this.bytes = fetchBytes(kTrack).then((bytes) => {
      if (bytes) {
        this.url = URL.createObjectURL(new Blob([bytes], { type: 'audio/mpeg' }));
        this.element.src = this.url;
      }
      return bytes;
    });
  },

  // Inside the Play click.
  unlock() {
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context || !this.element) return;
    if (!this.context) {
      this.context = new Context();
      this.context.createMediaElementSource(this.element).connect(this.context.destination);
    }
    // Some engines never settle this without a sound device; nothing waits on it.
    this.context.resume().catch(() => {});
    // Loading again what was loaded would only delay the start.
    if (this.element.readyState === HTMLMediaElement.HAVE_NOTHING) this.element.load();
    this.run += 1;
    this.running = true;
  },

  start(loop, paused) {
    const element = this.element;
    const asked = Date.now();
    const begin = (seconds) => {
      element.loop = loop;
      element.currentTime = seconds;
      if (!paused) element.play().catch(() => {});
    };
    // At once when the track is ready, as the desktop starts it right after the set-up,
    // before the first frame.
    if (element.readyState >= HTMLMediaElement.HAVE_METADATA) {
      begin(0);
      return;
    }
    // Else as soon as it is, within the bound, at the time the picture has reached, so
    // that the music keeps step with it. WebKit's media fails now and then on a first
    // load from a blob; one more try costs nothing where the track is really damaged.
    const run = this.run;
    const listening = new AbortController();
    let timer = null;
    let retried = false;
    new Promise((resolve) => {
      timer = setTimeout(() => resolve(false), kBounds.trackSeconds * 1000);
      const failed = () => {
        if (retried || !this.url) { resolve(false); return; }
        retried = true;
        element.load();
      };
      element.addEventListener('loadedmetadata', () => resolve(true), { signal: listening.signal });
      element.addEventListener('error', failed, { signal: listening.signal });
      if (element.error) failed();
      this.bytes.then(() => { if (!this.url) resolve(false); });
    }).then((ok) => {
      clearTimeout(timer);
      listening.abort();
      if (run !== this.run || !this.running) return;
      if (ok) begin((Date.now() - asked) / 1000);
      else console.warn(`The track ${kTrack} was not ready ${kBounds.trackSeconds} s after the set-up; the demo runs silently.`);
    });
  },

  stop() {
    this.running = false;
    this.run += 1;
    if (this.element) this.element.pause();
  },

  // What the program's sound layer sees as its engine (Module.norrvaleAudio). It exists
  // before the click (the desktop opens its device before main), the context from it.
  engine() {
    return {
      available: () => !!(window.AudioContext || window.webkitAudioContext),
      play: (name, loop, paused) => { if (name === kTrack && audio.running) audio.start(loop, paused); },
    };
  },
};

// One instance of the program per run, made and prepared (images decoded, models read)
// before the click so that the click only starts it. Each gets a canvas of its own, so
// each run starts from a fresh GL context as a desktop run does.
let downloaded = null;
async function makeInstance() {
  const canvas = document.createElement('canvas');
  canvas.width = 1920;
  canvas.height = 1080;
  canvas.tabIndex = -1;
  // GLFW asks for pointer lock when the program disables the cursor, which is outside
  // the click that would allow it; the refusal is expected (CSS hides the cursor).
  const lockPointer = canvas.requestPointerLock.bind(canvas);
  canvas.requestPointerLock = () => {
    const result = lockPointer();
    if (result && result.catch) result.catch(() => {});
  };
  const instance = await window.createNorrvale({
    canvas,
    wasmBinary: downloaded['norrvale.wasm'],
    getPreloadedPackage: () => downloaded['norrvale.data'],
    locateFile: (path) => path,
    print: (line) => console.log(line),
    printErr: (line) => console.error(line),
    norrvaleAudio: audio.engine(),
  });
  instance._norrvalePrepare();
  return { instance, canvas };
}

let next = null;      // a Promise of the prepared instance for the next click
let current = null;   // the running one

// The click: everything that needs the gesture (sound, fullscreen) happens before the
// first await, since an engine may no longer count what follows as the viewer's act.
async function play() {
  if (!next || current) return;
  audio.unlock();
  const stage = $('stage');
  const fullscreen = stage.requestFullscreen || stage.webkitRequestFullscreen;
  if (fullscreen && !fullscreenElement()) {
    const result = fullscreen.call(stage);
    // WebKit at times grants the request without the change event that enters it; the
    // granted promise is then the only sign that this run's fullscreen can be left.
    // A grant that comes after its run ended says nothing of the next one.
    const request = ++fullscreenRequest;
    if (result && result.then) {
      result.then(() => {
        if (request === fullscreenRequest && fullscreenElement()) runEnteredFullscreen = true;
      }, () => {});
    }
  }
  const waiting = next;
  next = null;
  let run;
  try {
    run = await bounded(waiting, kBounds.prepareSeconds, kPrepareFailed);
  } catch (error) {
    console.error(error);
    audio.stop();
    leaveFullscreen();
    setState('failed', kPrepareFailed);
    return;
  }
  current = run;
  $('frame').replaceChildren(run.canvas);
  setState('playing');
  run.canvas.focus();
  // main() runs from here until its first frame is handed to the browser; the promise
  // settles when main returns, after the timeline's end or a close.
  const status = await run.instance.ccall('main', 'number', [], [], { async: true })
    .catch((error) => { console.error(error); return -1; });
  endRun(status);
}

function fullscreenElement() {
  return document.fullscreenElement || document.webkitFullscreenElement || null;
}

function leaveFullscreen() {
  const exit = document.exitFullscreen || document.webkitExitFullscreen;
  if (fullscreenElement() && exit) {
    const result = exit.call(document);
    if (result && result.catch) result.catch(() => {});
  }
}

function endRun(status) {
  current = null;
  audio.stop();
  runEnteredFullscreen = false;
  fullscreenRequest += 1;
  leaveFullscreen();
  // An engine that granted the program's pointer lock keeps it past the run, and every
  // click would go to the old canvas instead of Play again.
  if (document.pointerLockElement && document.exitPointerLock) document.exitPointerLock();
  setState('ended', status === 0 ? '' : 'The demo could not start in this browser.');
  next = makeInstance();
  next.catch(() => {});
}

// In fullscreen Gecko and WebKit take Escape to leave fullscreen and the page never sees
// the key (the engines table). Leaving fullscreen during a run therefore ends the run,
// as Escape does on a desktop: one key press stops the demo either way.
// Only a fullscreen this run entered counts: leaving the last run's fullscreen can
// finish after Play again was clicked (WebKit), and must not end the new run.
let runEnteredFullscreen = false;
let fullscreenRequest = 0;
const fullscreenChanged = () => {
  if (fullscreenElement()) {
    runEnteredFullscreen = true;
  } else if (runEnteredFullscreen) {
    runEnteredFullscreen = false;
    if (current) current.instance._norrvaleRequestClose();
  }
};
document.addEventListener('fullscreenchange', fullscreenChanged);
document.addEventListener('webkitfullscreenchange', fullscreenChanged);
// The program polls Escape once per frame, as on a desktop; in software WebGL a frame can
// outlast a key tap, so the page passes every Escape press on as well.
window.addEventListener('keydown', (event) => {
  if (event.key === 'Escape' && current) current.instance._norrvaleRequestClose();
});

// Play shows once the program's files are here and an instance is prepared; the track
// keeps downloading beside them and is readied by the click.
async function start() {
  const probe = document.createElement('canvas').getContext('webgl2');
  if (!probe) {
    setState('nowebgl', 'Norrvale needs WebGL 2, which this browser does not offer (or has turned off). '
      + 'A recent Chrome, Edge, Firefox or Safari plays it.');
    return;
  }
  const manifestBytes = await fetchBytes('manifest.json');
  if (!manifestBytes) {
    setState('failed', kFilesFailed);
    return;
  }
  const manifest = JSON.parse(new TextDecoder().decode(manifestBytes));
  audio.download();
  // The packed files where the browser can unpack them (every engine since 2023).
  const packed = manifest.packed && typeof DecompressionStream === 'function';
  const files = {};
  for (const [name, size] of Object.entries(manifest.files)) {
    if (name === kTrack) continue;
    if (packed && manifest.packed[name]) files[`${name}.gz`] = manifest.packed[name];
    else files[name] = size;
  }
  downloaded = await download(files);
  if (!downloaded['norrvale.js'] || !downloaded['norrvale.wasm'] || !downloaded['norrvale.data']) {
    setState('failed', kFilesFailed);
    return;
  }
  loadScript(new TextDecoder().decode(downloaded['norrvale.js']));
  $('status').textContent = 'Preparing…';
  next = makeInstance();
  try {
    await bounded(next, kBounds.prepareSeconds, kPrepareFailed);
  } catch (error) {
    console.error(error);
    next = null;
    setState('failed', kPrepareFailed);
    return;
  }
  setState('ready');
}

// WebKit's media, holding a track it was told to load before any gesture, can keep the
// next navigation from ever finishing; the track is let go as the page goes.
window.addEventListener('pagehide', () => {
  if (!audio.element) return;
  audio.element.removeAttribute('src');
  audio.element.load();
});

$('play').addEventListener('click', play);
start();
