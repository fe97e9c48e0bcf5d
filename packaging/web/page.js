// The page around the demo: downloads the program with one progress bar, makes the baked
// images, models and song on the viewer's machine with the generators (bake.js, synth.js
// in Web Workers) or downloads them where that is quicker, decodes what can be decoded
// before the viewer clicks, and starts one fresh instance of the program per Play click.
// The song plays through Web Audio from the synthesiser's samples; where the generators
// cannot run, the baked content (content.data) and the track (the MP3) are downloaded
// instead. The program's stdout goes to the console line by line, exactly as the desktop
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
const kProgram = ['norrvale.js', 'norrvale.wasm', 'norrvale.data'];
const kBaker = ['bake.js', 'bake.wasm'];
const kSynthesiser = ['synth.js', 'synth.wasm'];
const kSampleRate = 44100;    // the synthesiser's
const kPieceFrames = 441000;  // the song is made, kept and played 10 s at a time
// Two cores make the content in about this (bench-web); where content.data would take
// longer to arrive, it is made instead (downloadOrMake).
const kMakeSeconds = 4;
// ?content=download takes content.data and the track as the page did before it had the
// generators (bench-web's baseline); ?content=make makes them whatever the link.
const kContentWay = new URLSearchParams(location.search).get('content');
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
  makeSeconds: 60,     // making the content; past it, content.data is downloaded
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

// What the page measured of its own loading, for anyone who asks (bench-web does).
const loadReport = window.norrvaleLoad = {
  content: null,      // 'made', 'downloaded' or 'kept' (from an earlier visit)
  makeMs: null,       // from the generators' start to the last recipe
  workersMemoryBytes: 0,  // the most wasm memory the workers held at one time
  music: null,        // 'song' (Web Audio) or 'track' (the MP3)
  keeping: 0,         // files on their way into Cache Storage
  at: {},             // when (performance.now, ms) program, bakers (loaded), content, music, ready were here
};
const mark = (what) => { loadReport.at[what] = performance.now(); };

// One bar for everything before Play: the program's and generators' files, then the
// content, made or downloaded (whichever is further along), then preparing.
const progress = {
  received: 0, total: 0,         // the program's and generators' files, as they travel
  packReceived: 0, packTotal: 0, // content.data
  made: 0, toMake: 0,            // recipes
  preparing: false,
  show() {
    const files = this.total ? Math.min(1, this.received / this.total) : 1;
    const content = this.preparing ? 1 : Math.max(this.toMake ? this.made / this.toMake : 0,
      this.packTotal ? Math.min(1, this.packReceived / this.packTotal) : 0);
    $('fill').style.width = `${(100 * (0.3 * files + 0.7 * content)).toFixed(1)}%`;
    $('status').textContent = this.preparing ? 'Preparing…'
      : this.toMake && files === 1 ? `Generating ${this.made} of ${this.toMake}…` : 'Downloading…';
  },
};

