#!/usr/bin/env node
// The page's studio in headless Chromium against the native tools: export and
// import byte for byte as pixsheet writes them, its messages for bad input, the
// check, the picture after an import as pixshow-capture draws it, undo, the work
// kept across a reload, the page's weight and the time from a drop to the picture.
//
//   node studio_e2e.js --web DIR --capture PIXSHOW_CAPTURE --pixsheet PIXSHEET --work DIR [--chromium PATH]
'use strict';
const fs = require('fs');
const path = require('path');
const { execFileSync, spawnSync } = require('child_process');
const { opt, launch, until, start, sameSoon, PAGE_FILES, STUDIO_FILES } = require('./web_e2e.js');

const fail = (message) => { throw new Error(message); };
const b64 = (bytes) => Buffer.from(bytes).toString('base64');

// A PNG of the chunks given, each [type, data].
function png(chunks) {
  const table = Array.from({ length: 256 }, (_, n) => {
    for (let k = 0; k < 8; ++k) n = n & 1 ? 0xedb88320 ^ (n >>> 1) : n >>> 1;
    return n >>> 0;
  });
  const crc = (b) => (b.reduce((c, v) => table[(c ^ v) & 255] ^ (c >>> 8), 0xffffffff) ^ 0xffffffff) >>> 0;
  const parts = [Buffer.from('89504e470d0a1a0a', 'hex')];
  for (const [type, data] of chunks) {
    const body = Buffer.concat([Buffer.from(type), data]), n = Buffer.alloc(4), c = Buffer.alloc(4);
    n.writeUInt32BE(data.length);
    c.writeUInt32BE(crc(body));
    parts.push(n, body, c);
  }
  return Buffer.concat(parts);
}

