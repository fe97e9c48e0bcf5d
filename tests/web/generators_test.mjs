// The browser build's content makers in one engine (chromium, firefox or webkit: the first
// argument), as the viewer's browser will run them: a page served beside the build starts
// Web Workers from packaging/web/generators_worker.js, which load bake.js and synth.js
// (and their wasm, beside the worker script) by importScripts and hand their files back
// by transfer. generators_check.mjs, in the page, holds what they make against the native
// bake's staged files and synth_samples' samples, fetched from this test's server, and
// answers only its findings and figures, which this prints (the figures are not checked).
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { fileURLToPath } from 'node:url';
import { serve, launch, engineName, openPage, waitFor, run, runCases, check, env } from './harness.mjs';

const engine = engineName();
const web = path.resolve(env('NORRVALE_WEB'));
const stage = env('NORRVALE_STAGE');
const scratch = path.join(env('NORRVALE_SCRATCH'), engine);
fs.mkdirSync(scratch, { recursive: true });
const kb = (bytes) => `${(bytes / 1024).toFixed(0)} KiB`;

// The native song before encoding, as the page fetches it.
const song = path.join(scratch, 'song.f32');
run(env('NORRVALE_SYNTH_SAMPLES'), [song]);

const page = `<!DOCTYPE html><meta charset="utf-8"><title>generators</title>
<script type="module">
import { checkGenerators } from './generators_check.mjs';
checkGenerators(${JSON.stringify({ worker: 'generators_worker.js', native: 'native/',
  stagedNames: fs.readdirSync(path.join(stage, 'imgs')) })})
  .then((results) => { window.__generators = { results }; },
        (error) => { window.__generators = { error: String(error) }; });
</script>`;

const server = await serve(web, {
  pages: { 'generators.html': page },
  mounts: {
    'generators_check.mjs': fileURLToPath(new URL('generators_check.mjs', import.meta.url)),
    'native/imgs/': path.join(stage, 'imgs'),
    'native/song.f32': song,
  },
});
async function runPage() {
  const browser = await launch(engine);
  try {
    const tab = await openPage(browser, `${server.url}generators.html`);
    const answer = await waitFor(tab, () => window.__generators, null, 600000, 1000);
    await tab.close();
    return answer;
  } finally {
    await browser.close();
  }
}

let answer;
try {
  try {
    answer = await runPage();
  } catch (error) {
    // As runCases does: a driver that stalled says nothing of the page.
    if (!error.stalled) throw error;
    console.log(`once more: ${error.message}`);
    answer = await runPage();
  }
} finally {
  server.close();
}

await runCases([
  ...(answer.error ? [['the_page_ran_the_checks', () => check(false, answer.error)]] : []),
  ...(answer.results || []).map(([name, lines, failure, ms]) => [name, () => {
    for (const line of lines) console.log(line);
    console.log(`  (${(ms / 1000).toFixed(1)} s in ${engine})`);
    check(!failure, failure);
  }]),
  ['sizes', () => {
    // Figures for the page's download, as the host sends the files plainly or gzipped.
    for (const name of ['bake.js', 'bake.wasm', 'synth.js', 'synth.wasm', 'generators_worker.js']) {
      const bytes = fs.readFileSync(path.join(web, name));
      console.log(`  ${name.padEnd(22)} ${kb(bytes.length).padStart(9)} raw, ${kb(zlib.gzipSync(bytes, { level: 9 }).length).padStart(9)} gzipped`);
    }
  }],
]);
