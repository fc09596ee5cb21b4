#!/usr/bin/env node
// The web page in headless Chromium, driven with the web test's helpers
// (tests/platform/web/web_e2e.js, puppeteer-core on NODE_PATH): prints the
// sizes, the time to the first screen, the processor time during a wait, and
// the memory of the page's renderer playing sparse sheet sets of 2 and 10 GiB
// and after ten "Play it again".
//
//   node web-bench.js --web DIR --work DIR [--runs N] [--chromium PATH]
'use strict';
const fs = require('fs');
const path = require('path');
const { opt, launch, until, start, PAGE_FILES } = require('../tests/platform/web/web_e2e.js');

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

// Processor seconds of the browser and all its children.
function cpuSeconds(root) {
  return processTree(root).reduce((sum, s) => sum + s.ticks, 0) / 100;
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
    for (const gib of [2, 10]) {
      await (await page.$('#files')).uploadFile(...sparseSet(work, gib));
      const run = ++runs;
      await until(page, (s) => s.waits === 1 && s.runs === run, `a ${gib} GiB set`);
      figures.push([`a ${gib} GiB sparse set`, await settled()]);
    }
    for (let i = 0; i < 10; ++i) {
      await page.evaluate(() => document.getElementById('again').click());
      const run = ++runs;
      await until(page, (s) => s.waits === 1 && s.runs === run, 'a replay');
    }
    figures.push(['then ten "Play it again"', await settled()]);
    for (const [what, [now, collected]] of figures) {
      console.log(`  renderer memory, ${what.padEnd(24)} ${collected.toFixed(1)} MB (goal < 300 MB: ${collected < 300 ? 'ok' : 'OVER'}; ${now.toFixed(1)} MB before collecting garbage)`);
    }
    const growth = (figures[3][1][1] - figures[2][1][1]) / 10;
    console.log(`  growth per replay                    ${growth.toFixed(2)} MB (goal: none)`);
  } finally {
    await browser.close();
  }
}

async function bench(work, base) {
  const size = PAGE_FILES.reduce((sum, f) => sum + fs.statSync(path.join(opt.web, f)).size, 0);
  const firsts = [];
  const browser = await launch(work);
  try {
    const page = await browser.newPage();
    for (let i = 0; i < +(opt.runs || 5); ++i) {
      await page.goto(base + 'index.html?run=' + i);
      firsts.push((await until(page, (s) => s.waits === 1, 'the first screen')).firstScreenMs);
    }
    await new Promise((r) => setTimeout(r, 500));
    const pid = browser.process().pid, c0 = cpuSeconds(pid), t0 = Date.now();
    await new Promise((r) => setTimeout(r, 5000));
    const cpu = (100 * (cpuSeconds(pid) - c0)) / ((Date.now() - t0) / 1000);
    firsts.sort((a, b) => a - b);
    const median = firsts[Math.floor(firsts.length / 2)];
    console.log(`  page + script + wasm (no sheets)   ${(size / 1024).toFixed(1)} KB (goal < 1536 KB: ${size < 1536 * 1024 ? 'ok' : 'OVER'})`);
    console.log(`  page load to first screen drawn    ${median.toFixed(1)} ms (goal < 1000 ms: ${median < 1000 ? 'ok' : 'OVER'})  min ${firsts[0].toFixed(1)} max ${firsts[firsts.length - 1].toFixed(1)}`);
    console.log(`  CPU while waiting (all Chromium)   ${cpu.toFixed(2)} % of one core (goal < 5 %: ${cpu < 5 ? 'ok' : 'OVER'})`);
  } finally {
    await browser.close();
  }
  await memory(work, base);
}

start(bench);
