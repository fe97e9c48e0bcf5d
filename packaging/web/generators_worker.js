// The content makers off the page's thread: bake.js draws the images and builds the models,
// synth.js renders the song. A worker starts each module on its first job for it and keeps
// it, so the page runs one worker per core it wants busy. Nothing here needs
// SharedArrayBuffer, so any static host serves it, without cross-origin isolation headers.
//
// Jobs, posted to the worker; each is answered by one message with the job's id, and the
// worker takes them one at a time in the order they came:
//   {id, kind: 'load', name: 'bake' | 'synth', script: ArrayBuffer, wasm: ArrayBuffer}
//       → {id}   (the module from bytes the page downloaded once for all its workers;
//         without it, a module's first job has the worker fetch bake.js or synth.js)
//   {id, kind: 'recipes'}
//       → {id, recipes: ['greet01.png', ..., 'donut4.obj', ...], costs: {recipe: ms}}
//         (bake's recipe names, and about how long each takes on one core)
//   {id, kind: 'bake', recipes: [name, ...]}
//       → {id, files: {file: ArrayBuffer}, ms: {recipe: ms}, memoryBytes}
//         (a model's recipe makes its OBJ, MTL and textures)
//   {id, kind: 'synth', from, count}
//       → {id, from, left: ArrayBuffer, right: ArrayBuffer, songFrames, ms, memoryBytes}
//         (float32 samples at 44100 Hz of frames [from, from + count), cut at the song's
//         end; asking for the piece after the last one costs only that piece)
//   a job that fails
//       → {id, error: text}
// The ArrayBuffers are transferred, not copied. memoryBytes is the module's wasm memory,
// which only grows: the most the module has needed so far.
'use strict';

const post = (message, transfer) => self.postMessage(message, transfer);
self.onmessage = (event) => take(event.data);
// emcc's modules look for their wasm in the folder of the worker's own script
// (self.location), so bake.js, synth.js, their wasm and this file are served side by side.
const loadFactory = (file, exportName) => {
  importScripts(file);
  return self[exportName];
};

const kExports = { bake: 'createBake', synth: 'createSynth' };
const modules = {};
function moduleFor(name, given = null) {
  if (!modules[name]) {
    let factory;
    if (given) {
      const url = URL.createObjectURL(new Blob([given.script], { type: 'text/javascript' }));
      try {
        factory = loadFactory(url, kExports[name]);
      } finally {
        URL.revokeObjectURL(url);
      }
    } else {
      factory = loadFactory(`${name}.js`, kExports[name]);
    }
    // Lines the module prints (a recipe that cannot write, a missing font) reach the
    // console with the worker's name on them.
    modules[name] = factory({
      print: (line) => console.log(`${name}: ${line}`),
      printErr: (line) => console.error(`${name}: ${line}`),
      ...(given ? { wasmBinary: given.wasm } : {}),
    });
  }
  return modules[name];
}

async function load(job) {
  if (!kExports[job.name]) throw new Error(`no generator '${job.name}'`);
  await moduleFor(job.name, job);
  return [{}, []];
}

const kBakeDir = '/baked';

async function bake(job) {
  const module = await moduleFor('bake');
  const files = {};
  const ms = {};
  for (const recipe of job.recipes) {
    const start = performance.now();
    const made = module.ccall('norrvaleBake', 'number', ['string', 'string'], [recipe, kBakeDir]);
    if (made < 0) throw new Error(`the recipe ${recipe} failed`);
    // Each file leaves the module's memory as it is handed over, so a worker's memory
    // holds no more than one recipe's files at a time.
    for (const file of module.FS.readdir(kBakeDir)) {
      if (file === '.' || file === '..') continue;
      files[file] = module.FS.readFile(`${kBakeDir}/${file}`).buffer;
      module.FS.unlink(`${kBakeDir}/${file}`);
    }
    ms[recipe] = performance.now() - start;
  }
  return [{ files, ms, memoryBytes: module.HEAP8.length }, Object.values(files)];
}

async function recipes() {
  const module = await moduleFor('bake');
  const names = module.UTF8ToString(module._norrvaleRecipeNames()).split('\n').filter(Boolean);
  const costs = Object.fromEntries(names.map((name) => [name, module.ccall('norrvaleRecipeCost', 'number',
    ['string'], [name])]));
  return [{ recipes: names, costs }, []];
}

async function synth(job) {
  const module = await moduleFor('synth');
  const songFrames = module._norrvaleSongFrames();
  const from = Math.max(0, Math.min(job.from | 0, songFrames));
  const count = Math.max(0, Math.min(job.count ?? songFrames, songFrames - from));
  const start = performance.now();
  const bytes = Math.max(count, 1) * 4;
  const left = module._malloc(bytes);
  const right = module._malloc(bytes);
  try {
    module._norrvaleRender(from, count, left, right);
    // Read the heap only after the render: it may have grown, which replaces HEAPF32.
    const samples = (pointer) => module.HEAPF32.slice(pointer >> 2, (pointer >> 2) + count).buffer;
    const answer = { from, left: samples(left), right: samples(right), songFrames };
    answer.ms = performance.now() - start;
    answer.memoryBytes = module.HEAP8.length;
    return [answer, [answer.left, answer.right]];
  } finally {
    module._free(left);
    module._free(right);
  }
}

const kinds = { load, bake, recipes, synth };
let queue = Promise.resolve();

function take(job) {
  queue = queue.then(async () => {
    try {
      const kind = kinds[job.kind];
      if (!kind) throw new Error(`no job of the kind '${job.kind}'`);
      const [answer, transfer] = await kind(job);
      post({ id: job.id, ...answer }, transfer);
    } catch (error) {
      post({ id: job.id, error: String(error && error.message ? error.message : error) });
    }
  });
}
