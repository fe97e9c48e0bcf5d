// The browser build's content makers under node, through packaging/web/generators_worker.js
// as the page would drive it: two workers share the recipes, and what they bake must be
// the native bake's staged files, and the song rendered in pieces the native synthesiser's
// samples, but for libm's rounding, within the bounds below. Prints how far the files and
// samples that differ are off, and what the generators cost (neither figure is checked).
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import { Worker } from 'node:worker_threads';
import { runCases, check, env, run } from './harness.mjs';

const web = path.resolve(env('NORRVALE_WEB'));
const imgs = path.join(env('NORRVALE_STAGE'), 'imgs');
const kWorkers = 2;
const kPieceFrames = 441000;  // 10 s: what a page would hand the audio at a time
// libm's rounding (see offBeyondRounding) reaches the song through its oscillators and
// filters; half a step of 16-bit audio is far below hearing and far below any real fault.
const kMostSampleOff = 2 ** -16;

function startWorker() {
  const worker = new Worker(path.join(web, 'generators_worker.js'));
  const waiting = new Map();
  let nextId = 0;
  worker.on('message', (answer) => {
    const { resolve, reject } = waiting.get(answer.id);
    waiting.delete(answer.id);
    if (answer.error) reject(new Error(answer.error)); else resolve(answer);
  });
  worker.on('error', (error) => { for (const { reject } of waiting.values()) reject(error); });
  return {
    ask: (job) => new Promise((resolve, reject) => {
      const id = nextId++;
      waiting.set(id, { resolve, reject });
      worker.postMessage({ id, ...job });
    }),
    stop: () => worker.terminate(),
  };
}

// Pixels of one of the baker's PNGs: 8-bit, filter None, unpacked straight from IDAT.
function pngPixels(bytes) {
  const idat = [];
  let width = 0;
  let channels = 0;
  for (let at = 8; at < bytes.length;) {
    const length = bytes.readUInt32BE(at);
    const type = bytes.toString('latin1', at + 4, at + 8);
    if (type === 'IHDR') {
      width = bytes.readUInt32BE(at + 8);
      channels = { 2: 3, 6: 4 }[bytes[at + 17]];
    }
    if (type === 'IDAT') idat.push(bytes.subarray(at + 8, at + 8 + length));
    at += 12 + length;
  }
  const rows = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * channels + 1;
  const pixels = Buffer.alloc((rows.length / stride) * (stride - 1));
  for (let y = 0; y * stride < rows.length; ++y) {
    check(rows[y * stride] === 0, 'a row filter other than None');
    rows.copy(pixels, y * (stride - 1), y * stride + 1, (y + 1) * stride);
  }
  return { pixels, channels };
}

// wasm's libm (musl's) rounds sinf, cosf, tanf, atan2f, sin, cos, exp and pow differently
// from glibc's in the last bit at times, so a few of the baked values land one step away.
// What is allowed: in an image, at most 0.1 % of the pixels off, each by one level in
// any channel; in a model's text, a number off by one in its last printed digit.
const kMostPixelsOff = 0.001;

// How far the wasm file is from the native one: null when within the bound.
function offBeyondRounding(name, made, staged) {
  if (name.endsWith('.png')) {
    const a = pngPixels(made);
    const b = pngPixels(staged);
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
    console.log(`  ${name}: ${pixels} of ${count} pixels off, by at most ${largest}`);
    return largest > 1 || pixels > kMostPixelsOff * count ? `${pixels} pixels off, by up to ${largest}` : null;
  }
  const ours = made.toString('latin1').split('\n');
  const theirs = staged.toString('latin1').split('\n');
  if (ours.length !== theirs.length) return `${ours.length} lines, natively ${theirs.length}`;
  const lastDigit = (word) => 10 ** -((word.split('.')[1] || '').length);
  const numbersNear = (a, b) => Number.isFinite(+a) && Number.isFinite(+b)
    && Math.abs(a - b) <= Math.max(lastDigit(a), lastDigit(b)) * 1.0001;
  const off = ours.filter((line, i) => line !== theirs[i]);
  console.log(`  ${name}: ${off.length} of ${ours.length} lines off`);
  const beyond = ours.findIndex((line, i) => {
    const a = line.split(' ');
    const b = theirs[i].split(' ');
    return a.length !== b.length || a.some((word, k) => word !== b[k] && !numbersNear(word, b[k]));
  });
  return beyond < 0 ? null : `line ${beyond + 1}: '${ours[beyond]}', natively '${theirs[beyond]}'`;
}

const kb = (bytes) => `${(bytes / 1024).toFixed(0)} KiB`;
const mib = (bytes) => `${(bytes / 1048576).toFixed(1)} MiB`;

