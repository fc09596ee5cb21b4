#!/usr/bin/env node
// The web build in a real browser: the system's Chromium, headless, driven
// through puppeteer-core, the page served by a small server of our own.
//
//   node web_e2e.js --web DIR --capture PIXSHOW_CAPTURE --work DIR [--chromium PATH]
//
// The sample art screen by screen against pixshow-capture (the cursor aside),
// clicks through all eight screens, Escape, the scale choices, a missing sheet,
// a sheet dropped while it plays, a set of sheets or a folder dropped onto the
// page, and a wrong set; F12's screenshot and Save as GIF against pixshow-capture
// (where the build made the recorder); then the page on phones (touch, turned)
// and screens of every size, swipes, the keyboard, a stubbed gamepad, the
// notes, a bare ?loop, and axe-core in each state. bench/web-bench.js drives
// the page with the same helpers.
'use strict';
const fs = require('fs');
const path = require('path');
const readline = require('readline');
const { execFileSync, spawn } = require('child_process');
const puppeteer = require('puppeteer-core');

const args = process.argv.slice(2);
const opt = { chromium: '/usr/bin/chromium' };
for (let i = 0; i < args.length; i += 2) opt[args[i].replace(/^--/, '')] = args[i + 1];
const PAGE_FILES = ['index.html', 'page.js', 'pixshow.js', 'pixshow.wasm'];
const STUDIO_FILES = ['pixstudio.js', 'pixstudio.wasm', 'pixstudio-art.bin'];  // when the build made them
const RECORDER_FILES = ['pixrecord.js', 'pixrecord.wasm'];  // loaded for a GIF or a screenshot

// Each screen's name and its captions in the order drawn, as the live region tells them.
const CAPTIONS = [
  ['portraits', 'Some sample portraits of my game participants.', 'These are all binary images - even the button.'],
  ['palette', "Change a palette entry and he's Blue Sun", 'or Green Sun', 'Back to normal.'],
  ['game stats', 'Images for game stats.'],
  ['summer map', 'Part of a battle map made with tiles created', 'with the binary image drawing program.',
   'Summer version'],
  ['fall map', 'Fall version'], ['winter map', 'Winter version'],
  ['spring map with pieces', 'Spring version', 'Add some men', 'Whose turn is it?'],
  ['closing', "That's it folks.", 'Thanks for watching.'],
];

function fail(message) {
  throw new Error(message);
}

// Serves the work folder (the page files are linked into it) on a free port with
// ./run web's server, which ends with this process (its standard input closes).
// sent(re): the bytes it sent for the requests matching re.
function serve(root, ...flags) {
  const child = spawn(path.join(__dirname, '../../../scripts/serve-web'), ['--port', '0', '--stop-at-eof', ...flags, root]);
  const log = [];
  readline.createInterface({ input: child.stderr }).on('line', (line) => log.push(line));
  const sent = (re) => log.filter((l) => re.test(l)).reduce((n, l) => n + Number(/ (\d+)$/.exec(l)[1]), 0);
  return new Promise((resolve, reject) => {
    child.stdout.once('data', (d) => resolve({ base: `http://127.0.0.1:${/:(\d+)\//.exec(d)[1]}/`, log, sent,
                                               close: () => child.kill() }));
    child.once('exit', (status) => reject(new Error(`serve-web ended (status ${status}): ${log.join(' ')}`)));
  });
}

// Chromium, driven through a pipe: when this process ends, killed or not, the pipe closes and so does the browser.
async function launch(work, more = []) {
  return puppeteer.launch({
    executablePath: opt.chromium, headless: true, userDataDir: path.join(work, 'profile'), pipe: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--force-color-profile=srgb', '--window-size=1400,1000',
           ...more],
  });
}

const state = (page) => page.evaluate(() => ({ ...pixshowPage.state, note: document.getElementById('note').innerText }));

async function until(page, test, what, seconds = 60) {
  for (const end = Date.now() + seconds * 1000; Date.now() < end; await new Promise((r) => setTimeout(r, 50))) {
    const s = await state(page);
    if (test(s)) return s;
  }
  fail('timed out waiting for ' + what + ': ' + JSON.stringify(await state(page)));
}

