// What web.generators.<engine> runs inside the engine, on a page served beside the build
// (generators_test.mjs makes the page): packaging/web/generators_worker.js driven as the
// page would drive it, in Web Workers, held against the native build's files, which the
// page fetches from the test's server. Only the findings go back to the test, as text:
// tens of megabytes of images and samples through a browser driver would take minutes.
//
// Two workers share the recipes, and what they bake must be the native bake's staged
// files, and the song rendered in pieces the native synthesiser's samples, but for libm's
// rounding, within the bounds below.

const kWorkers = 2;
const kPieceFrames = 441000;  // 10 s: what a page would hand the audio at a time

// wasm's libm (musl's) rounds sinf, cosf, tanf, atan2f, sin, cos, exp and pow differently
// from glibc's in the last bit at times, so a few of the baked values land one step away.
// What is allowed: in an image, at most 0.1 % of the pixels off, each by one level in
// any channel; in a model's text, a number off by one in its last printed digit.
const kMostPixelsOff = 0.001;
// The same rounding reaches the song through its oscillators and filters; half a step of
// 16-bit audio is far below hearing and far below any real fault.
const kMostSampleOff = 2 ** -16;

function startWorker(script) {
  const worker = new Worker(script);
  const waiting = new Map();
  let nextId = 0;
  worker.onmessage = ({ data: answer }) => {
    const { resolve, reject } = waiting.get(answer.id);
    waiting.delete(answer.id);
    if (answer.error) reject(new Error(answer.error)); else resolve(answer);
  };
  // A worker whose script or module failed to load says so only here.
  worker.onerror = (event) => {
    for (const { reject } of waiting.values()) reject(new Error(`worker: ${event.message || 'failed to load'}`));
    waiting.clear();
  };
  return {
    ask: (job) => new Promise((resolve, reject) => {
      const id = nextId++;
      waiting.set(id, { resolve, reject });
      worker.postMessage({ id, ...job });
    }),
    stop: () => worker.terminate(),
  };
}

async function fetchBytes(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`${url}: ${response.status}`);
  return new Uint8Array(await response.arrayBuffer());
}

