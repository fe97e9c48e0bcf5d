// Damaged content through the browser build, in one engine (the first argument): the sanitizer runs' four damaged copies of
// the stage (tests/sanitize/make_corpus.py) put into the program's files in place of the
// good ones. Each run must reach the end of the timeline and print exactly the lines the
// corpus expects (driver logs aside, in any order), as the desktop program does.
import fs from 'node:fs';
import path from 'node:path';
import { serve, launch, engineName, openPage, waitForState, clickPlay, pageLines, pageErrors, run, runCases, check, env,
  ownLines } from './harness.mjs';

const here = path.dirname(new URL(import.meta.url).pathname);
const corpus = path.join(env('NORRVALE_SCRATCH'), `corpus-${engineName()}`);

const browser = await launch();
const site = await serve(env('NORRVALE_WEB'));
const corpusSite = await serve(corpus);

await runCases(['materials', 'geometry', 'images', 'shaders'].map((kind) => [`damaged_${kind}_runs_to_the_end_with_the_loaders_lines`, async () => {
  run('python3', [path.join(here, '..', 'sanitize', 'make_corpus.py'), env('NORRVALE_STAGE'), corpus, kind]);
  const folder = path.join(corpus, kind);
  const replace = [];
  for (const sub of ['imgs', 'shdrs']) {
    for (const name of fs.readdirSync(path.join(folder, sub))) {
      if (fs.lstatSync(path.join(folder, sub, name)).isSymbolicLink()) continue;
      replace.push({ file: `/${sub}/${name}`, url: `${corpusSite.url}${kind}/${sub}/${name}` });
    }
  }
  check(replace.length > 0, `no damaged files in ${folder}`);
  const page = await openPage(browser, site.url, { clock: { speed: 100 }, record: true, replace });
  await clickPlay(page);
  await waitForState(page, 'ended');
  const deleted = await page.evaluate(() => (window.__calls || []).flat().filter((c) => c.name === 'deleteVertexArray').length);
  check(deleted === 2, 'the run did not reach the end of the timeline');
  const expected = fs.readFileSync(path.join(folder, 'expected.txt'), 'utf8').split('\n').filter((l) => l).sort();
  const got = ownLines(await pageLines(page)).sort();
  check(JSON.stringify(got) === JSON.stringify(expected), `console:\n${got.join('\n')}\n--- expected:\n${expected.join('\n')}`);
  const errors = await pageErrors(page);
  check(errors.length === 0, `page errors: ${errors.join('; ')}`);
  await page.close();
}]));

await browser.close();
site.close();
corpusSite.close();