// Pixels of the canvas unlike the picture at `url`, leaving out the cursor.
function compare(page, url) {
  return page.evaluate(async (url) => {
    const img = new Image();
    img.src = url;
    await img.decode();
    const c = new OffscreenCanvas(640, 480).getContext('2d');
    c.drawImage(img, 0, 0);
    const want = c.getImageData(0, 0, 640, 480).data;
    const got = document.getElementById('screen').getContext('2d').getImageData(0, 0, 640, 480).data;
    const [cx, cy] = pixshowPage.state.cursor || [-99, -99];
    let bad = 0, first = '';
    for (let i = 0; i < want.length; i += 4) {
      const x = (i / 4) % 640, y = Math.floor(i / 2560);
      if (x >= cx && x < cx + 12 && y >= cy && y < cy + 19) continue;
      if (want[i] !== got[i] || want[i + 1] !== got[i + 1] || want[i + 2] !== got[i + 2]) {
        if (!bad++) first = `(${x},${y}) ${got.slice(i, i + 3)} not ${want.slice(i, i + 3)}`;
      }
    }
    return bad ? `${bad} pixels differ, first ${first}` : '';
  }, url);
}

// compare(), until the picture matches or a few seconds have passed: '' when it does.
async function sameSoon(page, url) {
  let d = '';
  for (const end = Date.now() + 5000; Date.now() < end; await new Promise((r) => setTimeout(r, 50))) {
    if (!(d = await compare(page, url))) break;
  }
  return d;
}

// The bytes at `url` as the page has them (a download's blob: address).
const bytesAt = async (page, url) => Buffer.from(await page.evaluate(async (url) =>
  Array.from(new Uint8Array(await (await fetch(url)).arrayBuffer())), url));

async function click(page) {
  await page.mouse.move(700, 500);
  await page.mouse.down();
  await new Promise((r) => setTimeout(r, 60));
  await page.mouse.up();
}

async function drop(page, folder, names) {
  await page.evaluate(async (folder, names) => {
    const data = new DataTransfer();
    for (const [file, name] of names) data.items.add(new File([await (await fetch(folder + file)).blob()], name));
    dispatchEvent(new DragEvent('drop', { dataTransfer: data, cancelable: true }));
  }, folder, names);
}

