#!/usr/bin/env node
// The web page in headless Chromium, driven with the web test's helpers
// (tests/platform/web/web_e2e.js, puppeteer-core on NODE_PATH): prints the
// sizes, the time to the first screen, the processor time and wake-ups a
// second during a wait beside the same browser on a blank page, the press to
// the end of the wait, and the memory of the page's renderer playing sparse
// sheet sets of 2 and 10 GiB, after ten "Play it again" and ten GIFs made; the
// time Save as GIF takes. The waiting page is measured once it no longer
// listens for gamepads, and while it does.
//
//   node web-bench.js --web DIR --work DIR [--runs N] [--chromium PATH]
'use strict';
const fs = require('fs');
const path = require('path');
const { opt, launch, until, start, PAGE_FILES, RECORDER_FILES } = require('../tests/platform/web/web_e2e.js');

// The browser's processes and all their children, from /proc: pid, ppid, processor ticks.
function processTree(root) {
  const stats = fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p)).map((p) => {
    try {
      const f = fs.readFileSync(`/proc/${p}/stat`, 'utf8').split(') ')[1].split(' ');
      return { pid: +p, ppid: +f[1], ticks: +f[11] + +f[12] };
    } catch (e) { return null; }
  }).filter(Boolean);
  const tree = new Set([root]);
  for (let grown = true; grown;) {
    grown = false;
    for (const s of stats) if (!tree.has(s.pid) && tree.has(s.ppid)) grown = tree.add(s.pid);
  }
  return stats.filter((s) => tree.has(s.pid));
}

const read = (file) => { try { return fs.readFileSync(file, 'utf8'); } catch (e) { return null; } };

// The browser and all its children: processor seconds (schedstat, in ns,
// where the kernel keeps it, else /proc/<pid>/stat in ticks) and voluntary
// context switches, summed over their threads.
function usage(root) {
  let ticks = 0, ns = 0, fine = true, switches = 0;
  for (const s of processTree(root)) {
    ticks += s.ticks;
    let tasks = [];
    try { tasks = fs.readdirSync(`/proc/${s.pid}/task`); } catch (e) { /* gone */ }
    for (const t of tasks) {
      const sched = read(`/proc/${s.pid}/task/${t}/schedstat`);
      if (sched === null) fine = false; else ns += +sched.split(' ')[0];
      const found = /voluntary_ctxt_switches:\s*(\d+)/.exec(read(`/proc/${s.pid}/task/${t}/status`) || '');
      if (found) switches += +found[1];
    }
  }
  return { seconds: fine ? ns / 1e9 : ticks / 100, switches };
}