async function test(work, base) {
  const sample = path.join(opt.web, 'sample');
  const pixsheet = (cwd, ...args) => spawnSync(opt.pixsheet, args, { cwd, encoding: 'utf8' });
  const copy = (to) => fs.cpSync(sample, path.join(work, to), { recursive: true, dereference: true });
  copy('native');
  const native = path.join(work, 'native');
  // The inputs: exported images, one painted in RGB off the palette, and bad ones.
  const inputs = path.join(work, 'in');
  fs.mkdirSync(inputs);
  for (const [sheet, k] of [['ports.pix', 3], ['button.pix', 0]]) {
    pixsheet(inputs, 'export', path.join(sample, sheet), '--image', String(k), '-o', sheet.replace('.pix', `-${k}.png`));
  }
  pixsheet(inputs, 'export', path.join(sample, 'button.pix'), '--labels', '-o', 'button-numbered.png');
  execFileSync('convert', [path.join(inputs, 'ports-3.png'), '-modulate', '103,90', 'PNG24:' + path.join(inputs, 'painted.png')]);
  const ihdr = Buffer.alloc(13);
  ihdr.writeUInt32BE(20000, 0), ihdr.writeUInt32BE(20000, 4), ihdr.set([8, 0, 0, 0, 0], 8);
  fs.writeFileSync(path.join(inputs, 'huge-0.png'), png([['IHDR', ihdr], ['IDAT', Buffer.alloc(16)], ['IEND', Buffer.alloc(0)]]));
  fs.writeFileSync(path.join(inputs, 'cut.png'), fs.readFileSync(path.join(inputs, 'ports-3.png')).subarray(0, 300));
  fs.writeFileSync(path.join(inputs, 'notes.png'), 'not a picture\n');

  const browser = await launch(work);
  try {
    const page = await browser.newPage();
    let errors = 0;
    page.on('pageerror', (e) => console.error('page error:', e.message, ++errors));
    await page.setViewport({ width: 1200, height: 700 });
    await page.goto(base + 'index.html?studio');
    await until(page, (s) => s.waits === 1, 'screen 1 with the studio open');
    const [view, side] = await page.evaluate(() => ['view', 'studio'].map((id) => document.getElementById(id).getBoundingClientRect().toJSON()));
    if (view.right > side.left || view.width !== 1200 - side.width || view.height !== 615) fail(`layout: ${JSON.stringify([view, side])}`);
    console.log(`the studio opens beside the picture (${side.width} px), which keeps its scale rules in the rest`);

    // Pointing, on every screen: the hold on show is found (its picture made from what draws each pixel and
    // the sheets is exactly the picture shown, the cursor aside), and the images are where the guide has them.
    const guide = fs.readFileSync(path.join(__dirname, '../../../docs/artists.md'), 'utf8');
    const placed = [...guide.matchAll(/^\| (\d+) \| (\d+) \| \((\d+), (\d+)\) \| (?:"([^"]*)"|\(none\))/gm)]
      .map(([, image, screen, x, y, caption]) => ({ image: +image, screen: +screen, x: +x, y: +y, caption }));
    let pointed = 0;
    for (let n = 1; n <= 8; ++n) {
      await until(page, (s) => s.waits === n, 'screen ' + n);
      const want = placed.filter((p) => p.screen === n);
      const got = await page.evaluate(async (want) => {
        const answers = [];
        for (const p of want) answers.push(await pixshowPage.studio.inspect(p.x + 12, p.y + 3));
        let own = 0;
        for (let y = 0; y < 480; y += 16) own += (await pixshowPage.studio.inspect(321, y)) === null;
        return { answers, own, hold: pixshowPage.studio.hold() };
      }, want);
      if (got.hold.wrong || !got.own) fail(`screen ${n}: ${JSON.stringify(got.hold)}, ${got.own} own pixels`);
      want.forEach((p, i) => {
        const a = got.answers[i];
        if (!a || a.image !== p.image || a.x !== 12 || a.y !== 3 || (a.caption || undefined) !== p.caption) {
          fail(`screen ${n}: (${p.x + 12}, ${p.y + 3}) is ${JSON.stringify(a)}, not image ${p.image} "${p.caption}"`);
        }
      });
      pointed += want.length;
      await page.mouse.click(700, 500);
    }
    console.log('pointing: on all eight screens the picture made from what draws each pixel is the picture shown ' +
                `(the cursor aside); ${pointed} images where the guide has them`);
    await page.evaluate(() => pixshowPage.start());
    await until(page, (s) => s.waits === 1 && s.runs === 2, 'screen 1 again');

    // Export: the very bytes of pixsheet export --image K and --labels.
    const studio = (what, ...args) => page.evaluate(async (what, args) => {
      const out = await pixshowPage.studio[what](...args.map((a) => (a && a.b64 ? Uint8Array.from(atob(a.b64), (c) => c.charCodeAt(0)) : a)));
      return out instanceof Uint8Array ? { b64: btoa(String.fromCharCode(...out)) } : out;
    }, what, args);
    const bytes = (answer) => Buffer.from(answer.b64, 'base64');
    for (const [sheet, k] of [['ports.pix', 0], ['ports.pix', 7], ['WarTiles.pix', 35], ['Borders.pix', 1], ['button.pix', 0], ['Divadude.pix', 5]]) {
      const want = path.join(work, 'want.png');
      pixsheet(sample, 'export', sheet, '--image', String(k), '-o', want, '--force');
      if (!bytes(await studio('exportImage', sheet, k)).equals(fs.readFileSync(want))) fail(`export ${sheet} ${k} differs`);
    }
    pixsheet(sample, 'export', 'Pieces.pix', '--labels', '-o', path.join(work, 'want.png'), '--force');
    if (!bytes(await studio('exportPreview', 'Pieces.pix')).equals(fs.readFileSync(path.join(work, 'want.png')))) fail('export --labels differs');
    console.log('export: images and the numbered preview as pixsheet export writes them');

    // Import: the same sheet bytes, the same messages; a refusal leaves the sheet as it was.
    const cases = [  // [file, sheet, image, strict, accepted]
      ['painted.png', 'ports.pix', 0, false, true],
      ['painted.png', 'ports.pix', 1, true, false],
      ['ports-3.png', 'ports.pix', 2, true, true],
      ['ports-3.png', 'button.pix', 0, false, false],
      ['button-numbered.png', 'button.pix', 0, false, false],
      ['huge-0.png', 'ports.pix', 0, false, false],
      ['cut.png', 'ports.pix', 0, false, false],
      ['notes.png', 'ports.pix', 0, false, false],
      ['button-0.png', 'button.pix', 999, false, false],
      ['button-0.png', 'button.pix', 2 ** 31, false, false],
    ];
    for (const [file, sheet, k, strict, accepted] of cases) {
      fs.copyFileSync(path.join(inputs, file), path.join(native, file));
      const cli = pixsheet(native, 'import', file, '-o', sheet, '--image', String(k), ...(strict ? ['--strict'] : []));
      fs.rmSync(path.join(native, file));
      const before = await studio('sheet', sheet);
      const got = await studio('importImage', sheet, k, { b64: b64(fs.readFileSync(path.join(inputs, file))) }, { strict, name: file });
      const want = (cli.stdout || cli.stderr.replace(/^pixsheet: /, '')).trim();
      if (got.ok !== accepted || got.message !== want || (cli.status === 0) !== accepted) {
        fail(`import ${file} into ${sheet} ${k}: ${JSON.stringify(got)}, not ${want}`);
      }
      const after = bytes(await studio('sheet', sheet));
      if (!after.equals(fs.readFileSync(path.join(native, sheet))) || (!accepted && !after.equals(bytes(before)))) {
        fail(`import ${file} into ${sheet} ${k}: the sheet is not what pixsheet writes`);
      }
    }
    console.log(`import: ${cases.length} cases (RGB off the palette, --strict, wrong size, numbered preview, ` +
                '20000 x 20000, truncated, not a PNG, no such image, a number too large) as pixsheet import answers them');

    // The check, and the picture drawn again as pixshow-capture draws the edited sheets.
    const check = pixsheet(native, 'check').stdout.trim();
    if ((await studio('check')).trim() !== check) fail('check: ' + (await studio('check')));
    execFileSync(opt.capture, ['--sheets', native, '--out', path.join(work, 'editcap')]);
    let d = await sameSoon(page, base + 'editcap/screen-1.png');
    if (d) fail('screen 1 after the imports: ' + d);
    console.log('the check is pixsheet check\'s; screen 1 is drawn again as pixshow-capture draws the edited sheets');

    // Drop a painted image on the picture: back into the image its name gives.
    const times = [];
    for (let n = 0; n < 5; ++n) {
      await page.evaluate(async (b) => {
        const data = new DataTransfer();
        data.items.add(new File([Uint8Array.from(atob(b), (c) => c.charCodeAt(0))], 'ports-3.png'));
        document.getElementById('view').dispatchEvent(new DragEvent('drop', { dataTransfer: data, cancelable: true, bubbles: true }));
      }, b64(fs.readFileSync(path.join(inputs, 'ports-3.png'))));
      const s = await until(page, (s) => s.redrawMs !== null, 'the picture after a drop');
      times.push(s.redrawMs);
      await page.evaluate(() => { pixshowPage.state.redrawMs = null; });
    }
    // Another name waits for the artist to say where; then it goes to the image chosen in the panel.
    await studio('check');  // once the drops above are done
    await page.evaluate(async (b) => {
      const data = new DataTransfer();
      data.items.add(new File([Uint8Array.from(atob(b), (c) => c.charCodeAt(0))], 'mine.png'));
      dispatchEvent(new DragEvent('drop', { dataTransfer: data, cancelable: true }));
    }, b64(fs.readFileSync(path.join(inputs, 'painted.png'))));
    await page.waitForFunction(() => /"mine.png" does not name its image/.test(document.getElementById('studio-message').textContent));
    await page.select('#studio-sheet', 'ports.pix');
    await page.$eval('#studio-image', (e) => { e.value = '5'; });
    await page.click('#studio-message button');
    await page.waitForFunction(() => /^wrote 1 image over image 5 of "ports.pix"/.test(document.getElementById('studio-message').textContent));
    // Chosen in the panel, twice: the same file, painted again, is taken again.
    for (let n = 0; n < 2; ++n) {
      await page.$eval('#studio-message', (e) => { e.textContent = ''; });
      const [chooser] = await Promise.all([page.waitForFileChooser(), page.click('#studio-choose')]);
      await chooser.accept([path.join(inputs, 'ports-3.png')]);
      await page.waitForFunction(() => /^wrote 1 image over image 3 of/.test(document.getElementById('studio-message').textContent));
    }
    const worst = Math.max(...times), median = times.sort((a, b) => a - b)[2];
    if (median > 100) fail(`drop to picture: ${times} ms`);  // the median, for a machine busy with builds
    console.log(`a dropped PNG goes back to its image, drop to picture ${Math.round(median)} ms ` +
                `(${Math.round(worst)} ms at most); ` +
                'another name goes where the artist says; the same file can be chosen again');

    // Undo, as often as there were changes: the sample again, on screen too.
    for (let n = 0; n < 10; ++n) if (!(await studio('undo')).ok) fail('undo ' + n);
    if ((await studio('undo')).ok) fail('undo with nothing to undo');
    for (const sheet of ['ports.pix', 'button.pix']) {
      if (!bytes(await studio('sheet', sheet)).equals(fs.readFileSync(path.join(sample, sheet)))) fail('undo: ' + sheet);
    }
    if ((d = await sameSoon(page, base + 'cap/screen-1.png'))) fail('screen 1 after undo: ' + d);
    console.log('undo takes every change back, the picture too');

    // Download all: the six in a zip; storage refused: said, nothing lost; a tall window: the panel below.
    const cdp = await page.target().createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: path.join(work, 'downloads') });
    await page.evaluate(() => { indexedDB.open = () => { throw new DOMException('refused here', 'SecurityError'); }; });
    // (a PNG named as a sheet never lands on that sheet)
    const png3 = { b64: b64(fs.readFileSync(path.join(inputs, 'ports-3.png'))) };
    const refused = await studio('importImage', 'ports.pix', 0, png3, { name: 'button.pix' });
    if (!bytes(await studio('sheet', 'button.pix')).equals(fs.readFileSync(path.join(sample, 'button.pix')))) fail('named as a sheet');
    const told = await page.$eval('#studio-message', (e) => e.textContent);
    if (!refused.ok || !told.includes('could not be kept in this browser (refused here)')) fail('storage refused: ' + told);
    await page.evaluate(() => delete indexedDB.open);
    await page.click('#studio-all');
    const zip = path.join(work, 'downloads', 'pixshow-sheets.zip');
    await until(page, () => fs.existsSync(zip), 'the zip downloaded');
    const listed = execFileSync('python3', ['-c', 'import sys, zipfile, hashlib; z = zipfile.ZipFile(sys.argv[1]); z.testzip(); ' +
      '[print(i.filename, hashlib.sha1(z.read(i)).hexdigest()) for i in z.infolist()]', zip], { encoding: 'utf8' });
    const sha = (b) => require('crypto').createHash('sha1').update(b).digest('hex');
    let wantZip = '';
    for (const n of ['ports.pix', 'button.pix', 'Divadude.pix', 'WarTiles.pix', 'Pieces.pix', 'Borders.pix']) {
      wantZip += `${n} ${sha(bytes(await studio('sheet', n)))}\n`;
    }
    if (sha(bytes(await studio('sheet', 'ports.pix'))) === sha(fs.readFileSync(path.join(sample, 'ports.pix')))) fail('no change');
    if (listed !== wantZip) fail('the zip holds ' + listed);
    await page.setViewport({ width: 600, height: 900 });
    await new Promise((r) => setTimeout(r, 300));  // the resize handled
    const [tallView, tallSide] = await page.evaluate(() => ['view', 'studio'].map((id) => document.getElementById(id).getBoundingClientRect().toJSON()));
    if (tallView.bottom > tallSide.top || tallSide.width !== 600) fail(`tall layout: ${JSON.stringify([tallView, tallSide])}`);
    console.log('download all gives the six zipped; storage refused is said and nothing is lost; a tall window has the panel below');

    // A reload keeps the work: offered again, taken back.
    await studio('undo');
    await page.setViewport({ width: 1200, height: 700 });
    await studio('importImage', 'ports.pix', 0, { b64: b64(fs.readFileSync(path.join(inputs, 'painted.png'))) }, {});
    await until(page, (s) => s.kept === 1, 'the change kept');
    const asked = [];
    page.on('dialog', (dialog) => asked.push(dialog.type()) && dialog.accept());
    await page.goto(base + 'index.html');
    if (asked.join() !== 'beforeunload') fail('leaving with a change not downloaded: ' + asked);
    await page.waitForFunction(() => document.getElementById('studio-open').textContent === 'Studio (work kept)');
    await page.evaluate(() => document.getElementById('studio-open').click());
    await until(page, (s) => s.offered && s.offered.includes('ports.pix'), 'the kept work offered');
    await studio('restore');
    const kept = bytes(await studio('sheet', 'ports.pix'));
    fs.copyFileSync(path.join(sample, 'ports.pix'), path.join(work, 'ports.pix'));
    fs.copyFileSync(path.join(inputs, 'painted.png'), path.join(work, 'painted.png'));
    pixsheet(work, 'import', 'painted.png', '-o', 'ports.pix', '--image', '0');
    if (!kept.equals(fs.readFileSync(path.join(work, 'ports.pix')))) fail('the work after a reload');
    await studio('undo');  // its history came back too
    if (!bytes(await studio('sheet', 'ports.pix')).equals(fs.readFileSync(path.join(sample, 'ports.pix')))) fail('undo after a reload');
    await studio('discard');
    await until(page, (s) => s.kept === 0, 'the work discarded');
    if (errors) fail(`${errors} uncaught errors on the page`);
    console.log('leaving asks first; a reload keeps the work and its undo and offers them back; discard forgets them');

    // A served set and a set dropped while it plays: the studio works on the sheets on show, read whole.
    copy('own');
    const own = path.join(work, 'own', 'ports.pix');
    fs.writeFileSync(own, fs.readFileSync(own).reverse());
    await page.goto(base + 'index.html?sheets=own&studio');
    await until(page, (s) => s.waits === 1, 'screen 1 of the served set');
    if (!bytes(await studio('sheet', 'ports.pix')).equals(fs.readFileSync(own))) fail('the served set in the studio');
    await page.evaluate(async (folder, names) => {
      const data = new DataTransfer();
      for (const n of names) data.items.add(new File([await (await fetch(folder + n)).blob()], n));
      dispatchEvent(new DragEvent('drop', { dataTransfer: data, cancelable: true }));
    }, base + 'sample/', fs.readdirSync(sample));
    await until(page, (s) => s.reloads === 1, 'the dropped set taken in');
    if (!bytes(await studio('sheet', 'ports.pix')).equals(fs.readFileSync(path.join(sample, 'ports.pix')))) {
      fail('the dropped set in the studio');
    }
    console.log('a served set and a set dropped while it plays are the studio\'s sheets');

    // Pointing against the native program: over sheets coded pixel by pixel (one coordinate a set: sheet twice,
    // to tell the program's own pixels, image, x, y), pixshow-capture's screens say what drew each pixel.
    const dims = [...fs.readFileSync(path.join(__dirname, '../../../raster/sheets.h'), 'utf8')
      .matchAll(/\{"([^"]+)", (\d+), (\d+), (\d+)\}/g)].map(([, name, w, h, n]) => [name, +w, +h, +n]);
    const codes = { a: (s) => s + 1, b: (s) => s + 101, i: (s, i) => i + 1, x: (s, i, x) => x + 1, y: (s, i, x, y) => y + 1 };
    const truth = {};
    for (const [code, value] of Object.entries(codes)) {
      const dir = path.join(work, 'coded-' + code);
      fs.mkdirSync(dir);
      dims.forEach(([name, w, h, n], sheet) => {
        const b = Buffer.alloc(w * h * n);
        for (let i = 0, at = 0; i < n; ++i) for (let y = 0; y < h; ++y) for (let x = 0; x < w; ++x) b[at++] = value(sheet, i, x, y);
        fs.writeFileSync(path.join(dir, name), b);
      });
      execFileSync(opt.capture, ['--sheets', dir, '--out', dir + '/cap']);
      truth[code] = [null];
      for (let n = 1; n <= 8; ++n) {  // the screen's palette indices, through pixsheet
        const raw = pixsheet(dir + '/cap', 'import', `screen-${n}.png`, '-o', `${n}.raw`, '--size', '640x480', '--replace');
        if (raw.status !== 0) fail(raw.stderr);
        truth[code].push(fs.readFileSync(path.join(dir, 'cap', `${n}.raw`)));
      }
    }
    await page.goto(base + 'index.html?sheets=coded-a&studio');
    let art = 0;
    for (let n = 1; n <= 8; ++n) {
      await until(page, (s) => s.waits === n, 'coded screen ' + n);
      const points = [];
      for (let y = 1; y < 480; y += 7) for (let x = 2; x < 640; x += 5) points.push([x, y]);
      const answers = await page.evaluate((points) => Promise.all(points.map(([x, y]) => pixshowPage.studio.inspect(x, y))), points);
      points.forEach(([x, y], k) => {
        const p = y * 640 + x, [a, b, i, px, py] = ['a', 'b', 'i', 'x', 'y'].map((c) => truth[c][n][p]);
        const want = a === b ? null : { sheet: dims[a - 1][0], image: i - 1, x: px - 1, y: py - 1, index: a };
        const got = answers[k] && { sheet: answers[k].sheet, image: answers[k].image, x: answers[k].x, y: answers[k].y, index: answers[k].index };
        if (JSON.stringify(got) !== JSON.stringify(want)) fail(`coded screen ${n} (${x}, ${y}): ${JSON.stringify(got)}, not ${JSON.stringify(want)}`);
        art += !!want;
      });
      await page.mouse.click(700, 500);
    }
    console.log(`pointing tells what drew ${art} pixels of art (and the program's own) as pixshow-capture draws coded sheets`);

    const weight = [...PAGE_FILES, ...STUDIO_FILES].reduce((n, f) => n + fs.statSync(path.join(opt.web, f)).size, 0);
    if (weight > 1.5e6) fail(`the page weighs ${weight} bytes`);
    console.log(`the page with the studio weighs ${(weight / 1e6).toFixed(2)} MB`);
  } finally {
    await browser.close();
  }
}

start((work, base) => {
  execFileSync(opt.capture, ['--sheets', path.join(opt.web, 'sample'), '--out', path.join(work, 'cap')]);
  return test(work, base);
});
