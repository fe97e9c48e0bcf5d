// The page a viewer meets, in one engine (chromium, firefox or webkit: the first
// argument): the release zip unpacked and served from a fresh folder plays through
// (progress, Play, frames, end card, Play again) with the synthesised song, its pieces
// back to back and the native synthesiser's samples; a second visit makes nothing and
// plays what the first kept; generators that cannot run fall back to the downloads;
// Escape ends a run; a track that is missing, damaged or never arrives leaves the run
// silent, never stuck; a program file that stops arriving is said on the card; a missing
// shader or image behaves as on the desktop; a browser without WebGL 2 is told so.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { serve, launch, engineName, openPage, waitFor, waitForState, clickPlay, pageLines, pageErrors, run,
  runCases, check, env, ownLines } from './harness.mjs';

const webDir = env('NORRVALE_WEB');
const scratch = path.join(env('NORRVALE_SCRATCH'), engineName());
fs.mkdirSync(scratch, { recursive: true });
const kTrack = 'tessmer-trancedemo5.mp3';
// Fast enough to see a whole run in seconds, slow enough for a few frames per window;
// runs that only need to reach the end go faster still.
const kFast = { speed: 40 };
const kToTheEnd = { speed: 100 };
// A track that starts late starts where the picture is, to within this (seconds).
const kInStep = 0.25;

// The generators, hidden from a host: the page then downloads the content and the track.
const kGenerators = ['bake.js', 'bake.wasm', 'synth.js', 'synth.wasm'].flatMap((f) => [f, `${f}.gz`]);
const kPieceFrames = 441000;

// The native synthesiser's samples: every left one, then every right one.
let nativeSong = null;
function nativeSamples() {
  if (!nativeSong) {
    const file = path.join(scratch, 'song.f32');
    run(env('NORRVALE_SYNTH_SAMPLES'), [file]);
    const bytes = fs.readFileSync(file);
    nativeSong = new Float32Array(bytes.buffer, bytes.byteOffset, bytes.length / 4);
  }
  return nativeSong;
}

// The song's pieces as the page scheduled them: each must hold the native samples of the
// piece it is (found by its first samples), and within a run follow the one before,
// starting where that one ends.
function checkSongPieces(pieces, runs) {
  const native = nativeSamples();
  const frames = native.length / 2;
  const near = (a, b) => Math.abs(a - b) <= 1e-5;
  let runsSeen = 0;
  let last = null;
  for (const piece of pieces) {
    const index = Array.from({ length: Math.ceil(frames / kPieceFrames) }, (_, i) => i).find((i) => piece.head[0]
      .every((v, k) => near(v, native[i * kPieceFrames + k])) && piece.head[1].every((v, k) => near(v, native[frames + i * kPieceFrames + k])));
    check(index !== undefined, `a piece of song that is no piece of the native song: ${JSON.stringify(piece.head)}`);
    check(piece.rate === 44100, `a piece at ${piece.rate} Hz`);
    if (index === 0) {
      runsSeen += 1;
    } else {
      check(last && index === last.index + 1, `piece ${index} after piece ${last && last.index}`);
      const gap = piece.when - piece.offset - (last.when - last.offset) - last.frames / 44100;
      check(Math.abs(gap) < 1e-6, `piece ${index} starts ${gap} s after piece ${index - 1} ends`);
    }
    last = { ...piece, index };
  }
  check(runsSeen === runs, `the song started ${runsSeen} times in ${runs} runs`);
  check(pieces.length > runs, `only ${pieces.length} pieces of song in ${runs} runs`);
}

const callCount = (page, name) => page.evaluate((n) =>
  (window.__calls || []).flat().filter((c) => c.name === n).length, name);
const cardMessage = (page) => page.evaluate(() => {
  const message = document.getElementById('message');
  return message.hidden ? '' : message.textContent;
});

// The desktop program's stdout with the same files missing, run straight to its end
// with the tests' clock shim.
function nativeLines(missing) {
  const stage = path.join(scratch, 'stage-missing');
  fs.rmSync(stage, { recursive: true, force: true });
  fs.cpSync(env('NORRVALE_STAGE'), stage, { recursive: true });
  for (const file of missing) fs.rmSync(path.join(stage, file));
  const out = run(env('NORRVALE_BINARY'), [], {
    cwd: stage,
    env: { ...process.env, LD_PRELOAD: env('NORRVALE_SHIM'), SHIM_CLOCK_START: '300' },
  });
  return out.split('\n').filter((line) => line !== '');
}

// The build folder with the track swapped for a few kilobytes that are no MP3.
function damagedTrackFolder() {
  const folder = path.join(scratch, 'web-damaged-track');
  fs.rmSync(folder, { recursive: true, force: true });
  fs.mkdirSync(folder, { recursive: true });
  for (const name of fs.readdirSync(webDir)) {
    if (name !== kTrack) fs.symlinkSync(path.join(webDir, name), path.join(folder, name));
  }
  fs.writeFileSync(path.join(folder, kTrack), Buffer.alloc(8192, 'not an mp3 '));
  return folder;
}

