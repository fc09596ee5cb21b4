#!/usr/bin/env node
// The page's studio in headless Chromium, with web-bench.js's helpers: prints
// the weight of the page with the studio's files, the load of ?studio to the
// first screen, a PNG dropped on the picture to the screen drawn again with it,
// the renderer's memory (garbage collected) with the studio open on the sample,
// with a 2 GiB sparse set served and after 50 imports (and its growth over 50
// more, the script heap's beside the sheets' own size), and the processor time
// and wake-ups a second of the waiting page with the studio open beside the
// same browser on a blank page.
//
//   node studio-bench.js --web DIR --work DIR [--runs N] [--chromium PATH]
'use strict';
const fs = require('fs');
const path = require('path');
const { opt, launch, until, start, PAGE_FILES, STUDIO_FILES } = require('../tests/platform/web/web_e2e.js');
const { rendererMb, sparseSet, idle } = require('./web-bench.js');

const DROPS = 20, IMPORTS = 50;
const show = (name, text) => console.log(`  ${name.padEnd(40)} ${text}`);
const verdict = (ok) => (ok ? 'ok' : 'OVER');
const sorted = (v) => [...v].sort((a, b) => a - b);
const median = (v) => sorted(v)[Math.floor(v.length / 2)];

// Two different PNGs of ports.pix's images 3 and 4, as the studio exports them, kept on the page.
const exportTwo = (page) => page.evaluate(async () => {
  window.benchPngs = [await pixshowPage.studio.exportImage('ports.pix', 3),
                      await pixshowPage.studio.exportImage('ports.pix', 4)];
});

async function speed(work, base) {
  const runs = +(opt.runs || 5);
  const browser = await launch(work);
  try {
    const page = await browser.newPage();
    page.on('dialog', (d) => d.accept());
    await page.setViewport({ width: 1200, height: 700 });
    const pid = browser.process().pid;
    const blank = await idle(pid);
    const firsts = [];
    for (let i = 0; i < runs; ++i) {
      await page.goto(base + 'index.html?studio&run=' + i);
      firsts.push((await until(page, (s) => s.waits === 1, 'the first screen with the studio')).firstScreenMs);
    }
    await page.goto(base + 'index.html?studio&run=waiting');
    await until(page, (s) => s.waits === 1, 'the first screen with the studio');
    await page.evaluate(() => pixshowPage.studio.check());  // the studio's module and sheets in
    const waiting = await idle(pid);

    // Drops on the picture, as an artist's: each a PNG named ports-3.png, the two pictures in turn.
    await exportTwo(page);
    const drops = [];
    for (let n = 0; n < DROPS; ++n) {
      await page.evaluate((n) => {
        const data = new DataTransfer();
        data.items.add(new File([window.benchPngs[n % 2]], 'ports-3.png'));
        document.getElementById('view').dispatchEvent(new DragEvent('drop', { dataTransfer: data, cancelable: true, bubbles: true }));
      }, n);
      drops.push((await until(page, (s) => s.redrawMs !== null, 'the picture after a drop')).redrawMs);
      await page.evaluate(() => { pixshowPage.state.redrawMs = null; });
    }
    await page.evaluate(() => pixshowPage.studio.discard());

    const first = median(firsts), s = sorted(firsts);
    show('page load with ?studio to first screen', `${first.toFixed(1)} ms (goal < 1000 ms: ${verdict(first < 1000)})  min ${s[0].toFixed(1)} max ${s[s.length - 1].toFixed(1)}`);
    const d = median(drops), worst = Math.max(...drops);
    show('PNG dropped to picture drawn with it', `${d.toFixed(1)} ms (goal < 100 ms: ${verdict(d < 100)})  worst ${worst.toFixed(1)}, ${drops.length} drops`);
    show('blank page: CPU (all Chromium)', `${blank.cpu.toFixed(2)} % of one core`);
    show('waiting with the studio: CPU', `${waiting.cpu.toFixed(2)} % of one core (goal within 0.5 of the blank page: ${verdict(waiting.cpu - blank.cpu < 0.5)})`);
    show('waiting with the studio: wake-ups', `${waiting.woken.toFixed(1)} /s  (blank page ${blank.woken.toFixed(1)} /s; no goal)`);
  } finally {
    await browser.close();
  }
}

