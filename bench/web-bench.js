#!/usr/bin/env node
// The web page in headless Chromium, driven with the web test's helpers
// (tests/platform/web/web_e2e.js, puppeteer-core on NODE_PATH): prints the
// sizes, the time to the first screen and the processor time during a wait.
//
//   node web-bench.js --web DIR --work DIR [--runs N] [--chromium PATH]
'use strict';
const fs = require('fs');
const path = require('path');
const { opt, launch, until, start, PAGE_FILES } = require('../tests/platform/web/web_e2e.js');

// Processor seconds of the browser and all its children, from /proc.
function cpuSeconds(root) {
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
  return stats.filter((s) => tree.has(s.pid)).reduce((sum, s) => sum + s.ticks, 0) / 100;
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
}

start(bench);