const browser = await launch();

await runCases([
  ['release_folder_plays_through_twice_with_its_song', async () => {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'norrvale-web-'));
    const zip = fs.readdirSync(env('NORRVALE_DIST')).find((name) => name.endsWith('-web.zip'));
    check(zip, 'no web zip in the dist folder (make dist-web)');
    run('cmake', ['-E', 'tar', 'xf', path.join(env('NORRVALE_DIST'), zip)], { cwd: folder });
    const root = path.join(folder, zip.replace(/\.zip$/, ''));
    const server = await serve(root);
    try {
      const page = await openPage(browser, server.url, { clock: kFast, record: true });
      const first = await page.evaluate(() => document.body.dataset.state);
      check(first === 'loading', `the page opens in state ${first}, not loading`);
      await waitForState(page, 'ready');
      const fill = await page.evaluate(() => parseFloat(document.getElementById('fill').style.width));
      check(fill === 100, `progress bar at ${fill}% when ready`);
      for (const runIndex of [1, 2]) {
        await clickPlay(page);
        await waitForState(page, 'playing');
        await waitForState(page, 'ended');
        const clears = await callCount(page, 'clear');
        check(clears >= 3, `run ${runIndex} drew ${clears} frames`);
        // The end of the timeline, not a close: two arrays deleted, not four.
        const deleted = await callCount(page, 'deleteVertexArray');
        check(deleted === 2, `run ${runIndex} ended with ${deleted} arrays deleted, not the timeline's 2`);
        const label = await page.evaluate(() => {
          const play = document.getElementById('play');
          return play.hidden ? '' : play.textContent;
        });
        check(label === 'Play again', `end card shows "${label}"`);
      }
      const sound = await page.evaluate(() => window.__sound);
      check(sound.prepared === 1, `${sound.prepared} audio contexts`);
      check(sound.starts.length === 2, `music started ${sound.starts.length} times in two runs`);
      check(sound.starts.every((start) => start.music === 'song'), `music: ${sound.starts.map((s) => s.music)}`);
      checkSongPieces(sound.music, 2);
      const uploads = await callCount(page, 'texImage2D');
      // From its start right after the set-up, before the first frame; where the engine
      // had the track ready only later (WebKit loads it from the click), at the time the
      // picture has reached.
      for (const start of sound.starts) {
        check(start.loop === false, 'track started looped');
        check(start.seconds > 200, `track of ${start.seconds} s`);
        check(start.uploads === uploads, `track started after ${start.uploads} of ${uploads} uploads`);
        check(start.clears === 0 ? start.at === 0 : Math.abs(start.at - start.late) < kInStep,
          `track started at ${start.at} s after ${start.clears} frames, ${start.late} s after the first`);
      }
      const errors = await pageErrors(page);
      check(errors.length === 0, `page errors: ${errors.join('; ')}`);
      await page.close();
    } finally {
      server.close();
      fs.rmSync(folder, { recursive: true, force: true });
    }
  }],

  // Made on the first visit (content.data is not there to download), kept, and taken from
  // the browser on the second, which neither makes content nor downloads the program,
  // the generators or the content.
  ['second_visit_plays_what_the_first_made', async () => {
    const server = await serve(webDir, { hide: ['content.data', 'content.data.gz'] });
    try {
      const loads = [];
      for (const visit of [1, 2]) {
        const page = await openPage(browser, server.url, { clock: kToTheEnd, record: true });
        await clickPlay(page);
        await waitForState(page, 'ended');
        loads.push(await page.evaluate(() => ({ ...window.norrvaleLoad,
          fetched: performance.getEntriesByType('resource').map((r) => r.name.replace(/.*\//, ''))
            .filter((name) => /^(bake|synth|norrvale|content)\./.test(name)) })));
        const lines = ownLines(await pageLines(page));
        check(lines.length === 0, `visit ${visit} printed:\n${lines.join('\n')}`);
        check(await callCount(page, 'deleteVertexArray') === 2, `visit ${visit} did not reach the end of the timeline`);
        const sound = await page.evaluate(() => window.__sound);
        check(sound.starts.length === 1 && sound.starts[0].music === 'song', `visit ${visit}: ${JSON.stringify(sound.starts)}`);
        await page.close();
      }
      check(loads[0].content === 'made' && loads[0].makeMs > 0, `first visit: ${JSON.stringify(loads[0])}`);
      check(loads[1].content === 'kept' && loads[1].fetched.length === 0, `second visit: ${JSON.stringify(loads[1])}`);
    } finally {
      server.close();
    }
  }],

  ['generators_that_cannot_run_fall_back_to_the_downloads', async () => {
    const server = await serve(webDir, { hide: kGenerators });
    try {
      const page = await openPage(browser, `${server.url}?content=make`, { clock: kToTheEnd, record: true });
      await clickPlay(page);
      await waitForState(page, 'ended');
      const load = await page.evaluate(() => window.norrvaleLoad);
      check(load.content === 'downloaded' && load.music === 'track', `loaded: ${JSON.stringify(load)}`);
      const sound = await page.evaluate(() => window.__sound);
      check(sound.starts.length === 1 && sound.starts[0].music === 'track', `music: ${JSON.stringify(sound.starts)}`);
      check(await callCount(page, 'deleteVertexArray') === 2, 'the run did not reach the end of the timeline');
      await page.close();
    } finally {
      server.close();
    }
  }],

  ['escape_ends_a_run_early', async () => {
    const server = await serve(webDir);
    try {
      const page = await openPage(browser, server.url, { record: true });
      await clickPlay(page);
      await waitFor(page, () => (window.__calls || []).flat().filter((c) => c.name === 'clear').length >= 2,
        null, 120000);
      await page.pressEscape();
      await waitForState(page, 'ended', 60000);
      const deleted = await callCount(page, 'deleteVertexArray');
      check(deleted === 4, `a close deletes 4 arrays, this run ${deleted}`);
      await page.close();
    } finally {
      server.close();
    }
  }],

  // Play must not wait for the track, and the run must not wait for it beyond its bound.
  // The track plays where the song cannot be made, so the generators are hidden.
  ['track_missing_damaged_or_never_arriving_leaves_the_run_silent_to_the_end', async () => {
    // The stalled download's own bound is put out of reach: only not waiting on the
    // track can show Play and end the run.
    const hosts = [['missing', webDir, { hide: [kTrack, ...kGenerators] }, {}],
      ['damaged', damagedTrackFolder(), { hide: kGenerators }, {}],
      ['never arriving', webDir, { stall: [kTrack], hide: kGenerators }, { stallSeconds: 3600 }]];
    for (const [how, folder, serving, bounds] of hosts) {
      const server = await serve(folder, serving);
      try {
        const page = await openPage(browser, server.url, { clock: kToTheEnd, record: true, bounds });
        await clickPlay(page);
        await waitForState(page, 'ended');
        const sound = await page.evaluate(() => window.__sound);
        check(sound.starts.length === 0, `${how}: a track started`);
        check(await callCount(page, 'deleteVertexArray') === 2, `${how}: the run did not reach the end of the timeline`);
        const message = await cardMessage(page);
        check(message === '', `${how}: end card says "${message}"`);
        await page.close();
      } finally {
        server.close();
      }
    }
  }],

  ['program_file_that_stops_arriving_is_said_on_the_card', async () => {
    const server = await serve(webDir, { stall: ['norrvale.data', 'norrvale.data.gz'] });
    try {
      const page = await openPage(browser, server.url, { bounds: { stallSeconds: 2 } });
      await waitForState(page, 'failed', 60000);
      const message = await cardMessage(page);
      check(message.includes('could not be downloaded'), `card says "${message}"`);
      check(await page.evaluate(() => document.getElementById('play').hidden), 'Play is offered');
      await page.close();
    } finally {
      server.close();
    }
  }],

  ['missing_shader_and_images_print_the_desktop_lines_and_the_run_goes_on', async () => {
    const missing = ['shdrs/instancing3.fs', 'imgs/greet05.png', 'imgs/HelsinkiTop.png'];
    const expected = ownLines(nativeLines(missing));
    check(expected.some((l) => l.startsWith('Texture failed')), `native run printed: ${expected.join('\n')}`);
    const server = await serve(webDir);
    try {
      const page = await openPage(browser, server.url,
        { clock: kToTheEnd, record: true, remove: missing.map((f) => `/${f}`) });
      await clickPlay(page);
      await waitForState(page, 'ended');
      const got = ownLines(await pageLines(page));
      check(JSON.stringify(got) === JSON.stringify(expected),
        `console:\n${got.join('\n')}\n--- desktop:\n${expected.join('\n')}`);
      check(await callCount(page, 'deleteVertexArray') === 2, 'the run did not reach the end of the timeline');
      await page.close();
    } finally {
      server.close();
    }
  }],

  ['without_webgl2_the_page_says_so', async () => {
    const server = await serve(webDir);
    try {
      const page = await openPage(browser, server.url, { noWebgl2: true });
      await waitForState(page, 'nowebgl', 30000);
      const message = await cardMessage(page);
      check(message.includes('WebGL 2'), `message: "${message}"`);
      check(await page.evaluate(() => document.getElementById('play').hidden), 'Play is offered');
      await page.close();
    } finally {
      server.close();
    }
  }],
]);

await browser.close();