// A file's bytes, or null when it is missing, its download stalls for longer than the
// bound, or `cancel` (an AbortSignal) aborts it. progress(bytes) is told of each piece as
// it arrives.
async function fetchBytes(name, progress = () => {}, cancel = null) {
  const abort = new AbortController();
  if (cancel) cancel.addEventListener('abort', () => abort.abort());
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

// Where the page's files are: each large one packed (.gz) where the browser can unpack a
// stream (every engine since 2023), with its size from manifest.json, as a gzipping host
// gives only the packed length.
let manifest = null;
const packed = (name) => !!(manifest.packed && manifest.packed[name] && typeof DecompressionStream === 'function');
const sentAs = (name) => (packed(name) ? `${name}.gz` : name);
const sentSize = (name) => (packed(name) ? manifest.packed[name] : manifest.files[name]);

// Files by their unpacked names. Each feeds the bar as it arrives, and a packed one is
// unpacked as soon as it is here, while the others still arrive.
async function download(names, cancel = null, onBytes = (length) => { progress.received += length; }) {
  const buffers = await Promise.all(names.map((name) => fetchBytes(sentAs(name), (length) => {
    onBytes(length);
    progress.show();
  }, cancel).then((bytes) => (bytes && packed(name) ? unpack(bytes) : bytes))));
  return Object.fromEntries(names.map((name, i) => [name, buffers[i]]));
}

// What the page made, and the program's and generators' files, are kept in the browser's
// Cache Storage, each under a hash of the build that made it (manifest.json), so that a
// second visit makes and downloads almost nothing, whatever the host says of caching,
// and a new build replaces what it changed. Private windows, an insecure address or
// evicted storage keep nothing, and the page then makes and downloads everything again.
function makeStore() {
  return {
    cache: null,
    // name: 'norrvale-<what>-<hash>'; what other hashes of the same kind kept is let go.
    async open(name) {
      try {
        const kind = name.slice(0, name.lastIndexOf('-') + 1);
        for (const old of await caches.keys()) {
          if (old.startsWith(kind) && old !== name) caches.delete(old).catch(() => {});
        }
        this.cache = await caches.open(name);
      } catch (error) {
        this.cache = null;
      }
    },
    async has(key) {
      try {
        return !!(this.cache && await this.cache.match(key));
      } catch (error) {
        return false;
      }
    },
    async get(key) {
      try {
        const response = this.cache && await this.cache.match(key);
        return response ? await response.arrayBuffer() : null;
      } catch (error) {
        return null;
      }
    },
    put(key, bytes) {
      if (!this.cache) return;
      loadReport.keeping += 1;
      this.cache.put(key, new Response(bytes)).catch(() => {}).finally(() => { loadReport.keeping -= 1; });
    },
  };
}
const programStore = makeStore();   // the program's files
const madeStore = makeStore();      // the generators' files and what they made

async function keptContent() {
  if (!madeStore.cache) return null;
  const buffers = await Promise.all(manifest.content.map(([name]) => madeStore.get(`content/${name}`)));
  if (buffers.some((bytes) => !bytes)) return null;
  return Object.fromEntries(manifest.content.map(([name], i) => [name, buffers[i]]));
}

// Files from `store` where it has them; the rest downloaded, and kept there once all of
// them are here.
async function keptOrDownloaded(store, names, onBytes = undefined) {
  const kept = await Promise.all(names.map((name) => store.get(`files/${name}`)));
  const missing = names.filter((name, i) => !kept[i]);
  const got = await download(missing, null, onBytes);
  if (missing.every((name) => got[name])) for (const name of missing) store.put(`files/${name}`, got[name]);
  return Object.fromEntries(names.map((name, i) => [name, kept[i] || got[name]]));
}

// A worker of generators_worker.js, asked one job at a time; a worker that fails, or is
// stopped, fails what it was asked.
function startWorker() {
  const worker = new Worker('generators_worker.js');
  const waiting = new Map();
  let nextId = 0;
  let failure = null;
  const fail = (error) => {
    failure = failure || error;
    for (const { reject } of waiting.values()) reject(failure);
    waiting.clear();
  };
  worker.onmessage = ({ data }) => {
    const job = waiting.get(data.id);
    if (!job) return;
    waiting.delete(data.id);
    if (data.error) job.reject(new Error(data.error));
    else job.resolve(data);
  };
  worker.onerror = (event) => {
    event.preventDefault();
    fail(new Error(event.message || 'a worker could not start'));
  };
  return {
    ask: (job) => new Promise((resolve, reject) => {
      if (failure) { reject(failure); return; }
      const id = nextId++;
      waiting.set(id, { resolve, reject });
      worker.postMessage({ id, ...job });
    }),
    stop: () => {
      worker.terminate();
      fail(new Error('stopped'));
    },
  };
}

// The content made by the baker in `workers` (startWorker), the slowest recipes first,
// each worker taking the next when it is done with one.
async function make(baker, workers, cancel) {
  const started = performance.now();
  const stop = () => workers.forEach((worker) => worker.stop());
  cancel.addEventListener('abort', stop);
  try {
    const { 'bake.js': script, 'bake.wasm': wasm } = await baker;
    if (!script || !wasm) throw new Error('the baker could not be downloaded');
    await Promise.all(workers.map((worker) => worker.ask({ kind: 'load', name: 'bake', script, wasm })));
    mark('bakers');
    const { recipes, costs } = await workers[0].ask({ kind: 'recipes' });
    const queue = [...recipes].sort((a, b) => costs[b] - costs[a]);
    progress.toMake = recipes.length;
    progress.show();
    const files = {};
    const memory = workers.map(() => 0);
    await Promise.all(workers.map(async (worker, i) => {
      for (let recipe = queue.shift(); recipe; recipe = queue.shift()) {
        const answer = await worker.ask({ kind: 'bake', recipes: [recipe] });
        Object.assign(files, answer.files);
        // Kept as it comes, while the workers still bake, rather than after Play,
        // where the writing would slow the click's set-up.
        for (const [name, bytes] of Object.entries(answer.files)) madeStore.put(`content/${name}`, bytes);
        memory[i] = answer.memoryBytes;
        loadReport.workersMemoryBytes = Math.max(loadReport.workersMemoryBytes, memory.reduce((a, b) => a + b, 0));
        progress.made += 1;
        progress.show();
      }
    }));
    const missing = manifest.content.find(([name]) => !files[name]);
    if (missing) throw new Error(`the baker made no ${missing[0]}`);
    loadReport.makeMs = performance.now() - started;
    return Object.fromEntries(manifest.content.map(([name]) => [name, files[name]]));
  } finally {
    stop();
  }
}

// The content from content.data, where its files lie one after the other.
async function downloadContent(cancel) {
  const got = await download(['content.data'], cancel, (length) => { progress.packReceived += length; });
  const bytes = got['content.data'];
  const total = manifest.content.reduce((sum, [, size]) => sum + size, 0);
  if (!bytes || bytes.byteLength !== total) throw new Error('content.data could not be downloaded');
  const files = {};
  let at = 0;
  for (const [name, size] of manifest.content) {
    files[name] = bytes.slice(at, at + size);
    at += size;
  }
  return files;
}

// The content, downloaded or made, whichever the link favours. The baker is the first
// download, and its pace (bakerPace) says how long content.data would take. Where
// that is under kAloneSeconds, content.data comes alone, since making would only take
// the cores that unpack and prepare it; past kMakeSeconds it is not downloaded at all
// (on a phone's link its bytes would slow the program's own) and the content is made;
// between the two both go on and the first wins. Where the baker was kept from an
// earlier visit, content.data starts at once and is judged by its own pace kJudgeMs
// in. Either way fails over to the other.
const kJudgeMs = 500;
const kAloneSeconds = 1;
function downloadOrMake(baker, bakerPace) {
  // One worker per core, at least two (the page's own thread mostly waits) and at most
  // four (each holds a baker's memory). They start now, so that starting them overlaps
  // the judging; a download that wins stops them before they have baked much.
  const count = Math.max(2, Math.min(navigator.hardwareConcurrency || 2, 4));
  const workers = Array.from({ length: count }, startWorker);
  const cancelMaking = new AbortController();
  let cancelDownload = new AbortController();
  return new Promise((resolve, reject) => {
    let settled = false;
    let making = null;
    let downloading = null;
    const failed = { made: false, downloaded: false };
    const win = (way) => (files) => {
      if (settled) return;
      settled = true;
      (way === 'made' ? cancelDownload : cancelMaking).abort();
      workers.forEach((worker) => worker.stop());
      loadReport.content = way;
      resolve(files);
    };
    const lose = (way, other, error, startOther) => {
      failed[way] = true;
      if (settled) return;
      console.warn(`The content could not be ${way} (${error.message}); it is ${other} instead.`);
      if (failed[other]) reject(error);
      else startOther();
    };
    const startMaking = () => {
      if (making) return;
      making = bounded(make(baker, workers, cancelMaking.signal), kBounds.makeSeconds, `it took over ${kBounds.makeSeconds} s`);
      making.then(win('made'), (error) => {
        cancelMaking.abort();
        lose('made', 'downloaded', error, startDownload);
      });
    };
    const startDownload = (judging = false) => {
      if (downloading) return;
      const began = performance.now();
      const cancel = cancelDownload;
      progress.packTotal = sentSize('content.data');
      progress.packReceived = 0;
      downloading = downloadContent(cancel.signal);
      downloading.then(win('downloaded'), (error) => {
        if (!cancel.signal.aborted) lose('downloaded', 'made', error, startMaking);
      });
      if (!judging) return;
      setTimeout(() => {
        if (settled || making || cancel.signal.aborted) return;
        const rate = progress.packReceived / ((performance.now() - began) / 1000);
        const seconds = (progress.packTotal - progress.packReceived) / rate;
        if (seconds >= kMakeSeconds) {
          // Set aside, not failed: should making fail, it downloads after all.
          cancel.abort();
          cancelDownload = new AbortController();
          downloading = null;
          progress.packTotal = 0;
        }
        if (seconds > kAloneSeconds) startMaking();
      }, kJudgeMs);
    };
    if (kContentWay === 'make') {
      startMaking();
    } else if (bakerPace) {
      baker.then(() => {
        const seconds = sentSize('content.data') / bakerPace.rate();
        if (seconds < kMakeSeconds) startDownload(false);
        if (seconds > kAloneSeconds) startMaking();
      });
    } else {
      startDownload(true);
    }
  });
}

function loadScript(text) {
  const script = document.createElement('script');
  script.text = text;
  document.head.appendChild(script);
}

// The song: the synthesiser in a worker of its own renders it 10 s at a time, the first
// piece before Play and each next one as the one before starts to sound, so the page
// holds about two pieces (7 MB) however long the song. Each piece is kept (store) as it
// is made, for the next visit. The pieces play through Web Audio back to back, each
// started at the sample the last one ends on, from the program's play2D at the end of
// loading, as on the desktop.
const song = {
  worker: null,         // the synthesiser's (startWorker)
  loaded: null,         // a Promise of the worker's synthesiser
  frames: 0,            // the song's length
  first: null,          // its first piece, held for every run
  run: 0,               // which run may schedule pieces; a later one or an end cancels
  sources: new Set(),   // the pieces scheduled and not yet ended

  // synthesiser: a Promise of synth.js and synth.wasm. Where an earlier visit kept the
  // song's length and first piece, nothing waits on the worker.
  async prepare(synthesiser) {
    this.loaded = synthesiser.then(({ 'synth.js': script, 'synth.wasm': wasm }) => {
      if (!script || !wasm) throw new Error('the synthesiser could not be downloaded');
      return this.worker.ask({ kind: 'load', name: 'synth', script, wasm });
    });
    this.loaded.catch(() => {});
    const kept = await madeStore.get('song/frames');
    if (kept) {
      this.frames = new Uint32Array(kept)[0];
    } else {
      await this.loaded;
      this.frames = (await this.worker.ask({ kind: 'synth', from: 0, count: 0 })).songFrames;
      madeStore.put('song/frames', Uint32Array.of(this.frames).buffer);
    }
    this.first = await this.piece(0);
  },

  // Piece `index` as { left, right } samples, kept or made.
  async piece(index) {
    const key = `song/${index}`;
    let both = await madeStore.get(key);
    if (!both) {
      await this.loaded;
      const { left, right } = await this.worker.ask({ kind: 'synth', from: index * kPieceFrames, count: kPieceFrames });
      const joined = new Uint8Array(left.byteLength * 2);
      joined.set(new Uint8Array(left), 0);
      joined.set(new Uint8Array(right), left.byteLength);
      both = joined.buffer;
      madeStore.put(key, both);
    }
    const length = both.byteLength / 8;
    return { left: new Float32Array(both, 0, length), right: new Float32Array(both, length * 4, length) };
  },

  start(context, loop, paused) {
    if (paused) return;
    const run = ++this.run;
    const pieces = Math.ceil(this.frames / kPieceFrames);
    const seconds = this.frames / kSampleRate;
    let origin = context.currentTime;
    let firstOfRun = true;
    const schedule = async (at) => {
      let index = at;
      if (index === pieces) {
        if (!loop) return;
        origin += seconds;
        index = 0;
      }
      const piece = await (index === 0 ? this.first : this.piece(index).catch(() => null));
      if (run !== this.run) return;
      if (!piece) {
        console.warn(`The song could not be made past ${index * kPieceFrames / kSampleRate} s; the run goes on silently.`);
        return;
      }
      const buffer = context.createBuffer(2, piece.left.length, kSampleRate);
      buffer.copyToChannel(piece.left, 0);
      buffer.copyToChannel(piece.right, 1);
      const source = context.createBufferSource();
      source.buffer = buffer;
      source.connect(context.destination);
      const when = origin + (index * kPieceFrames) / kSampleRate;
      // A piece made late starts where the music has got to.
      const late = Math.max(0, context.currentTime - when);
      if (firstOfRun) {
        // Where the run's music starts, for whoever watches the page (the browser tests).
        source.norrvaleSong = { at: late, seconds, loop };
        firstOfRun = false;
      }
      source.onended = () => this.sources.delete(source);
      this.sources.add(source);
      source.start(when + late, late);
      setTimeout(() => schedule(index + 1), Math.max(0, (when - context.currentTime) * 1000));
    };
    schedule(0);
  },

  stop() {
    this.run += 1;
    for (const source of this.sources) source.stop();
    this.sources.clear();
  },
};

// The track, where the song cannot be made: one audio element for the page, routed into
// the AudioContext and decoding as it plays (decoding the whole MP3 up front took 3½ s,
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

  // Inside the Play click. The song's context runs at the synthesiser's rate where the
  // engine allows, so its pieces meet sample for sample.
  unlock() {
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context || !(song.first || this.element)) return;
    if (!this.context) {
      if (song.first) {
        try {
          this.context = new Context({ sampleRate: kSampleRate });
        } catch (error) {
          this.context = new Context();
        }
      } else {
        this.context = new Context();
        this.context.createMediaElementSource(this.element).connect(this.context.destination);
      }
    }
    // Some engines never settle this without a sound device; nothing waits on it.
    this.context.resume().catch(() => {});
    // Loading again what was loaded would only delay the start.
    if (this.element && this.element.readyState === HTMLMediaElement.HAVE_NOTHING) this.element.load();
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
    song.stop();
    if (this.element) this.element.pause();
  },

  // What the program's sound layer sees as its engine (Module.norrvaleAudio). It exists
  // before the click (the desktop opens its device before main), the context from it.
  engine() {
    return {
      available: () => !!(window.AudioContext || window.webkitAudioContext),
      play: (name, loop, paused) => {
        if (name !== kTrack || !audio.running) return;
        if (song.first) song.start(audio.context, loop, paused);
        else audio.start(loop, paused);
      },
    };
  },
};