async function test(work, base, server) {
  const capture = (sheets, out) => execFileSync(opt.capture, ['--sheets', sheets, '--out', path.join(work, out)]);
  capture(path.join(opt.web, 'sample'), 'cap');
  const SHEETS = fs.readdirSync(path.join(opt.web, 'sample'));
  // Own art: the sample with the portraits in another order and other colours.
  fs.mkdirSync(path.join(work, 'own'));
  fs.mkdirSync(path.join(work, 'partial'));
  for (const name of SHEETS) {
    const bytes = fs.readFileSync(path.join(opt.web, 'sample', name));
    if (name !== 'ports.pix') fs.writeFileSync(path.join(work, 'partial', name), bytes);
    fs.writeFileSync(path.join(work, 'own', name), name === 'ports.pix' ? bytes.reverse().map((b) => b ^ 0x55) : bytes);
  }
  capture(path.join(work, 'own'), 'owncap');
  // Served: a portrait sheet of 2.19 GB (sparse), an empty button sheet (drawn white).
  fs.cpSync(path.join(work, 'own'), path.join(work, 'served'), { recursive: true });
  fs.truncateSync(path.join(work, 'served', 'ports.pix'), 5084 * 431000);
  fs.truncateSync(path.join(work, 'served', 'button.pix'), 0);
  capture(path.join(work, 'served'), 'servedcap');
  const whole = await serve(work, '--ignore-ranges');
  const browser = await launch(work);
  try {
    const page = await browser.newPage();
    const cdp = await page.target().createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: path.join(work, 'downloads') });
    let errors = 0;
    page.on('pageerror', (e) => console.error('page error:', e.message, ++errors));
    page.on('console', (m) => /^pixshow/.test(m.text()) && console.error('page:', m.text()));
    await page.goto(base + 'index.html');
    for (let n = 1; n <= 8; ++n) {
      await until(page, (s) => s.waits === n, 'screen ' + n);
      const diff = await compare(page, base + `cap/screen-${n}.png`);
      if (diff) fail(`screen ${n}: ${diff}`);
      const told = await page.$eval('#said', (e) => [...e.children].map((p) => p.textContent).join(' | '));
      if (told !== `Screen ${n} of 8: ${CAPTIONS[n - 1].join(' | ')}`) fail(`screen ${n}: the live region says ${told}`);
      await click(page);
    }
    let s = await until(page, (s) => s.status !== null, 'the end after screen 8');
    if (s.status !== 0 || !/has ended/.test(s.note)) fail('after screen 8: ' + JSON.stringify(s));
    console.log('sample art: eight screens as pixshow-capture draws them, each named with its captions in the ' +
                'live region, ended after the last click');

    await page.click('#again');
    await until(page, (s) => s.waits === 1 && s.runs === 2, 'screen 1 played again');
    if (server.sent(/GET \/pixrecord/)) fail('the recorder was loaded before a screenshot or a GIF was asked for');
    // Space goes on, Left back, F12 downloads the screen as the capture has it (and the screen
    // is that again once the note naming the file has gone, after 4 s); F9 twice downloads a GIF
    // of it, without the recording's mark.
    const keys = [[' ', 2, 2], ['ArrowLeft', 3, 1], ['F12', 4, 1], ['F9'], ['F9', 0, 1], ['Escape']];
    for (const [key, waits, n] of keys) {
      await page.keyboard.down(key);
      await new Promise((r) => setTimeout(r, 100));
      await page.keyboard.up(key);
      if (key === 'Escape') break;
      if (!n) {
        await new Promise((r) => setTimeout(r, 500));  // recording
        continue;
      }
      s = await until(page, (s) => (key === 'F9' ? s.screenshots.length === 2 : s.waits === waits), key);
      if (key === 'F12' || key === 'F9') await new Promise((r) => setTimeout(r, 4500));
      const shot = { F12: 0, F9: 1 }[key];
      const diff = await compare(page, shot === undefined ? base + `cap/screen-${n}.png` : s.screenshots[shot].url);
      if (diff) fail(`${key}: screen ${n}: ${diff}`);
    }
    s = await until(page, (s) => s.status !== null, 'the end after Escape');
    if (s.status !== 0 || !/has ended/.test(s.note) || !/^pixshow-1-.*\.png$/.test(s.screenshots[0].name) ||
        !/^pixshow-1-.*\.gif$/.test(s.screenshots[1].name)) {
      fail('keys: ' + JSON.stringify(s));
    }
    // Where the build made the recorder, the screenshot is compressed as the native program's: the
    // capture's PNG, byte for byte.
    const recorder = !(await page.$eval('#gif', (b) => b.hidden));
    if (!recorder) {
      console.log('this build has no recorder: no GIF, screenshots uncompressed');
    } else if (!(await bytesAt(page, s.screenshots[0].url)).equals(fs.readFileSync(path.join(work, 'cap', 'screen-1.png')))) {
      fail(`F12: the screenshot (${s.screenshots[0].size} bytes) is not cap/screen-1.png`);
    }
    for (let run = 3; run <= 12; ++run) {  // each replacing the last while it waits
      await page.evaluate(() => pixshowPage.start());
      await until(page, (s) => s.waits === 1 && s.runs === run, `replay ${run}`);
    }
    if (errors) fail(`${errors} uncaught errors on the page`);
    console.log('played again: Space, Left, F12 and F9 twice as the capture draws them (the screenshot its PNG), ' +
                'Escape ends it; ten replays in a row leave no uncaught error');

    // The scale choice on a 1366 x 768 window, by the native --scale's rules; a size between
    // whole scales shows each pixel repeated to the next whole scale (then one smooth step).
    for (const [mode, ...want] of [['auto', 171, 0, 1024, 768], ['integer', 363, 144, 640, 480],
                                   ['stretch', 0, 0, 1366, 768], ['fit', 171, 0, 1024, 768], ['auto', 320, 60, 1280, 960]]) {
      await page.setViewport(want[2] === 1280 ? { width: 1920, height: 1080 } : { width: 1366, height: 768 });
      await page.select('#scale', mode);
      const got = await page.evaluate(() => {
        const view = document.getElementById('view'), r = view.getBoundingClientRect();
        const shown = view.getContext('2d').getImageData(0, 0, view.width, view.height).data;
        const picture = document.getElementById('screen').getContext('2d').getImageData(0, 0, 640, 480).data;
        const m = view.width / 640;
        let bad = 0;
        for (let i = 0; i < shown.length; i += 4) {
          const x = Math.floor((i / 4) % view.width / m), y = Math.floor(i / 4 / view.width / m);
          for (let k = 0; k < 3; ++k) bad += shown[i + k] !== picture[(y * 640 + x) * 4 + k];
        }
        return [r.x, r.y, r.width, r.height, m, bad];
      });
      if (JSON.stringify(got) !== JSON.stringify([...want, Math.ceil(Math.max(want[2] / 640, want[3] / 480)), 0])) {
        fail(`scale ${mode}: [x, y, w, h, whole scale, pixels unlike the picture] ${got}`);
      }
    }
    // The picture fills the window: the bar of the corner shows only under the mouse.
    await page.select('#scale', 'stretch');
    const opacity = () => page.$eval('#own', (e) => (document.activeElement.blur(), getComputedStyle(e).opacity));
    const hidden = await opacity();
    await page.hover('#own');
    if (hidden !== '0' || (await opacity()) !== '1') fail('the bar over a stretched picture: opacity ' + hidden);
    await page.select('#scale', 'fit');
    await page.setViewport({ width: 800, height: 600 });
    console.log('scale choices: auto fits 1366 x 768 with 1024 x 768 (1920 x 1080 twice over), integer, stretch ' +
                'and fit as natively; ' +
                'the bar over the picture shows under the mouse');

    // While it plays, a dropped sheet replaces only that one and the screen is drawn again.
    await drop(page, base + 'own/', [['ports.pix', 'ports.pix']]);
    await until(page, (s) => s.reloads === 1, 'the dropped sheet taken in');
    let d = await sameSoon(page, base + 'owncap/screen-1.png');
    if (d) fail('one sheet dropped while playing, screen 1: ' + d);
    await drop(page, base + 'own/', [['ports.pix', 'Ports.pix'], ['button.pix', 'button.pix'], ['ports.pix', 'Borders.pix']]);
    s = await until(page, (s) => /cannot be played/.test(s.note), 'a wrong sheet refused while playing');
    if (!s.note.includes('Ports.pix: not one') || s.note.includes('missing') || s.runs !== 12 || s.reloads !== 1) {
      fail('wrong sheets while playing: ' + JSON.stringify(s));
    }
    console.log('a sheet dropped while it plays replaces that one and the screen is drawn again');
    await page.keyboard.press('Escape');  // closes the note; the second leaves
    if ((await page.$eval('#note', (e) => e.style.display)) !== 'none' || (await state(page)).status !== null) {
      fail('Escape did not close the note alone');
    }
    await page.keyboard.press('Escape');
    await until(page, (s) => s.status !== null, 'the end before the drops');
    await drop(page, base + 'own/', [['ports.pix', 'Ports.pix'], ['button.pix', 'button.pix'], ['ports.pix', 'Borders.pix']]);
    s = await until(page, (s) => /cannot be played/.test(s.note), 'the wrong set refused');
    for (const line of ['Ports.pix: not one', 'Borders.pix: 101680 bytes is not', 'ports.pix: missing', 'Pieces.pix: missing']) {
      if (!s.note.includes(line)) fail(`wrong set: "${line}" not in the message: ${s.note}`);
    }
    if (s.runs !== 12 || s.note.includes('button.pix')) fail('wrong set: ' + JSON.stringify(s));
    await drop(page, base + 'own/', SHEETS.map((n) => [n, n]));
    await until(page, (s) => s.waits === 1 && s.runs === 13, 'screen 1 of the dropped sheets');
    if ((d = await compare(page, base + 'owncap/screen-1.png'))) fail('dropped sheets, screen 1: ' + d);
    console.log('dropped sheets play as pixshow-capture draws them; a wrong set is refused whole');
    // Save as GIF: pixshow-capture's GIF of the sheets on the page, byte for byte; the button says
    // so and takes no click meanwhile.
    if (recorder) {
      execFileSync(opt.capture, ['--sheets', path.join(work, 'own'), '--gif', path.join(work, 'own.gif')]);
      const making = await page.evaluate(() => {
        const button = document.getElementById('gif');
        button.click();
        return [button.disabled, button.textContent];
      });
      s = await until(page, (s) => s.gifs || /No GIF/.test(s.note), 'the GIF');
      const after = await page.$eval('#gif', (b) => [b.disabled, b.textContent]);
      if (JSON.stringify([making, after]) !== '[[true,"Making the GIF…"],[false,"Save as GIF"]]' || !s.gifs ||
          !(await bytesAt(page, s.gifs[0].url)).equals(fs.readFileSync(path.join(work, 'own.gif')))) {
        fail('Save as GIF: ' + JSON.stringify([making, after, s.gifs, s.note]));
      }
      console.log(`Save as GIF of the dropped sheets is pixshow-capture --gif's file (${s.gifs[0].size} bytes, ` +
                  `${Math.round(s.gifs[0].ms)} ms)`);
    }

    // Over 2 GiB of sheet (sparse, whole images): only what the program draws is read.
    fs.mkdirSync(path.join(work, 'huge'));
    for (const name of SHEETS) fs.copyFileSync(path.join(work, 'own', name), path.join(work, 'huge', name));
    fs.truncateSync(path.join(work, 'huge', 'ports.pix'), 5084 * 422406);
    await (await page.$('#files')).uploadFile(...SHEETS.map((n) => path.join(work, 'huge', n)));
    await until(page, (s) => s.reloads === 2, 'a 2 GiB set taken in');
    if ((d = await sameSoon(page, base + 'owncap/screen-1.png'))) fail('2 GiB set, screen 1: ' + d);
    // A slower, older choice loses to the drop after it; files not .pix are left out and named.
    await page.evaluate(() => { pixshowPage.playOwn([{ name: 'ports.pix', size: 101680, slice: () => ({
      arrayBuffer: () => new Promise((r) => setTimeout(() => r(new ArrayBuffer(101680)), 1500)) }) }]); });
    await drop(page, base + 'own/', [...SHEETS.map((n) => [n, n]), ...['.DS_Store', 'constructor', '__proto__'].map((n) => ['button.pix', n])]);
    s = await until(page, (s) => s.reloads === 3, 'the later drop taken in');
    await new Promise((r) => setTimeout(r, 2000));
    s = await state(page);
    if (s.runs !== 13 || s.reloads !== 3 || !s.note.includes('Left out (not .pix): .DS_Store, constructor, __proto__')) {
      fail('later drop: ' + JSON.stringify(s));
    }
    if ((d = await compare(page, base + 'owncap/screen-1.png'))) fail('later drop, screen 1: ' + d);
    await page.evaluate(() => pixshowPage.playOwn([{ name: 'button.pix', size: 540, slice: () => ({
      arrayBuffer: () => Promise.reject(new DOMException('gone', 'NotReadableError')) }) }]));
    await until(page, (s) => s.note.includes('button.pix: could not be read (gone)'), 'a failed read told');
    console.log('a 2 GiB set plays; the last drop wins; other files are left out; a failed read is told');

    // A folder dropped from the file manager counts as its files.
    fs.cpSync(path.join(work, 'own'), path.join(work, 'folder'), { recursive: true });
    fs.writeFileSync(path.join(work, 'folder', 'notes.txt'), 'not art');
    const data = { items: [], files: [path.join(work, 'folder')], dragOperationsMask: 1 };
    for (const type of ['dragEnter', 'dragOver', 'drop']) await cdp.send('Input.dispatchDragEvent', { type, x: 300, y: 300, data });
    s = await until(page, (s) => s.reloads === 4, 'the sheets of a dropped folder taken in');
    if (!s.note.includes('Left out (not .pix): notes.txt') || (d = await sameSoon(page, base + 'owncap/screen-1.png'))) {
      fail('dropped folder: ' + (d || s.note));
    }
    console.log('a dropped folder counts as its sheets and names what it left out');

    // Six sheets read while Escape ends the run: once it has ended they play from the start, and again.
    await page.evaluate(async (folder, names) => void pixshowPage.playOwn(await Promise.all(names.map(async (name) => {
      const bytes = await (await fetch(folder + name)).arrayBuffer();
      const later = () => new Promise((r) => {  // once the run has ended
        const t = setInterval(() => pixshowPage.state.status !== null && (clearInterval(t), r(bytes)), 20);
      });
      return { name, size: bytes.byteLength, slice: () => ({ arrayBuffer: later }) };
    }))), base + 'sample/', SHEETS);
    for (const run of [14, 15]) {
      await page.keyboard.press('Escape');
      if (run === 15) await until(page, (s) => s.status === 0, 'the end').then(() => page.click('#again'));
      s = await until(page, (s) => s.waits === 1 && s.runs === run, `run ${run} with the sheets read as it ended`);
      if ((d = await compare(page, base + 'cap/screen-1.png'))) fail(`sheets read as it ended, run ${run}: ${d}`);
    }
    // F12 ten times within a second: ten downloads, each with a name of its own.
    for (let n = 0; n < 10; ++n) {
      await page.keyboard.press('F12', { delay: 30 });
      await new Promise((r) => setTimeout(r, 30));
    }
    s = await until(page, (s) => s.screenshots.length === 12, 'ten more screenshots');
    const names = new Set(s.screenshots.map((shot) => shot.name));
    if (names.size !== 12) fail('screenshot names: ' + [...names].join(' '));
    console.log('sheets dropped right before Escape play from the start and again; F12 ten times gives ten names');

    // ?sheets= without its slash: the missing sheet is waited for, then "Load Failure" names it and why.
    await page.goto(base + 'index.html?sheets=partial');
    s = await until(page, (s) => s.status !== null, 'the load failure');
    const white = await page.evaluate(() => {
      const d = document.getElementById('screen').getContext('2d').getImageData(30, 430, 100, 16).data;
      return d.filter((v, i) => i % 4 === 0 && v === 255 && d[i + 1] === 255 && d[i + 2] === 255).length;
    });
    const why = '"ports.pix" could not be opened (partial/ports.pix: HTTP 404';
    if (s.status !== 1 || !s.note.includes(why) || white < 50) {
      fail('missing sheet: ' + JSON.stringify(s));
    }
    if ((await page.$eval('#scale', (e) => e.value)) !== 'fit') fail('the scale choice was not remembered');
    // Played again, a sheet dropped while the program waits for it is drawn at once (the wait may
    // begin a millisecond into its 2 s).
    await page.click('#again');
    await until(page, (s) => s.pause && s.pause[0] > 1900 && s.pause[0] <= 2000, 'the missing sheet waited for');
    await drop(page, base + 'own/', [['ports.pix', 'ports.pix']]);
    await until(page, (s) => s.waits === 1, 'played with the sheet dropped while it was waited for');
    if ((d = await compare(page, base + 'owncap/screen-1.png'))) fail('the sheet dropped while waited for: ' + d);
    console.log('a missing sheet: waited for, then "Load Failure" shown, the page names ports.pix and why; the ' +
                'scale choice remembered; a sheet dropped while it is waited for plays at once');

    // A 2.19 GB sheet served, with ranges and by a server that ignores them: only the start is fetched.
    for (const [at, most] of [[server, 300000], [whole, 64 << 20]]) {
      await page.goto(at.base + 'index.html?sheets=served/');
      s = await until(page, (s) => s.waits === 1 || s.status !== null, 'screen 1 of a 2.19 GB sheet');
      if ((d = await compare(page, at.base + 'servedcap/screen-1.png'))) fail('a 2.19 GB sheet, screen 1: ' + d);
      await until(page, () => at.sent(/GET \/served\/ports/) > 0, 'the sheet read');
      const sent = at.sent(/GET \/served\//);
      if (sent > most) fail(`a 2.19 GB sheet: ${sent} bytes sent, more than ${most}`);
      console.log(`a 2.19 GB sheet and an empty one served ${at === whole ? 'without' : 'with'} ranges: ` +
                  `screen 1 as the capture draws it after ${Math.round(s.firstScreenMs)} ms, ${sent} bytes sent`);
    }
    whole.close();  // and then nothing answers there
    await new Promise((r) => setTimeout(r, 500));
    await page.goto(base + 'index.html?sheets=' + whole.base);
    s = await until(page, (s) => s.status !== null, 'the end without a server');
    if (!s.note.includes(`(${whole.base}ports.pix: network error`)) fail('no server: ' + s.note);
    if (!(await page.$eval('#gif', (b) => b.hidden))) {
      await page.click('#gif');
      s = await until(page, (s) => /No GIF/.test(s.note), 'no GIF without sheets');
      if (!/^No GIF: the sheet "\w+\.pix" could not be opened \(.+\)\.(\n|$)/.test(s.note)) fail('no GIF: ' + s.note);
    }
    console.log('no server for the sheets: the page says it was a network error, and why there is no GIF');
    await forEveryone(browser, base);
  } finally {
    await browser.close();
    whole.close();
  }
}