async function memory(work, base) {
  const browser = await launch(work, ['--js-flags=--expose-gc']);
  try {
    const page = await browser.newPage();
    for (const other of await browser.pages()) if (other !== page) await other.close();
    page.on('dialog', (d) => d.accept());
    const settled = async () => {
      const now = rendererMb(browser.process().pid);
      for (let i = 0; i < 3; ++i) {
        await page.evaluate(() => gc());
        await new Promise((r) => setTimeout(r, 300));
      }
      const heap = await page.evaluate(() => (performance.memory ? performance.memory.usedJSHeapSize / 2 ** 20 : NaN));
      return [now, rendererMb(browser.process().pid), heap];
    };
    const figures = [];
    const open = async (query, what) => {
      await page.goto(base + 'index.html?' + query);
      await until(page, (s) => s.waits === 1, what);
      await page.evaluate(() => pixshowPage.studio.check());  // the studio's module and sheets in
    };
    await open('studio', 'the sample with the studio');
    figures.push(['studio on the sample', await settled()]);
    sparseSet(work, 2);
    await open('sheets=sparse-2&studio', 'the 2 GiB set with the studio');
    figures.push(['2 GiB sparse served', await settled()]);

    // Imports on the sample, from its own figure again: the two pictures in turn over image 0, twice
    // IMPORTS. The first imports also pay what a first use costs once (code compiled, the allocator's
    // pools), so growth is judged over the second IMPORTS; the first are shown too.
    await open('studio&again', 'the sample with the studio');
    const before = await settled();
    await exportTwo(page);
    const imports = async () => {
      const refused = await page.evaluate(async (n) => {
        let bad = 0;
        for (let i = 0; i < n; ++i) bad += !(await pixshowPage.studio.importImage('ports.pix', 0, window.benchPngs[i % 2])).ok;
        return bad;
      }, IMPORTS);
      if (refused) throw new Error(`${refused} of ${IMPORTS} imports refused`);
      return settled();
    };
    figures.push([`then ${IMPORTS} imports`, await imports()]);
    const more = await imports();
    await page.evaluate(() => pixshowPage.studio.discard());

    for (const [what, [now, collected]] of figures) {
      show(`renderer memory, ${what}`, `${collected.toFixed(1)} MB (goal < 300 MB: ${verdict(collected < 300)}; ${now.toFixed(1)} MB before collecting garbage)`);
    }
    const sheets = fs.readdirSync(path.join(opt.web, 'sample')).filter((n) => /\.pix$/i.test(n))
      .reduce((n, f) => n + fs.statSync(path.join(opt.web, 'sample', f)).size, 0) / 2 ** 20;
    const [first, next] = [[before, figures[2][1]], [figures[2][1], more]].map(([a, b]) => [b[1] - a[1], b[2] - a[2]]);
    show(`growth over the first ${IMPORTS} imports`, `${first[0].toFixed(2)} MB resident, script heap ${first[1].toFixed(2)} MB (with what a first use costs once; no goal)`);
    show(`growth over the next ${IMPORTS} imports`, `script heap ${next[1].toFixed(2)} MB (goal within the sheets' own ${sheets.toFixed(2)} MB: ${verdict(next[1] <= sheets)}); ${next[0].toFixed(2)} MB resident`);
  } finally {
    await browser.close();
  }
}

start(async (work, base) => {
  const files = [...PAGE_FILES, ...STUDIO_FILES].map((f) => path.join(opt.web, f));
  const missing = files.filter((f) => !fs.existsSync(f));
  if (missing.length) {
    console.log('  (no studio in this web build: ' + missing.map((f) => path.basename(f)).join(', ') + ' missing)');
    return;
  }
  const size = files.reduce((n, f) => n + fs.statSync(f).size, 0);
  const studio = STUDIO_FILES.reduce((n, f) => n + fs.statSync(path.join(opt.web, f)).size, 0);
  show('page + program + studio files', `${(size / 1024).toFixed(1)} KB (studio ${(studio / 1024).toFixed(1)} KB; goal < 1536 KB: ${verdict(size < 1536 * 1024)})`);
  await speed(work, base);
  await memory(work, base);
});