// Resident memory in MB of the page's renderer: the largest renderer process
// of the browser but that of its own user interface.
function rendererMb(root) {
  let kb = 0;
  for (const { pid } of processTree(root)) {
    try {
      const command = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
      if (!command.includes('--type=renderer') || command.includes('--top-chrome-webui')) continue;
      kb = Math.max(kb, +/VmRSS:\s+(\d+)/.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'))[1]);
    } catch (e) { /* gone */ }
  }
  return kb / 1024;
}

// The sample art with ports.pix made a sparse file of about `gib` GiB (whole images).
function sparseSet(work, gib) {
  const folder = path.join(work, `sparse-${gib}`);
  fs.mkdirSync(folder);
  for (const name of fs.readdirSync(path.join(opt.web, 'sample'))) {
    fs.copyFileSync(path.join(opt.web, 'sample', name), path.join(folder, name));
  }
  const image = 82 * 62;
  fs.truncateSync(path.join(folder, 'ports.pix'), Math.ceil((gib * 2 ** 30) / image) * image);
  return fs.readdirSync(folder).map((n) => path.join(folder, n));
}

async function memory(work, base) {
  // Its own browser, where garbage can be collected before each look.
  const browser = await launch(work, ['--js-flags=--expose-gc']);
  try {
    const page = await browser.newPage();
    for (const other of await browser.pages()) if (other !== page) await other.close();
    let runs = 1;
    // The renderer's memory as it stands and after collecting garbage.
    const settled = async () => {
      const now = rendererMb(browser.process().pid);
      for (let i = 0; i < 3; ++i) {
        await page.evaluate(() => gc());
        await new Promise((r) => setTimeout(r, 300));
      }
      return [now, rendererMb(browser.process().pid)];
    };
    await page.goto(base + 'index.html');
    await until(page, (s) => s.waits === 1 && s.runs === 1, 'the sample');
    const figures = [['the sample', await settled()]];
    let reloads = 0;
    for (const gib of [2, 10]) {
      // Chosen while the sample plays: the page takes the new sheets in and
      // draws the screen again.
      await (await page.$('#files')).uploadFile(...sparseSet(work, gib));
      const reload = ++reloads;
      await until(page, (s) => s.reloads === reload && s.waits >= 1 && s.runs === 1,
                  `a ${gib} GiB set`);
      figures.push([`a ${gib} GiB sparse set`, await settled()]);
    }
    for (let i = 0; i < 10; ++i) {
      await page.evaluate(() => document.getElementById('again').click());
      const run = ++runs;
      await until(page, (s) => s.waits === 1 && s.runs === run, 'a replay');
    }
    figures.push(['then ten "Play it again"', await settled()]);
    if (fs.existsSync(path.join(opt.web, RECORDER_FILES[1]))) {
      for (let i = 1; i <= 10; ++i) {
        await page.click('#gif');
        await until(page, (s) => s.gifs && s.gifs.length === i, 'a GIF');
      }
      figures.push(['then ten GIFs made', await settled()]);
    }
    for (const [what, [now, collected]] of figures) {
      console.log(`  renderer memory, ${what.padEnd(24)} ${collected.toFixed(1)} MB (goal < 300 MB: ${collected < 300 ? 'ok' : 'OVER'}; ${now.toFixed(1)} MB before collecting garbage)`);
    }
    const growth = (figures[3][1][1] - figures[2][1][1]) / 10;
    console.log(`  growth per replay                    ${growth.toFixed(2)} MB (goal: none)`);
  } finally {
    await browser.close();
  }
}

// Processor share in percent of a core and wake-ups a second over five
// seconds, after eight for the browser's own work after a load to settle.
async function idle(pid) {
  await new Promise((r) => setTimeout(r, 8000));
  const u0 = usage(pid), t0 = Date.now();
  await new Promise((r) => setTimeout(r, 5000));
  const u1 = usage(pid), wall = (Date.now() - t0) / 1000;
  return { cpu: (100 * (u1.seconds - u0.seconds)) / wall, woken: (u1.switches - u0.switches) / wall };
}

async function bench(work, base) {
  const size = PAGE_FILES.reduce((sum, f) => sum + fs.statSync(path.join(opt.web, f)).size, 0);
  const runs = +(opt.runs || 5);
  const firsts = [], ends = [];
  const browser = await launch(work);
  try {
    const page = await browser.newPage();
    const pid = browser.process().pid;
    const blank = await idle(pid);  // the browser as it starts, on a blank page
    for (let i = 0; i < runs; ++i) {
      await page.goto(base + 'index.html?run=' + i);
      firsts.push((await until(page, (s) => s.waits === 1, 'the first screen')).firstScreenMs);
    }
    await page.goto(base + 'index.html?run=waiting');
    await until(page, (s) => s.waits === 1, 'the first screen');
    const listening = await idle(pid);  // the page still listens for gamepads, as it does after an input
    await until(page, (s) => !s.padListening, 'the end of listening for gamepads', 120);
    const waiting = await idle(pid);
    for (let i = 0; i < runs; ++i) {
      await page.goto(base + 'index.html?press=' + i);
      await until(page, (s) => s.waits === 1, 'the first screen');
      // A press on the picture: from the page's event to the start of the
      // wait's 500 ms pause, that is the end of the wait.
      await new Promise((r) => setTimeout(r, 300));
      await page.mouse.move(700, 500);
      await page.mouse.down();
      await new Promise((r) => setTimeout(r, 60));
      await page.mouse.up();
      const s = await until(page, (s) => s.pause && s.pause[0] === 500 && s.pause[1] > s.pressMs, 'the end of the wait');
      ends.push(s.pause[1] - s.pressMs);
    }
    // Save as GIF, the first time with the recorder's loading, then made again.
    const gifs = [];
    if (fs.existsSync(path.join(opt.web, RECORDER_FILES[1]))) {
      await page.goto(base + 'index.html?gif');
      await until(page, (s) => s.waits === 1, 'the first screen');
      for (let i = 1; i <= runs + 1; ++i) {
        await page.click('#gif');
        gifs.push((await until(page, (s) => s.gifs && s.gifs.length === i, 'the GIF')).gifs[i - 1].ms);
      }
    }
    const median = (v) => { v.sort((a, b) => a - b); return v[Math.floor(v.length / 2)]; };
    const verdict = (ok) => (ok ? 'ok' : 'OVER');
    const first = median(firsts), end = ends.length ? median(ends) : NaN;
    const show = (name, text) => console.log(`  ${name.padEnd(40)} ${text}`);
    show('page + script + wasm (no sheets)', `${(size / 1024).toFixed(1)} KB (goal < 1536 KB: ${verdict(size < 1536 * 1024)})`);
    show('page load to first screen drawn', `${first.toFixed(1)} ms (goal < 1000 ms: ${verdict(first < 1000)})  min ${firsts[0].toFixed(1)} max ${firsts[firsts.length - 1].toFixed(1)}`);
    show('blank page: CPU (all Chromium)', `${blank.cpu.toFixed(2)} % of one core`);
    show('blank page: wake-ups', `${blank.woken.toFixed(1)} /s`);
    show('waiting page: CPU (all Chromium)', `${waiting.cpu.toFixed(2)} % of one core (goal within 0.5 of the blank page: ${verdict(waiting.cpu - blank.cpu < 0.5)})`);
    show('waiting page: wake-ups', `${waiting.woken.toFixed(1)} /s  (blank page ${blank.woken.toFixed(1)} /s; no goal)`);
    if (gifs.length) {
      const loaded = RECORDER_FILES.reduce((sum, f) => sum + fs.statSync(path.join(opt.web, f)).size, 0);
      show('recorder, loaded when first used', `${(loaded / 1024).toFixed(1)} KB`);
      const first = gifs.shift(), again = median(gifs);
      show('Save as GIF, the sample', `${again.toFixed(1)} ms (goal < 1000 ms: ${verdict(again < 1000)}), the first with loading ${first.toFixed(1)} ms`);
    }
    show('listening for gamepads: CPU, wake-ups', `${listening.cpu.toFixed(2)} % of one core, ${listening.woken.toFixed(1)} /s ` +
         '(30 s after the load or an input, and while a pad is connected; no goal)');
    if (ends.length) show('press to end of wait', `${end.toFixed(2)} ms (goal < 10 ms: ${verdict(end < 10)})  min ${ends[0].toFixed(2)} max ${ends[ends.length - 1].toFixed(2)}, ${ends.length} presses`);
  } finally {
    await browser.close();
  }
  await memory(work, base);
}

// bench/studio-bench.js measures the studio with the same helpers.
if (require.main === module) start(bench);
module.exports = { rendererMb, sparseSet, idle };