await runCases([
  ['baked_files_are_the_native_bakes_but_for_libm_rounding', async () => {
    const workers = Array.from({ length: kWorkers }, startWorker);
    try {
      const { recipes } = await workers[0].ask({ kind: 'recipes' });
      check(recipes.length > 0, 'the baker lists no recipes');
      // Each worker takes the next recipe when it is done with one, as the page would.
      const queue = [...recipes];
      const files = {};
      const times = {};
      const memory = [];
      const started = performance.now();
      await Promise.all(workers.map(async (worker) => {
        let peak = 0;
        for (let recipe; (recipe = queue.shift()) !== undefined;) {
          const answer = await worker.ask({ kind: 'bake', recipes: [recipe] });
          for (const [name, bytes] of Object.entries(answer.files)) {
            check(!(name in files), `${name} was made twice`);
            files[name] = Buffer.from(bytes);
          }
          Object.assign(times, answer.ms);
          peak = Math.max(peak, answer.memoryBytes);
        }
        memory.push(peak);
      }));
      const wall = performance.now() - started;

      const staged = fs.readdirSync(imgs).sort();
      const made = Object.keys(files).sort();
      check(JSON.stringify(made) === JSON.stringify(staged),
        `made: ${made.join(' ')}\nstaged: ${staged.join(' ')}`);
      console.log('files unlike the native bake\'s:');
      const beyond = made.filter((name) => !files[name].equals(fs.readFileSync(path.join(imgs, name))))
        .map((name) => [name, offBeyondRounding(name, files[name], fs.readFileSync(path.join(imgs, name)))])
        .filter(([, why]) => why).map(([name, why]) => `${name}: ${why}`);

      console.log('wasm bake in node, ms per recipe (two workers, each on its own core):');
      for (const recipe of recipes) console.log(`  ${recipe.padEnd(26)} ${times[recipe].toFixed(0).padStart(6)}`);
      const sum = Object.values(times).reduce((a, b) => a + b, 0);
      console.log(`  all recipes one after another ${sum.toFixed(0)} ms; in ${kWorkers} workers ${wall.toFixed(0)} ms`);
      console.log(`  wasm memory of each worker at its end: ${memory.map(mib).join(', ')}`);
      check(beyond.length === 0, `files beyond libm's rounding:\n${beyond.join('\n')}`);
    } finally {
      await Promise.all(workers.map((worker) => worker.stop()));
    }
  }],

  ['song_in_pieces_is_the_native_samples_within_float_rounding', async () => {
    const reference = path.join(env('NORRVALE_SCRATCH'), 'song.f32');
    fs.mkdirSync(path.dirname(reference), { recursive: true });
    run(env('NORRVALE_SYNTH_SAMPLES'), [reference]);
    const native = new Float32Array(fs.readFileSync(reference).buffer.slice(0));
    const frames = native.length / 2;
    const worker = startWorker();
    try {
      const differences = { samples: 0, largest: 0 };
      const compare = (answer) => {
        const left = new Float32Array(answer.left);
        const right = new Float32Array(answer.right);
        for (let i = 0; i < left.length; ++i) {
          for (const [got, want] of [[left[i], native[answer.from + i]], [right[i], native[frames + answer.from + i]]]) {
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
      for (; ;) {
        const answer = await worker.ask({ kind: 'synth', from, count: kPieceFrames });
        check(answer.songFrames === frames, `${answer.songFrames} frames in wasm, ${frames} natively`);
        ms += answer.ms;
        memory = answer.memoryBytes;
        from += compare(answer);
        if (from >= frames) break;
      }
      // A piece out of turn: the render starts again from the song's beginning.
      const middle = await worker.ask({ kind: 'synth', from: 3 * kPieceFrames + 1234, count: 5000 });
      check(compare(middle) === 5000, 'a piece from the middle came short');
      console.log(`wasm synth in node: ${frames} frames in pieces of ${kPieceFrames}, ${ms.toFixed(0)} ms;`
        + ` wasm memory ${mib(memory)}`);
      console.log(`  samples unlike the native ones: ${differences.samples} of ${2 * frames},`
        + ` by at most ${differences.largest}`);
      check(differences.largest <= kMostSampleOff, `samples differ by up to ${differences.largest}`);
    } finally {
      await worker.stop();
    }
  }],

  ['sizes', async () => {
    // Figures for the page's download, as the host sends the files plainly or gzipped.
    for (const name of ['bake.js', 'bake.wasm', 'synth.js', 'synth.wasm', 'generators_worker.js']) {
      const bytes = fs.readFileSync(path.join(web, name));
      console.log(`  ${name.padEnd(22)} ${kb(bytes.length).padStart(9)} raw, ${kb(zlib.gzipSync(bytes, { level: 9 }).length).padStart(9)} gzipped`);
    }
    console.log(`  (${os.cpus().length} cores here)`);
  }],
]);
