// The page around the demo: downloads the program, its data and the track with one
// progress bar, decodes what can be decoded before the viewer clicks, and starts one
// fresh instance of the program per Play click. The program's stdout goes to the console
// line by line, exactly as the desktop program prints it.
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

// Every download feeds one bar; the sizes come from manifest.json, since a gzipping host
// gives only the packed length. arrived(name, bytes or null) is told of each file as it
// ends, so that work on it can begin while the rest still downloads.
async function download(files, arrived) {
  const total = Object.values(files).reduce((a, b) => a + b, 0);
  let received = 0;
  const fetchOne = async (name) => {
    const response = await fetch(name);
    if (!response.ok) return null;
    const reader = response.body.getReader();
    const chunks = [];
    let length = 0;
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      chunks.push(value);
      length += value.length;
      received += value.length;
      $('fill').style.width = `${Math.min(100, (100 * received) / total).toFixed(1)}%`;
    }
    const bytes = new Uint8Array(length);
    let at = 0;
    for (const chunk of chunks) { bytes.set(chunk, at); at += chunk.length; }
    return bytes.buffer;
  };
  const names = Object.keys(files);
  const buffers = await Promise.all(names.map((name) => fetchOne(name).catch(() => null)
    .then((bytes) => { arrived(name, bytes); return bytes; })));
  return Object.fromEntries(names.map((name, i) => [name, buffers[i]]));
}

function loadScript(text) {
  const script = document.createElement('script');
  script.text = text;
  document.head.appendChild(script);
}

// The sound: one AudioContext for the page, and the track as an audio element routed
// into it, which decodes as it plays: decoding the whole MP3 up front (decodeAudioData)
// took 3½ s here, longer than everything else before Play. The program's play2D asks
// for the track by file name; a track that did not arrive or cannot be decoded is not
// played, and the demo runs silently.
const audio = {
  context: null,
  // file name -> { element (once it can play through, or null), ready (a Promise of it) }
  tracks: new Map(),
  playing: [],
  prepare(name, bytes) {
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return;
    if (!this.context) this.context = new Context();
    const track = { element: null };
    track.ready = new Promise((resolve) => {
      if (!bytes) { resolve(null); return; }
      const element = new Audio();
      element.preload = 'auto';
      element.addEventListener('canplaythrough', () => resolve(element), { once: true });
      element.addEventListener('error', () => resolve(null), { once: true });
      element.src = URL.createObjectURL(new Blob([bytes], { type: 'audio/mpeg' }));
    }).then((element) => {
      if (element) this.context.createMediaElementSource(element).connect(this.context.destination);
      track.element = element;
      return element;
    });
    this.tracks.set(name, track);
  },
  // What the program's sound layer sees as its engine (Module.norrvaleAudio).
  engine() {
    return {
      available: () => !!audio.context,
      // At once when the track is ready (it is by the click), as the desktop starts it at
      // the end of loading; else as soon as it is.
      play: (name, loop, paused) => {
        const start = (element) => {
          if (!element || !audio.running) return;
          element.loop = loop;
          element.currentTime = 0;
          if (!paused) element.play().catch(() => {});
          audio.playing.push(element);
        };
        const track = audio.tracks.get(name);
        if (!track) return;
        if (track.element) start(track.element);
        else track.ready.then(start);
      },
    };
  },
  running: false,
  stopAll() {
    this.running = false;
    for (const element of this.playing) element.pause();
    this.playing = [];
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

let next = null;      // the prepared instance for the next click
let current = null;   // the running one

async function play() {
  if (!next) return;
  const run = await next;
  next = null;
  current = run;
  $('frame').replaceChildren(run.canvas);
  setState('playing');
  audio.running = true;
  if (audio.context) audio.context.resume().catch(() => {});
  const stage = $('stage');
  if (stage.requestFullscreen && !document.fullscreenElement) {
    stage.requestFullscreen().catch(() => {});
  }
  run.canvas.focus();
  // main() runs from here until its first frame is handed to the browser; the promise
  // settles when main returns, after the timeline's end or a close.
  const status = await run.instance.ccall('main', 'number', [], [], { async: true })
    .catch((error) => { console.error(error); return -1; });
  endRun(status);
}

function endRun(status) {
  current = null;
  audio.stopAll();
  if (document.fullscreenElement && document.exitFullscreen) document.exitFullscreen().catch(() => {});
  setState('ended', status === 0 ? '' : 'The demo could not start in this browser.');
  next = makeInstance();
}

// In fullscreen the browser takes the first Escape to leave fullscreen and the program
// never sees it. Leaving fullscreen during a run therefore ends the run, as Escape does
// on a desktop: one key press stops the demo either way.
document.addEventListener('fullscreenchange', () => {
  if (!document.fullscreenElement && current) current.instance._norrvaleRequestClose();
});
// The program polls Escape once per frame, as on a desktop; in software WebGL a frame can
// outlast a key tap, so the page passes every Escape press on as well.
window.addEventListener('keydown', (event) => {
  if (event.key === 'Escape' && current) current.instance._norrvaleRequestClose();
});

async function start() {
  const probe = document.createElement('canvas').getContext('webgl2');
  if (!probe) {
    setState('nowebgl', 'Norrvale needs WebGL 2, which this browser does not offer (or has turned off). '
      + 'A recent Chrome, Edge, Firefox or Safari plays it.');
    return;
  }
  const manifest = await (await fetch('manifest.json')).json();
  // The track is made ready as soon as it arrives, while the data still downloads.
  downloaded = await download(manifest.files, (name, bytes) => {
    if (name === kTrack) audio.prepare(kTrack, bytes);
  });
  if (!downloaded['norrvale.js'] || !downloaded['norrvale.wasm'] || !downloaded['norrvale.data']) {
    setState('failed', 'The demo\'s files could not be downloaded.');
    return;
  }
  loadScript(new TextDecoder().decode(downloaded['norrvale.js']));
  if (!audio.tracks.has(kTrack)) audio.prepare(kTrack, null);
  $('status').textContent = 'Preparing…';
  next = makeInstance();
  // Play waits for the track too, so the music starts with the end of loading as on a
  // desktop.
  await Promise.all([next, ...[...audio.tracks.values()].map((track) => track.ready)]);
  setState('ready');
}

$('play').addEventListener('click', play);
start();