async function inflate(bytes) {
  const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate'));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

// Pixels of one of the baker's PNGs: 8-bit, filter None, unpacked straight from IDAT.
async function pngPixels(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const idat = [];
  let width = 0;
  let channels = 0;
  for (let at = 8; at < bytes.length;) {
    const length = view.getUint32(at);
    const type = String.fromCharCode(...bytes.subarray(at + 4, at + 8));
    if (type === 'IHDR') {
      width = view.getUint32(at + 8);
      channels = { 2: 3, 6: 4 }[bytes[at + 17]];
    }
    if (type === 'IDAT') idat.push(bytes.subarray(at + 8, at + 8 + length));
    at += 12 + length;
  }
  const rows = await inflate(new Uint8Array(await new Blob(idat).arrayBuffer()));
  const stride = width * channels + 1;
  const pixels = new Uint8Array((rows.length / stride) * (stride - 1));
  for (let y = 0; y * stride < rows.length; ++y) {
    if (rows[y * stride] !== 0) throw new Error('a row filter other than None');
    pixels.set(rows.subarray(y * stride + 1, (y + 1) * stride), y * (stride - 1));
  }
  return { pixels, channels };
}

// How far the wasm file is from the native one: null when within the bound.
async function offBeyondRounding(name, made, staged, log) {
  if (name.endsWith('.png')) {
    const a = await pngPixels(made);
    const b = await pngPixels(staged);
    if (a.pixels.length !== b.pixels.length || a.channels !== b.channels) return 'another size or format';
    let pixels = 0;
    let largest = 0;
    for (let p = 0; p < a.pixels.length; p += a.channels) {
      let off = 0;
      for (let c = 0; c < a.channels; ++c) off = Math.max(off, Math.abs(a.pixels[p + c] - b.pixels[p + c]));
      if (off) pixels += 1;
      largest = Math.max(largest, off);
    }
    const count = a.pixels.length / a.channels;
    log(`  ${name}: ${pixels} of ${count} pixels off, by at most ${largest}`);
    return largest > 1 || pixels > kMostPixelsOff * count ? `${pixels} pixels off, by up to ${largest}` : null;
  }
  const text = new TextDecoder('latin1');
  const ours = text.decode(made).split('\n');
  const theirs = text.decode(staged).split('\n');
  if (ours.length !== theirs.length) return `${ours.length} lines, natively ${theirs.length}`;
  const lastDigit = (word) => 10 ** -((word.split('.')[1] || '').length);
  const numbersNear = (a, b) => Number.isFinite(+a) && Number.isFinite(+b)
    && Math.abs(a - b) <= Math.max(lastDigit(a), lastDigit(b)) * 1.0001;
  const off = ours.filter((line, i) => line !== theirs[i]);
  log(`  ${name}: ${off.length} of ${ours.length} lines off`);
  const beyond = ours.findIndex((line, i) => {
    const a = line.split(' ');
    const b = theirs[i].split(' ');
    return a.length !== b.length || a.some((word, k) => word !== b[k] && !numbersNear(word, b[k]));
  });
  return beyond < 0 ? null : `line ${beyond + 1}: '${ours[beyond]}', natively '${theirs[beyond]}'`;
}

const sameBytes = (a, b) => a.length === b.length && a.every((byte, i) => byte === b[i]);
const mib = (bytes) => `${(bytes / 1048576).toFixed(1)} MiB`;

// Each case gives the lines it printed and, when it failed, why.
async function bakedFilesAreTheNativeBakes({ worker, native, stagedNames }, log) {
  const workers = Array.from({ length: kWorkers }, () => startWorker(worker));
  try {
    const { recipes } = await workers[0].ask({ kind: 'recipes' });
    if (recipes.length === 0) return 'the baker lists no recipes';
    // Each worker takes the next recipe when it is done with one, as the page would.
    const queue = [...recipes];
    const files = {};
    const times = {};
    const memory = [];
    const twice = [];
    const started = performance.now();
    await Promise.all(workers.map(async (w) => {
      let peak = 0;
      for (let recipe; (recipe = queue.shift()) !== undefined;) {
        const answer = await w.ask({ kind: 'bake', recipes: [recipe] });
        for (const [name, bytes] of Object.entries(answer.files)) {
          if (name in files) twice.push(name);
          files[name] = new Uint8Array(bytes);
        }
        Object.assign(times, answer.ms);
        peak = Math.max(peak, answer.memoryBytes);
      }
      memory.push(peak);
    }));
    const wall = performance.now() - started;
    if (twice.length) return `made twice: ${twice.join(' ')}`;

    const made = Object.keys(files).sort();
    const staged = [...stagedNames].sort();
    if (JSON.stringify(made) !== JSON.stringify(staged)) return `made: ${made.join(' ')}\nstaged: ${staged.join(' ')}`;
    log('files unlike the native bake\'s:');
    const beyond = [];
    for (const name of made) {
      const theirs = await fetchBytes(`${native}imgs/${encodeURIComponent(name)}`);
      if (sameBytes(files[name], theirs)) continue;
      const why = await offBeyondRounding(name, files[name], theirs, log);
      if (why) beyond.push(`${name}: ${why}`);
    }

    log(`wasm bake, ms per recipe (${kWorkers} workers):`);
    for (const recipe of recipes) log(`  ${recipe.padEnd(26)} ${times[recipe].toFixed(0).padStart(6)}`);
    const sum = Object.values(times).reduce((a, b) => a + b, 0);
    log(`  all recipes one after another ${sum.toFixed(0)} ms; in ${kWorkers} workers ${wall.toFixed(0)} ms`);
    log(`  wasm memory of each worker at its end: ${memory.map(mib).join(', ')}`);
    return beyond.length ? `files beyond libm's rounding:\n${beyond.join('\n')}` : null;
  } finally {
    workers.forEach((w) => w.stop());
  }
}

async function songInPiecesIsTheNativeSamples({ worker: script, native }, log) {
  const nativeSong = new Float32Array((await fetchBytes(`${native}song.f32`)).buffer);
  const frames = nativeSong.length / 2;
  const worker = startWorker(script);
  try {
    const differences = { samples: 0, largest: 0 };
    const compare = (answer) => {
      const left = new Float32Array(answer.left);
      const right = new Float32Array(answer.right);
      for (let i = 0; i < left.length; ++i) {
        for (const [got, want] of [[left[i], nativeSong[answer.from + i]], [right[i], nativeSong[frames + answer.from + i]]]) {
          if (got === want) continue;
          differences.samples += 1;
          differences.largest = Math.max(differences.largest, Math.abs(got - want));
        }
      }
      return left.length;
    };
    let ms = 0;
    let memory = 0;
    let from = 0;
    const started = performance.now();
    for (; ;) {
      const answer = await worker.ask({ kind: 'synth', from, count: kPieceFrames });
      if (answer.songFrames !== frames) return `${answer.songFrames} frames in wasm, ${frames} natively`;
      ms += answer.ms;
      memory = answer.memoryBytes;
      from += compare(answer);
      if (from >= frames) break;
    }
    const wall = performance.now() - started;
    // A piece out of turn: the render starts again from the song's beginning.
    const middle = await worker.ask({ kind: 'synth', from: 3 * kPieceFrames + 1234, count: 5000 });
    if (compare(middle) !== 5000) return 'a piece from the middle came short';
    log(`wasm synth: ${frames} frames in pieces of ${kPieceFrames}, rendering ${ms.toFixed(0)} ms`
      + ` (${wall.toFixed(0)} ms with the hand-over and the comparison); wasm memory ${mib(memory)}`);
    log(`  samples unlike the native ones: ${differences.samples} of ${2 * frames},`
      + ` by at most ${differences.largest}`);
    return differences.largest <= kMostSampleOff ? null : `samples differ by up to ${differences.largest}`;
  } finally {
    worker.stop();
  }
}

// setup: { worker: the worker script's address, native: the address of a folder with the
// native imgs/ and song.f32, stagedNames: the files of the native imgs }.
// Answers [[case, lines, failure or null]] for each case.
export async function checkGenerators(setup) {
  const results = [];
  for (const [name, body] of [
    ['baked_files_are_the_native_bakes_but_for_libm_rounding', bakedFilesAreTheNativeBakes],
    ['song_in_pieces_is_the_native_samples_within_float_rounding', songInPiecesIsTheNativeSamples],
  ]) {
    const lines = [];
    const started = performance.now();
    let failure;
    try {
      failure = await body(setup, (line) => lines.push(line));
    } catch (error) {
      failure = String(error && error.stack ? `${error.message}\n${error.stack}` : error);
    }
    results.push([name, lines, failure, performance.now() - started]);
  }
  return results;
}