// One instance of the program per run, made and prepared (images decoded, models read)
// before the click so that the click only starts it. Each gets a canvas of its own, so
// each run starts from a fresh GL context as a desktop run does, and the content in imgs/
// before it starts, where the desktop program finds it.
let downloaded = null;
let content = null;   // a Promise of the content's files
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
    // The program compiles and loads its shaders while the content may still be on its
    // way; it starts once the content is written.
    preRun: [(module) => {
      module.addRunDependency('content');
      content.then((files) => {
        module.FS.mkdirTree('/imgs');
        for (const [name, bytes] of Object.entries(files)) module.FS.writeFile(`/imgs/${name}`, new Uint8Array(bytes));
        module.removeRunDependency('content');
      }, () => {});
    }],
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

// Play shows once the program's files and the content are here, and an instance is
// prepared. The content is what an earlier visit kept, or made or downloaded
// (downloadOrMake); the song's first piece is made meanwhile. Where the generators cannot
// run, content.data and the track are downloaded, and the track is readied by the click.
async function start() {
  const probe = document.createElement('canvas').getContext('webgl2');
  if (!probe) {
    setState('nowebgl', 'Norrvale needs WebGL 2, which this browser does not offer (or has turned off). '
      + 'A recent Chrome, Edge, Firefox or Safari plays it.');
    return;
  }
  // The build puts the manifest into the page; a page without it asks for the file.
  const inline = document.getElementById('manifest');
  const manifestBytes = inline ? null : await fetchBytes('manifest.json');
  if (!inline && !manifestBytes) {
    setState('failed', kFilesFailed);
    return;
  }
  manifest = JSON.parse(inline ? inline.textContent : new TextDecoder().decode(manifestBytes));
  const generates = kContentWay !== 'download' && !!manifest.generators && typeof Worker === 'function';
  if (generates && self.caches) {
    await Promise.all([programStore.open(`norrvale-program-${manifest.program}`),
      madeStore.open(`norrvale-made-${manifest.generators}`)]);
  }
  const kept = generates ? await keptContent() : null;
  const wanted = [...kProgram, ...(generates ? kSynthesiser : []), ...(generates && !kept ? kBaker : [])];
  const isKept = await Promise.all(wanted.map((name) =>
    (kProgram.includes(name) ? programStore : madeStore).has(`files/${name}`)));
  progress.total = wanted.filter((name, i) => !isKept[i]).reduce((sum, name) => sum + sentSize(name), 0);
  progress.show();
  // The song's worker starts now, so that its start overlaps the downloads.
  if (generates) song.worker = startWorker();
  const synthesiser = generates ? keptOrDownloaded(madeStore, kSynthesiser) : null;
  // The link's pace while the baker arrives, from its first bytes to its last, so that
  // the wait for the first (the link's latency) does not count.
  const bakerPace = {
    bytes: 0, first: 0, last: 0,
    add(length) {
      const now = performance.now();
      if (this.first) this.bytes += length;
      else this.first = now;
      this.last = now;
    },
    rate() { return this.last > this.first ? this.bytes / ((this.last - this.first) / 1000) : Infinity; },
  };
  const baker = generates && !kept ? keptOrDownloaded(madeStore, kBaker, (length) => {
    progress.received += length;
    bakerPace.add(length);
  }) : null;
  // The baker comes first, since on a slow link making is what takes longest; the
  // program is not needed before the content is made.
  const program = !generates ? download(kProgram)
    : (baker || Promise.resolve()).then(() => keptOrDownloaded(programStore, kProgram));

  let made;
  if (!generates) {
    progress.packTotal = sentSize('content.data');
    made = downloadContent(null).then((files) => { loadReport.content = 'downloaded'; return files; });
  } else if (kept) {
    loadReport.content = 'kept';
    made = Promise.resolve(kept);
  } else {
    made = downloadOrMake(baker, isKept[wanted.indexOf('bake.wasm')] ? null : bakerPace);
  }
  made.catch(() => {});
  const music = (generates ? song.prepare(synthesiser) : Promise.reject(new Error('')))
    .then(() => { loadReport.music = 'song'; }, (error) => {
      if (generates) console.warn(`The song could not be made in this browser (${error.message}); the track is downloaded instead.`);
      if (song.worker) song.worker.stop();
      song.first = null;
      loadReport.music = 'track';
      audio.download();
    });

  downloaded = await program;
  mark('program');
  if (!downloaded['norrvale.js'] || !downloaded['norrvale.wasm'] || !downloaded['norrvale.data']) {
    setState('failed', kFilesFailed);
    return;
  }
  loadScript(new TextDecoder().decode(downloaded['norrvale.js']));
  content = made;
  next = makeInstance();
  next.catch(() => {});
  try {
    await made;
    mark('content');
  } catch (error) {
    console.error(error);
    next = null;
    setState('failed', kFilesFailed);
    return;
  }
  progress.preparing = true;
  progress.show();
  try {
    await bounded(next, kBounds.prepareSeconds, kPrepareFailed);
  } catch (error) {
    console.error(error);
    next = null;
    setState('failed', kPrepareFailed);
    return;
  }
  // The song's first piece is made while the program prepares; Play waits for it, or for
  // the choice of the track, so that the click knows which one it unlocks.
  await music;
  mark('music');
  setState('ready');
  mark('ready');
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