// Violations axe-core finds on the page, one line each ('' for none).
async function axe(page, when) {
  if (!(await page.evaluate(() => !!window.axe))) await page.addScriptTag({ path: require.resolve('axe-core/axe.min.js') });
  const found = await page.evaluate(async () => (await window.axe.run()).violations.map((v) =>
    `${v.id} (${v.nodes.map((n) => n.target.join(' ')).join(', ')})`));
  if (found.length) fail(`axe-core ${when}: ${found.join('; ')}`);
}

// Phones, touch, keyboards, screen readers and gamepads: the page at five sizes, turned, each control on
// screen and big enough to press, axe-core in every state, swipes, Tab, the notes, a bare ?loop and a pad.
async function forEveryone(browser, base) {
  const page = await browser.newPage();
  // The pad of the test: navigator.getGamepads answers with window.pad once it is set; frames are counted.
  await page.evaluateOnNewDocument(() => {
    navigator.getGamepads = () => [window.pad || null];
    const ask = window.requestAnimationFrame.bind(window);
    window.rafs = 0;
    window.requestAnimationFrame = (f) => ask(f, ++window.rafs);
  });
  const soon = async (test, what, now = async () => '') => {
    for (const end = Date.now() + 10000; Date.now() < end; await new Promise((r) => setTimeout(r, 50))) {
      if (await test()) return;
    }
    fail(`timed out waiting for ${what}: ${await now()}`);
  };
  const told = () => page.$eval('#said', (e) => [...e.children].map((p) => p.textContent));
  // Does `action` and waits for screen n told whole in the live region: its wait has begun.
  const step = async (action, n) => {
    await action();
    const want = [`Screen ${n} of 8: ${CAPTIONS[n - 1][0]}`, ...CAPTIONS[n - 1].slice(1)].join(' | ');
    await soon(async () => (await told()).join(' | ') === want, `screen ${n} told`, told);
  };
  await page.setViewport({ width: 390, height: 844, isMobile: true, hasTouch: true, deviceScaleFactor: 3 });
  await step(() => page.goto(base + 'index.html'), 1);
  await axe(page, 'at the start');
  for (const [width, height, touch] of [[390, 844, 1], [844, 390, 1], [390, 844, 1], [844, 390, 0], [1366, 768, 0],
                                        [1920, 1080, 0]]) {
    await page.setViewport({ width, height, isMobile: !!touch, hasTouch: !!touch, deviceScaleFactor: touch ? 3 : 1 });
    await new Promise((r) => setTimeout(r, 200));
    const bad = await page.evaluate((touch) => {
      const inside = (r) => r.left >= 0 && r.top >= 0 && r.right <= innerWidth + 0.5 && r.bottom <= innerHeight + 0.5;
      const picture = document.getElementById('view').getBoundingClientRect();
      const out = [];
      if (document.documentElement.scrollWidth > innerWidth) out.push('page wider than the window');
      if (!inside(picture) || Math.max(picture.width / innerWidth, picture.height / innerHeight) < 0.6) out.push('picture');
      for (const c of document.querySelectorAll('#own button:not([hidden]), #own select')) {
        const r = c.getBoundingClientRect(), least = touch ? 44 : 24;
        if (!inside(r) || r.width < least || r.height < least) out.push(`${c.id} ${r.width} x ${r.height}`);
        if (touch && r.top < picture.bottom && r.bottom > picture.top && r.left < picture.right) out.push(c.id + ' on it');
      }
      if (touch && getComputedStyle(document.getElementById('own')).opacity !== '1') out.push('the bar hidden');
      return out.join(', ');
    }, touch);
    if (bad) fail(`${width} x ${height}${touch ? ' (touch)' : ''}: ${bad}`);
  }
  console.log('390 x 844 (touch, turned and back), 844 x 390, 1366 x 768, 1920 x 1080: the picture fits, every ' +
              'control inside the window and big enough, on a touch screen shown beside the picture');

  // Touch: a swipe to the left goes on, to the right back; a tap presses NEXT. (Puppeteer loads the page
  // again when touch comes or goes.)
  await step(() => page.setViewport({ width: 390, height: 844, isMobile: true, hasTouch: true, deviceScaleFactor: 3 }), 1);
  for (const [from, to, n] of [[300, 80, 2], [80, 300, 1], [200, 200, 2]]) {
    await step(async () => {
      await page.touchscreen.touchStart(from, 350);
      await page.touchscreen.touchMove((from + to) / 2, 352);
      await page.touchscreen.touchMove(to, 355);
      await page.touchscreen.touchEnd();
    }, n);
  }
  console.log('touch: a swipe to the left goes on, to the right back, a tap goes on');

  // Keyboard: Tab goes through the bar in order with a visible focus; the presentation's keys still work there,
  // but Space presses the button; the help opens and closes with Escape.
  await step(() => page.setViewport({ width: 1366, height: 768 }), 1);
  await page.select('#scale', 'stretch');
  const controls = await page.$$eval('#own button:not([hidden]), #own select', (all) => all.map((c) => c.id));
  for (const id of controls) {
    await page.keyboard.press('Tab');
    const [at, outline, bar] = await page.evaluate(() => [document.activeElement.id,
      getComputedStyle(document.activeElement).outlineStyle, getComputedStyle(document.getElementById('own')).opacity]);
    if (at !== id || outline === 'none' || bar !== '1') fail(`Tab: ${at} (not ${id}), outline ${outline}, bar ${bar}`);
  }
  await axe(page, 'with the corner bar open');
  await step(() => page.keyboard.press('ArrowRight'), 2);
  const waits = (await state(page)).waits;
  await page.keyboard.press(' ');
  await page.waitForSelector('#help:not([hidden])');
  await axe(page, 'with the help open');
  await page.keyboard.press('Escape');
  await new Promise((r) => setTimeout(r, 300));
  if ((await state(page)).waits !== waits || (await state(page)).status !== null) fail('Space or Escape went on');
  for (const [key, n] of [['7', 7], ['Home', 1]]) await step(() => page.keyboard.press(key), n);
  await page.keyboard.press('F1');
  await soon(() => page.$eval('#view', (e) => e.getAttribute('aria-label').includes('F1 or ?')), 'the keys on F1');
  if (await page.$eval('#help', (e) => !e.hidden)) fail('Escape did not close the help');
  console.log(`keyboard: Tab through ${controls.join(', ')} with a visible focus; Right on a focused button goes on, ` +
              'Space presses it; Escape closes the help; 7, Home and F1 reach the program');

  // A gamepad, read only while it is connected: A goes on, B back; without one no frame is asked for.
  const frames = () => page.evaluate(() => window.rafs);
  if (await frames()) fail('frames asked for without a pad');
  const pad = (pressed) => page.evaluate((pressed) => {
    window.pad = { connected: true, buttons: Array.from({ length: 17 }, (_, i) => ({ pressed: i === pressed })) };
  }, pressed);
  await pad(-1);
  await page.evaluate(() => dispatchEvent(new Event('gamepadconnected')));
  for (const [button, n] of [[0, 2], [1, 1]]) {
    await step(async () => {
      await pad(button);
      await new Promise((r) => setTimeout(r, 100));
      await pad(-1);
    }, n);
  }
  await page.evaluate(() => { window.pad = null; dispatchEvent(new Event('gamepaddisconnected')); });
  const before = await frames();
  await new Promise((r) => setTimeout(r, 300));
  if (before === 0 || (await frames()) !== before) fail(`pad frames: ${before}, then ${await frames()}`);
  console.log('a gamepad: A goes on, B back, read only while one is connected');

  // The notes: the program's reason for a bad address, closed with the button or Escape; a drop of no sheet.
  for (const [query, reason, close] of [['screen=9', "?screen takes a screen from 1 to 8, not '9'", '#note-close'],
                                        ['delay=abc', "?delay takes seconds above 0, up to a day, not 'abc'", 'Escape']]) {
    await page.goto(base + 'index.html?' + query);
    const s = await until(page, (s) => s.status !== null, query);
    if (!s.note.includes(reason)) fail(`?${query}: ${s.note}`);
    await axe(page, 'in a note');
    if (close === 'Escape') await page.keyboard.press('Escape'); else await page.click(close);
    if ((await page.$eval('#note', (e) => e.style.display)) !== 'none') fail(`?${query}: the note stays`);
  }
  // A bare ?loop: on from the last screen to the first.
  await step(() => page.goto(base + 'index.html?screen=8&loop'), 8);
  await axe(page, 'while waiting');
  await step(() => click(page), 1);
  await drop(page, base + 'sample/', [['button.pix', 'notes.txt']]);
  const s = await until(page, (s) => /Nothing was drawn again/.test(s.note), 'no sheet dropped');
  if (s.reloads !== 0 || !s.note.includes('notes.txt')) fail('no sheet dropped: ' + JSON.stringify(s));
  console.log('notes: the reason for ?screen=9 and ?delay=abc, closed by the button or Escape; a bare ?loop ' +
              'loops; a drop without sheets says nothing was drawn again; axe-core finds nothing in each state');
  await page.close();
}

// Serves the page files and the sample art from a fresh work folder and runs `what` on them.
function start(what) {
  (async () => {
    const work = path.resolve(opt.work || fail('--work is required'));
    fs.rmSync(work, { recursive: true, force: true });
    fs.mkdirSync(work, { recursive: true });
    for (const f of [...PAGE_FILES, ...STUDIO_FILES, ...RECORDER_FILES, 'sample']) fs.symlinkSync(path.resolve(opt.web, f), path.join(work, f));
    const server = await serve(work);
    try {
      await what(work, server.base, server);
    } finally {
      server.close();
    }
  })().catch((e) => {
    console.error(path.basename(process.argv[1]) + ': ' + e.message);
    process.exit(1);
  });
}

module.exports = { opt, launch, until, start, sameSoon, PAGE_FILES, STUDIO_FILES, RECORDER_FILES };
if (require.main === module) start(test);
