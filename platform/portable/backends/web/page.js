// The pixshow page: plays the presentation (pixshow.js and pixshow.wasm, the
// program built with Emscripten) on the canvas, with the sample art from
// sample/ (or ?sheets=FOLDER) or with six sheets the visitor drops or chooses;
// and the studio beside it (?studio opens it), where artists take images out of
// the sheets and put painted ones back with pixsheet's own code (pixstudio.js
// and pixstudio.wasm, tools/studio, loaded when the studio first opens).
'use strict';

const pixshowPage = (() => {
  // Every sheet the program reads: [image width, image height, images the
  // presentation draws] (filled in by the build from the program's own table).
  const SHEETS = new Map(Object.entries(JSON.parse('@PIXSHOW_SHEET_JSON@')));
  // Whether the build made the studio (libpng's and zlib's sources were there).
  const STUDIO = '@PIXSHOW_WEB_STUDIO@' === 'ON';
  // The keys the program reads, by the page's key names: the virtual-key codes.
  const KEYS = {
    Escape: 0x1b, ' ': 0x20, Enter: 0x0d, ArrowRight: 0x27, PageDown: 0x22, ArrowLeft: 0x25, PageUp: 0x21,
    Backspace: 0x08, Home: 0x24, F12: 0x7b, PrintScreen: 0x2c, F9: 0x78, F1: 0x70, '?': 0xbf, '/': 0xbf, p: 0x50,
    P: 0x50, ArrowUp: 0x26, ArrowDown: 0x28, 1: 0x31, 2: 0x32, 3: 0x33, 4: 0x34, 5: 0x35, 6: 0x36, 7: 0x37, 8: 0x38,
  };
  // ?screen=N&delay=SECONDS&loop: the program's --screen, --delay and --loop (?loop=0: no loop).
  const query = new URLSearchParams(location.search);
  const options = [];
  if (query.get('screen')) options.push('--screen', query.get('screen'));
  if (query.get('delay')) options.push('--delay', query.get('delay'));
  if (query.has('loop') && query.get('loop') !== '0') options.push('--loop');
  const SHOTS = '/screenshots';
  // The program's 640 x 480 picture, and the canvas that shows it scaled.
  const canvas = document.getElementById('screen');
  const context = canvas.getContext('2d');
  const view = document.getElementById('view');
  const sight = view.getContext('2d');
  // The scale choice, remembered by the browser.
  const scale = document.getElementById('scale');
  const SCALES = ['auto', 'integer', 'fit', 'stretch'];
  try {
    const kept = localStorage.getItem('pixshow.scale');
    if (SCALES.includes(kept)) scale.value = kept;
  } catch (e) { /* no storage: the default */ }
  if (SCALES.includes(query.get('scale'))) scale.value = query.get('scale');  // ?scale=MODE, for this visit
  const note = document.getElementById('note');
  const panel = document.getElementById('studio');
  const own = document.getElementById('own');
  // What the tests and the benchmark read: waits begun, the first pause begun
  // since the last press or the run's start ([ms, when]) and the last press
  // (when), on performance.now()'s clock.
  const state = { waits: 0, cursor: null, status: null, missing: null, firstScreenMs: null, runs: 0, reloads: 0,
                  pause: null, pressMs: null, shows: 0, redrawMs: null, padListening: false };
  // Opened from disk, the browser fetches nothing: the page says how to serve it.
  const fromDisk = location.protocol === 'file:';
  // The program's code, fetched and compiled once, at once, for every run.
  const code = fromDisk ? null : WebAssembly.compileStreaming(fetch('pixshow.wasm'))
    .catch(() => fetch('pixshow.wasm').then((r) => r.arrayBuffer()).then((b) => WebAssembly.compile(b)));
  let run = null;        // the Emscripten module playing now
  let lastSheets = null; // the sheets of the last run, for "play again"
  let lastChoice = 0;    // counts the visitor's drops and choices: only the last one plays
  let whyMissing = {};   // a served sheet that could not be read: why (its address and the reason)
  let sources = {};      // where each sheet of the set on show came from (a File or an address), for the studio
  // The screenshots offered so far. Each run finds their names taken (empty
  // files in its screenshot folder), so the program numbers the next as it
  // does on disk: every download has a name of its own.
  const offered = new Set();

  // Where the picture goes in a w x h area of device pixels, by the scale
  // choice (auto, integer, fit, stretch), as the native program's --scale.
  function place(w, h, mode) {
    const k = Math.max(1, Math.floor(Math.min(w / 640, h / 480)));
    if (mode === 'auto' && 640 * k <= w && 480 * k <= h && k * 480 * 4 >= h * 3) mode = 'integer';
    let vw = 640 * k, vh = 480 * k;
    if (mode !== 'integer' && w > 0 && h > 0) {
      [vw, vh] = [w, h];
      if (mode !== 'stretch') {
        if (w * 480 >= h * 640) vw = Math.floor((h * 640) / 480);
        else vh = Math.floor((w * 480) / 640);
      }
    }
    return { x: Math.floor((w - vw) / 2), y: Math.floor((h - vh) / 2), w: vw, h: vh };
  }

  // Shows the program's picture on the page at its place: each pixel
  // repeated to the next whole scale at or above the place's size, then (for
  // a size between whole scales) one smooth step to it, so that only the
  // edges between pixels blend.
  let where = null;
  function render() {
    const m = Math.max(1, Math.ceil(Math.max(where.w / 640, where.h / 480)));
    if (view.width !== 640 * m || view.height !== 480 * m) Object.assign(view, { width: 640 * m, height: 480 * m });
    sight.imageSmoothingEnabled = false;
    sight.drawImage(canvas, 0, 0, view.width, view.height);
  }

  // A touch screen (a finger for a pointer, which cannot hover): the bar stays on show along the
  // bottom, beside the picture, not over it. Elsewhere it shows under the mouse or the focus.
  const touch = matchMedia('(pointer: coarse)');
  function fit() {
    const ratio = window.devicePixelRatio || 1;
    // The studio takes the right of a wide window, the bottom of a tall one; the picture the rest.
    const tall = innerHeight > innerWidth;
    const side = panel.hidden ? 0
      : Math.round(tall ? Math.min(innerHeight * 0.45, 420) : Math.min(innerWidth * 0.4, 380));
    document.body.classList.toggle('tall', tall);
    document.body.classList.toggle('touch', touch.matches);
    document.documentElement.style.setProperty('--panel', side + 'px');
    if (touch.matches) {
      Object.assign(own.style, { right: (tall ? 0 : side) + 'px', bottom: (tall ? side : 0) + 'px' });
    } else {
      Object.assign(own.style, { right: (tall ? 0 : side) + 10 + 'px', bottom: (tall ? side : 0) + 6 + 'px' });
    }
    const w = innerWidth - (tall ? 0 : side);
    const h = Math.max(0, innerHeight - (tall ? side : 0) - (touch.matches ? own.offsetHeight : 0));
    where = place(Math.round(w * ratio), Math.round(h * ratio), scale.value);
    const whole = where.w % 640 === 0 && where.h % 480 === 0 && where.w / 640 === where.h / 480;
    Object.assign(view.style, {
      width: where.w / ratio + 'px', height: where.h / ratio + 'px',
      left: where.x / ratio + 'px', top: where.y / ratio + 'px',
      imageRendering: whole ? 'pixelated' : 'auto',
    });
    render();
    // The bar of the corner stays off the picture: where they would meet, it
    // shows only under the mouse or while one of its controls has the focus.
    const picture = view.getBoundingClientRect(), bar = own.getBoundingClientRect();
    const meets = picture.bottom > h - bar.height - 6 && picture.right > w - bar.width - 10;
    own.classList.toggle('tucked', meets && !touch.matches);
  }

  // A note over the picture; one that says something went wrong (`error`) closes with Escape too.
  function tell(text, offerAgain, error = false) {
    document.getElementById('note-text').textContent = text;
    document.getElementById('again').hidden = !offerAgain;
    note.classList.toggle('error', error);
    note.style.display = 'block';
  }
  // The note goes, and with it the focus on its buttons (the keys are the presentation's again).
  function closeNote() {
    if (note.contains(document.activeElement)) document.activeElement.blur();
    note.style.display = 'none';
  }

  // What screen readers get: the screen's name (from the program's debug output) and the
  // captions as drawn, in a polite live region; the rest of the text on the picture (names,
  // labels) in the picture's text alternative. Captions are the lines in the caption panel
  // (from row 370 down), the rest labels.
  const said = document.getElementById('said');
  let screenName = '', shownText = [];
  function speak() {
    const captions = shownText.filter((t) => t.y >= 370).map((t) => t.text);
    const labels = shownText.filter((t) => t.y < 370).map((t) => t.text);
    view.setAttribute('aria-label', (screenName || 'The presentation') + (labels.length ? ': ' + labels.join(', ') : ''));
    const lines = [screenName, ...captions].filter(Boolean);
    const now = [...said.children].map((p) => p.textContent);
    if (now.length > lines.length || now.some((line, i) => line !== lines[i])) said.textContent = '';
    for (const line of lines.slice(said.children.length)) {
      const p = document.createElement('p');
      p.textContent = line;
      said.append(p);
    }
  }

  function play(sheets) {
    if (run) {
      run.pixshowRetired = true;  // ends when it next wakes
      if (run.pixshowWake) run.pixshowWake();
    }
    closeNote();
    const errors = [];  // what the program printed on standard error, for a note
    [screenName, shownText] = ['', []];
    Object.assign(state, { waits: 0, cursor: null, status: null, missing: null, pause: null, pressMs: null });
    state.runs++;
    lastSheets = sheets;
    const given = new Set(Object.keys(sheets));  // a sheet not among them: why, if the fetch knows
    const module = {
      instantiateWasm(imports, receive) {
        code.then((m) => WebAssembly.instantiate(m, imports).then((instance) => receive(instance, m)))
          .catch((e) => tell('The program could not be loaded: ' + e, false, true));
        return {};
      },
      // --watch: sheets dropped while it plays replace those of its folder (see playOwn).
      arguments: [...options, '--watch', '--screenshot-dir', SHOTS],
      preRun: [(m) => {
        for (const [name, bytes] of Object.entries(sheets)) m.FS.writeFile(name, bytes);
        m.FS.mkdirTree(SHOTS);
        for (const name of offered) m.FS.writeFile(SHOTS + '/' + name, new Uint8Array(0));
      }],
      print: (line) => console.log(line),
      printErr: (line) => {
        console.warn(line);
        if (errors.length < 5) errors.push(line);
        const found = /cannot open image sheet "([^"]+)"/.exec(line);
        if (found) state.missing = found[1];
        // A screenshot (F12) or a recording (F9) is offered as a download and leaves the page's memory.
        const shot = /(?:screenshot|recording) saved as (\S+)$/.exec(line);
        if (shot) offer(shot[1], module.FS);
      },
      pixshowShow(pixels, width, height) {
        context.putImageData(new ImageData(new Uint8ClampedArray(pixels), width, height), 0, 0);
        render();
        state.shows++;
        if (studioChange !== null) [state.redrawMs, studioChange] = [performance.now() - studioChange, null];
      },
      pixshowWait(x, y) {
        state.waits++;
        state.cursor = [x, y];
        if (state.firstScreenMs === null) state.firstScreenMs = performance.now();
      },
      pixshowPause(ms) {
        if (state.pause === null) state.pause = [ms, performance.now()];
      },
      pixshowText(lines) {
        if (module.pixshowRetired) return;
        shownText = lines.split('\n').filter(Boolean).map((line) => {
          const [x, y, text] = line.split('\t');
          return { x: Number(x), y: Number(y), text };
        });
        speak();
      },
      pixshowDebug(text) {
        if (!module.pixshowRetired && /^Screen \d+ of \d+: /.test(text)) screenName = text;
      },
      onExit(status) {
        if (module.pixshowRetired) return;
        run = null;
        state.status = status;
        if (document.pointerLockElement) document.exitPointerLock();
        if (status === 1) {
          const why = given.has(state.missing) ? null : whyMissing[state.missing];
          tell('The sheet "' + (state.missing || '?') + '" could not be opened' + (why ? ' (' + why + ')' : '') +
               ', so the presentation stopped.', true, true);
        } else if (status === 0) {
          tell('The presentation has ended.', true);
        } else {
          // The program's reason, with its options named as the page's address has them.
          const why = errors.map((line) => line.replace(/^pixshow: /, '').replace(/ \(try 'pixshow --help'\)$/, '')
            .replace(/--(screen|delay|loop)\b/g, '?$1')).join('\n');
          tell('The presentation could not start' + (why ? ': ' + why : ' (status ' + status + ')') + '.', true, true);
        }
      },
    };
    run = module;
    createPixshow(module);
  }

  // The program writes its screenshots uncompressed; each is offered compressed by the
  // recorder, as the native program writes its own (as written when that cannot be), and F9's
  // recordings as they are, in turn.
  let shots = Promise.resolve();
  function offer(path, fs) {
    const bytes = fs.readFile(path);
    fs.writeFile(path, new Uint8Array(0));  // the picture leaves memory, its name stays taken
    const name = path.slice(path.lastIndexOf('/') + 1), gif = /\.gif$/.test(name);
    offered.add(name);
    shots = shots.then(() => (RECORDER && !gif ? recorder.png(bytes) : bytes)).catch((e) => {
      console.warn('pixshow: the screenshot ' + name + ' is offered uncompressed: ' + (e.message || e));
      return bytes;
    }).then((file) => {
      const link = document.createElement('a');
      link.href = URL.createObjectURL(new Blob([file], { type: gif ? 'image/gif' : 'image/png' }));
      link.download = name;
      document.body.appendChild(link);
      link.click();
      link.remove();
      setTimeout(() => URL.revokeObjectURL(link.href), 60000);  // the download has its copy by then
      state.screenshots = (state.screenshots || []).concat([{ name, url: link.href, size: file.length }]);
    });
  }

  // The first `size` bytes at `url` (fewer when it is shorter): a range
  // request, and where the server sends the whole file anyway, as much of it as
  // needed, the rest cancelled. Throws the reason when there is no such file.
  async function fetchStart(url, size) {
    const answer = await fetch(url, { headers: { Range: 'bytes=0-' + (size - 1) } });
    if (answer.status === 416) return new Uint8Array(0);  // an empty file has no byte 0
    if (!answer.ok) throw new Error('HTTP ' + answer.status + (answer.statusText ? ' ' + answer.statusText : ''));
    const range = answer.status === 206 && answer.headers.get('Content-Range');
    if (range && !/^bytes 0-/.test(range)) throw new Error('the server sent another part (' + range + ')');
    const out = new Uint8Array(size), reader = answer.body.getReader();
    let got = 0;
    while (got < size) {
      const { done, value } = await reader.read();
      if (done) return out.slice(0, got);
      out.set(value.subarray(0, size - got), got);
      got += Math.min(value.length, size - got);
    }
    reader.cancel().catch(() => {});
    return out;
  }

  // The served sheets, each as far as the presentation reads it (its images
  // drawn): a sheet of any length costs that much. A sheet that cannot be had
  // is left out, and the program's load failure names it with the reason.
  async function fetchSheets(folder) {
    const sheets = {};
    whyMissing = {};
    sources = {};
    await Promise.all([...SHEETS].map(async ([name, [w, h, drawn]]) => {
      sources[name] = folder + name;
      try {
        sheets[name] = await fetchStart(folder + name, w * h * drawn);
      } catch (e) {
        whyMissing[name] = folder + name + ': ' + (e instanceof TypeError ? 'network error, ' : '') + e.message;
      }
    }));
    return sheets;
  }

  // The visitor's own sheets: all six, each a whole number of its images, or nothing plays.
  // Files that are not .pix are left out (and the note says so). Only the images the
  // presentation draws are read, so a sheet of any length costs that much memory; the
  // last drop or choice wins over any earlier one still being read. While a run plays,
  // the sheets given replace only those in its folder and it draws its screen again.
  async function playOwn(files) {
    const mine = ++lastChoice;
    const playing = run !== null && state.status === null;
    const problems = [], sheets = {}, ignored = [], taken = {};
    for (const file of files) {
      if (file.problem) {
        problems.push(file.name + ': ' + file.problem);
        continue;
      }
      if (!/\.pix$/i.test(file.name)) {
        ignored.push(file.name);
        continue;
      }
      const size = SHEETS.get(file.name);
      if (!size) {
        problems.push(file.name + ': not one of the six sheets (the names must match exactly)');
      } else if (file.size === 0 || file.size % (size[0] * size[1]) !== 0) {
        problems.push(file.name + ': ' + file.size + ' bytes is not a whole number of ' +
                      size[0] + ' x ' + size[1] + ' images (' + size[0] * size[1] + ' bytes each)');
      } else {
        try {
          const used = Math.min(file.size, size[0] * size[1] * size[2]);
          sheets[file.name] = new Uint8Array(await file.slice(0, used).arrayBuffer());
          taken[file.name] = file;
        } catch (e) {
          problems.push(file.name + ': could not be read (' + (e.message || e.name || e) + ')');
        }
      }
      if (mine !== lastChoice) return;  // a later drop took over
    }
    // The run as it stands now, not as it stood at the drop: it may have
    // ended while the sheets were read.
    const live = run !== null && state.status === null;
    const complete = [...SHEETS.keys()].every((name) => sheets[name]);
    for (const name of SHEETS.keys()) {
      if (!playing && !live && !sheets[name] && !problems.some((p) => p.startsWith(name + ':'))) {
        problems.push(name + ': missing');
      }
    }
    const left = ignored.length ? '\n\nLeft out (not .pix): ' + ignored.join(', ') : '';
    if (problems.length) {
      tell('These sheets cannot be played:\n' + problems.join('\n') + left, run === null && lastSheets !== null, true);
      return;
    }
    // Playing, or on its way out (its end then keeps them for "play again").
    if (live || complete) studio.adopt(taken, complete && !live);
    if (live && !Object.keys(sheets).length) {
      tell('Nothing was drawn again: none of these files is a sheet.' + left, false);
      return;
    }
    if (live) {
      for (const [name, bytes] of Object.entries(sheets)) {
        run.FS.writeFile(name, bytes);
        lastSheets[name] = bytes;  // and for "play again"
      }
      state.reloads++;
      send('folder_changed');
      if (left) tell('Drawn again with your sheets.' + left, false);
      return;
    }
    if (complete) {
      play(sheets);
      if (left) tell('Playing your six sheets.' + left, false);
      return;
    }
    // Some sheets, dropped while it played and read once it had ended: kept for the next run.
    Object.assign(lastSheets, sheets);
    studio.adopt(taken, false);
    const names = Object.keys(sheets).join(', ');
    tell('The presentation has ended.' + (names ? ' Play it again with your ' + names + '.' : '') + left, true);
  }

  // The files of a drop, a dropped folder's files in place of the folder
  // (its own folders are left out). `entries` must be taken during the drop.
  async function droppedFiles(entries, files) {
    if (!entries.length) return files;
    const out = [];
    const fileOf = (entry) => new Promise((resolve) => entry.file(resolve, (e) =>
      resolve({ name: entry.name, problem: 'could not be read (' + (e.message || e.name) + ')' })));
    for (const entry of entries) {
      if (entry.isFile) {
        out.push(await fileOf(entry));
      } else if (entry.isDirectory) {
        const reader = entry.createReader();
        try {
          for (let batch; (batch = await new Promise((ok, no) => reader.readEntries(ok, no))).length;) {
            for (const inner of batch) if (inner.isFile) out.push(await fileOf(inner));
          }
        } catch (e) {
          out.push({ name: entry.name, problem: 'a folder that could not be read: drop the six files instead' });
        }
      }
    }
    return out;
  }

  function send(name, ...args) {
    if (!run || !run['_pxweb_' + name]) return;
    run['_pxweb_' + name](...args);
    if (run.pixshowWake) run.pixshowWake();
  }

  // A key, or the left button (null), pressed and let go a moment later: the
  // program, woken by the press, sees it in its next pass.
  function press(vk) {
    const [name, what] = vk === null ? ['mouse_button', 0] : ['key', vk];
    send(name, what, 1);
    setTimeout(() => send(name, what, 0), 60);
  }

  // Gamepads (the standard mapping) as the program's own pad: A, Start and the right
  // shoulder go on, B and the left shoulder back, the d-pad is the arrow keys, Back
  // the first screen. Read once a frame while a pad is connected, never without one.
  // Listening for pads has the browser poll the devices all the time (about 1 % of a
  // core), so the page listens only while one is connected and for PAD_LISTEN_MS after
  // the visitor was last busy on it (the load, a key, a press, a return to the tab): a
  // pad's first button press then shows it.
  const PAD_LISTEN_MS = 30000;
  let padTimer = 0;
  function listenForPads() {
    clearTimeout(padTimer);
    if (!state.padListening) {
      addEventListener('gamepadconnected', readPadsSoon);
      addEventListener('gamepaddisconnected', readPadsSoon);  // lets go of its buttons, stops without pads
      state.padListening = true;
    }
    padTimer = setTimeout(() => {
      if (padFrame) return;  // a pad is connected: listening goes on until it leaves
      removeEventListener('gamepadconnected', readPadsSoon);
      removeEventListener('gamepaddisconnected', readPadsSoon);
      state.padListening = false;
    }, PAD_LISTEN_MS);
  }
  const PAD_KEYS = new Map([[0, 0x27], [9, 0x27], [5, 0x27], [1, 0x25], [4, 0x25], [12, 0x26], [13, 0x28],
                            [14, 0x25], [15, 0x27], [8, 0x24]]);
  let padFrame = 0, padKeys = new Set();
  function readPads() {
    padFrame = 0;
    const pads = [...(navigator.getGamepads ? navigator.getGamepads() : [])].filter((p) => p && p.connected);
    const down = new Set();
    for (const pad of pads) {
      for (const [button, vk] of PAD_KEYS) if (pad.buttons[button] && pad.buttons[button].pressed) down.add(vk);
    }
    for (const vk of down) if (!padKeys.has(vk)) send('key', vk, 1);
    for (const vk of padKeys) if (!down.has(vk)) send('key', vk, 0);
    padKeys = down;
    if (pads.length) padFrame = requestAnimationFrame(readPads); else listenForPads();  // the last one left
  }
  const readPadsSoon = () => { if (!padFrame) padFrame = requestAnimationFrame(readPads); };

  function listen() {
    addEventListener('resize', fit);
    touch.addEventListener('change', fit);
    listenForPads();
    for (const busy of ['keydown', 'pointerdown']) addEventListener(busy, listenForPads, true);
    addEventListener('focus', listenForPads);
    document.addEventListener('visibilitychange', () => document.hidden || listenForPads());
    scale.addEventListener('change', () => {
      try {
        localStorage.setItem('pixshow.scale', scale.value);
      } catch (e) { /* not remembered */ }
      fit();
    });
    // Movement drives the program's cursor as DirectInput's relative mouse
    // would: captured (pointer lock) once the page has it, else over the canvas.
    document.addEventListener('mousemove', (e) => {
      if (document.pointerLockElement === view || e.target === view) send('mouse_motion', e.movementX, e.movementY);
      if (e.target === view && !panel.hidden) studio.point(e);
    });
    // A press of a mouse, a pen or a finger: a tap on a touch screen clicks
    // (the program holds its cursor on the button while it waits); only a
    // mouse has the pointer captured.
    let finger = null;  // where a finger went down on the picture
    view.addEventListener('pointerdown', (e) => {
      state.pressMs = e.timeStamp;
      state.pause = null;
      if (!panel.hidden && e.pointerType !== 'mouse') return studio.point(e);  // a tap in the studio names the pixel
      if (e.pointerType === 'touch') return void (finger = { x: e.clientX, y: e.clientY, id: e.pointerId });
      const lock = run && e.pointerType === 'mouse' && panel.hidden;  // in the studio the pointer stays free
      if (lock && document.pointerLockElement !== view && view.requestPointerLock) {
        const locked = view.requestPointerLock();
        if (locked && locked.catch) locked.catch(() => {});
      }
      send('mouse_button', [0, 2, 1, 3][e.button] ?? 0, 1);
    });
    // A finger that lifts: a swipe to the left goes on (Right), to the right back (Left); else a tap clicks.
    document.addEventListener('pointerup', (e) => {
      if (e.pointerType !== 'touch') return send('mouse_button', [0, 2, 1, 3][e.button] ?? 0, 0);
      if (!finger || finger.id !== e.pointerId) return;
      const dx = e.clientX - finger.x, dy = e.clientY - finger.y;
      finger = null;
      press(Math.abs(dx) >= 40 && Math.abs(dx) > 2 * Math.abs(dy) ? (dx < 0 ? 0x27 : 0x25) : null);
    });
    document.addEventListener('pointercancel', () => { finger = null; });
    const help = document.getElementById('help'), helpOpen = document.getElementById('help-open');
    const showHelp = (shown) => {
      help.hidden = !shown;
      helpOpen.setAttribute('aria-expanded', String(shown));
      document.getElementById(shown ? 'help-close' : 'help-open').focus();
    };
    helpOpen.addEventListener('click', () => showHelp(help.hidden));
    document.getElementById('help-close').addEventListener('click', () => showHelp(false));
    // The presentation's keys, also while a control has the focus, but for those the control
    // takes: Space and Enter, and a list's arrows; typing in the studio. Escape closes the
    // help or a note first.
    for (const [type, down] of [['keydown', 1], ['keyup', 0]]) {
      document.addEventListener(type, (e) => {
        if (!(e.key in KEYS) || e.ctrlKey || e.altKey || e.metaKey) return;
        const tag = e.target.tagName || '';
        if (panel.contains(e.target) && /^(INPUT|SELECT)$/.test(tag)) return;  // typing in the studio
        if (/^(BUTTON|SELECT|INPUT|SUMMARY|A)$/.test(tag) && (e.key === ' ' || e.key === 'Enter')) return;
        if (tag === 'SELECT' && /^(Arrow|Page|Home)/.test(e.key)) return;
        const errorShown = note.style.display === 'block' && note.classList.contains('error');
        if (e.key === 'Escape' && down && (!help.hidden || errorShown)) {
          if (!help.hidden) showHelp(false); else closeNote();
          return;
        }
        if (run && e.key !== 'Escape') e.preventDefault();
        send('key', KEYS[e.key], down);
      });
    }
    document.getElementById('note-close').addEventListener('click', closeNote);
    document.getElementById('again').addEventListener('click', () => play(lastSheets));
    const full = document.getElementById('full');
    full.hidden = !document.fullscreenEnabled;
    full.addEventListener('click', () => {
      const asked = document.fullscreenElement ? document.exitFullscreen() : document.documentElement.requestFullscreen();
      if (asked && asked.catch) asked.catch(() => {});
    });
    // A run that is replaced or ends leaves by Emscripten's ExitStatus, thrown
    // on purpose from the program's last turn of the event loop: not an error.
    const leaving = (e) => { if ((e.error || e.reason || {}).name === 'ExitStatus') e.preventDefault(); };
    addEventListener('error', leaving);
    addEventListener('unhandledrejection', leaving);
    // A message without a choice goes away when clicked.
    note.addEventListener('click', () => { if (document.getElementById('again').hidden) closeNote(); });
    const picker = document.getElementById('files');
    document.getElementById('choose').addEventListener('click', () => picker.click());
    picker.addEventListener('change', () => {
      const files = [...picker.files];
      picker.value = '';  // so that the same files, changed since, can be chosen again
      playOwn(files);
    });
    addEventListener('dragover', (e) => { e.preventDefault(); document.body.classList.add('dragging'); });
    addEventListener('dragleave', () => document.body.classList.remove('dragging'));
    addEventListener('drop', (e) => {
      e.preventDefault();
      document.body.classList.remove('dragging');
      const items = [...(e.dataTransfer.items || [])];
      const entries = items.map((i) => i.webkitGetAsEntry && i.webkitGetAsEntry()).filter(Boolean);
      const files = [...e.dataTransfer.files];
      // Painted images go back into their sheets, through the studio.
      if (STUDIO && files.length && files.every((f) => /\.png$/i.test(f.name))) {
        files.reduce((done, f) => done.then(() => studio.importFile(f)), Promise.resolve());
        return;
      }
      const mine = ++lastChoice;
      droppedFiles(entries, files).then((all) => { if (mine === lastChoice) playOwn(all); });
    });
  }

  // --- The recorder ---------------------------------------------------------------------
  // pixrecord.js and pixrecord.wasm (tools/recorder), loaded when first needed: *Save as GIF*
  // makes the GIF of the whole presentation with the sheets on the page as pixshow-capture
  // --gif makes it (each wait shown for 3 s), and screenshots are compressed as the native
  // program compresses them. Each use has an instance of its own, gone with it.
  const RECORDER = '@PIXSHOW_WEB_RECORDER@' === 'ON';
  const recorder = (() => {
    const WAIT_MS = 3000;  // pixshow-capture's --wait-seconds
    let code = null;       // a promise of the compiled module, once its script is in
    async function instance(said) {
      const mine = code = code || new Promise((resolve, reject) => {
        const script = document.createElement('script');
        script.src = 'pixrecord.js';
        script.onload = resolve;
        script.onerror = () => reject(new Error('the recorder (pixrecord.js) could not be loaded'));
        document.head.appendChild(script);
      }).then(() => WebAssembly.compileStreaming(fetch('pixrecord.wasm')).catch(() => fetch('pixrecord.wasm')
        .then((r) => (r.ok ? r.arrayBuffer() : Promise.reject(new Error('pixrecord.wasm: HTTP ' + r.status))))
        .then((b) => WebAssembly.compile(b))));
      let compiled;
      try {
        compiled = await mine;
      } catch (e) {
        if (code === mine) code = null;  // tried again the next time
        throw e;
      }
      return new Promise((resolve, reject) => createPixrecord({
        instantiateWasm(imports, receive) {
          WebAssembly.instantiate(compiled, imports).then((i) => receive(i, compiled), reject);
          return {};
        },
        print: (line) => said.push(line),
        printErr: (line) => said.push(line),
      }).then(resolve, reject));
    }
    const message = (m) => m.ccall('recorder_message', 'string', [], []);

    async function gif(sheets) {
      const said = [], m = await instance(said);
      m.FS.mkdir('/sheets');
      m.FS.chdir('/sheets');
      for (const [name, bytes] of Object.entries(sheets)) m.FS.writeFile(name, bytes);
      try {
        if (m.ccall('recorder_gif', 'number', ['string', 'number'], ['/pixshow.gif', WAIT_MS])) {
          return m.FS.readFile('/pixshow.gif');
        }
      } catch (e) {
        if (!e || e.name !== 'ExitStatus') throw e;
        // The program ended before the presentation did: a sheet could not be opened.
        const sheet = said.map((line) => /cannot open image sheet "([^"]+)": (.*)$/.exec(line)).find(Boolean);
        throw new Error(sheet ? `the sheet "${sheet[1]}" could not be opened (${sheet[2]})`
          : said.join(' ') || 'the presentation ended early');
      }
      throw new Error(message(m));
    }
    async function png(bytes) {
      const m = await instance([]);
      m.FS.writeFile('/shot.png', bytes);
      if (!m.ccall('recorder_png', 'number', ['string', 'string'], ['/shot.png', '/compressed.png'])) {
        throw new Error(message(m));
      }
      return m.FS.readFile('/compressed.png');
    }

    const button = document.getElementById('gif');
    button.hidden = !RECORDER || fromDisk;
    button.addEventListener('click', async () => {
      const label = button.textContent, began = performance.now();
      button.disabled = true;
      button.textContent = 'Making the GIF…';
      try {
        const bytes = await gif(lastSheets || await sample);
        const link = document.createElement('a');
        link.href = URL.createObjectURL(new Blob([bytes], { type: 'image/gif' }));
        link.download = 'pixshow.gif';
        document.body.appendChild(link);
        link.click();
        link.remove();
        setTimeout(() => URL.revokeObjectURL(link.href), 60000);
        state.gifs = (state.gifs || []).concat([{ url: link.href, size: bytes.length, ms: performance.now() - began }]);
      } catch (e) {
        tell('No GIF: ' + (e.message || e) + '.', false);
      } finally {
        button.disabled = false;
        button.textContent = label;
      }
    });
    return { gif, png };
  })();

  // --- The studio ----------------------------------------------------------------------
  let studioChange = null;  // when the last change began, until the picture shows it
  const studio = makeStudio();

  // The studio: pixsheet's export, import and check on the sheets of the set on
  // show, read whole (up to LIMIT bytes each) into the studio module's folder.
  function makeStudio() {
    const $ = (id) => document.getElementById('studio-' + id);
    const LIMIT = 64 << 20, PNG_LIMIT = 256 << 20;
    let code = null;           // a promise of the studio module
    let ready = null;          // a promise: the set's sheets are in its folder
    let chain = Promise.resolve();
    let printed = [];
    const base = {};           // name -> the bytes the set came with (null: none)
    const saved = {};          // name -> the bytes last downloaded
    // The changes, the last one last, each as what it replaced: { name, at, was, after } (bytes `was`
    // stood at `at`, where `after` bytes stand now) or, for a sheet that was not there, { name, was: null }.
    const history = [];
    let stored = null;         // the key under which the work is kept in the browser
    let unsaved = false;       // changes not downloaded
    let touched = false;       // the artist changed something since the set was loaded
    const stem = (sheet) => sheet.replace(/\.pix$/i, '');

    function module() {
      code = code || new Promise((resolve, reject) => {
        const script = document.createElement('script');
        script.src = 'pixstudio.js';
        script.onload = () => createPixstudio({ print: (l) => printed.push(l), printErr: (l) => printed.push(l) })
          .then(resolve, reject);
        script.onerror = () => reject(new Error('the studio (pixstudio.js) could not be loaded'));
        document.head.appendChild(script);
      }).then((m) => {
        for (const folder of ['/sheets', '/out']) m.FS.mkdir(folder);
        m.FS.chdir('/sheets');
        return m;
      });
      return code;
    }
    const call = (m, name, ...args) =>
      m.ccall('studio_' + name, 'number', args.map((a) => (typeof a === 'string' ? 'string' : 'number')), args);
    const said = (m) => m.ccall('studio_message', 'string', [], []);
    function read(m, name) {
      try {
        return m.FS.readFile(name);
      } catch (e) {
        return null;
      }
    }
    function put(m, name, bytes) {
      if (bytes) m.FS.writeFile(name, bytes);
      else if (read(m, name)) m.FS.unlink(name);
    }
    const same = (a, b) => a === b || (a && b && a.length === b.length && a.every((v, i) => v === b[i]));

    // A sheet of the set, whole, or null when there is none.
    async function whole(name) {
      const from = sources[name];
      if (!from) return lastSheets && lastSheets[name] ? lastSheets[name] : null;
      const tooLong = (n) => new Error(`${name}: ${n} bytes, longer than the studio takes (${LIMIT} bytes)`);
      if (typeof from !== 'string') {
        if (from.size > LIMIT) throw tooLong(from.size);
        return new Uint8Array(await from.arrayBuffer());
      }
      const answer = await fetch(from);
      if (!answer.ok) return null;
      const length = Number(answer.headers.get('Content-Length') || 0);
      if (length > LIMIT) {
        answer.body.cancel().catch(() => {});
        throw tooLong(length);
      }
      return new Uint8Array(await answer.arrayBuffer());
    }

    // The set's sheets into the studio's folder, once per set.
    function loaded() {
      ready = ready || (async () => {
        const m = await module();
        const problems = [];
        for (const name of SHEETS.keys()) {
          let bytes = null;
          try {
            bytes = await whole(name);
          } catch (e) {
            problems.push(e.message);
          }
          base[name] = bytes;
          put(m, name, bytes);
        }
        history.length = 0;
        touched = false;
        stored = await keyOf(base);
        if (problems.length) say(problems.join('\n'), true);
        await offerKept(m);
        return m;
      })();
      return ready;
    }
    // Runs `work(module)` after everything asked before it.
    function queued(work) {
      const next = chain.then(() => loaded()).then(work);
      chain = next.catch(() => {});
      return next;
    }

    let unkept = '';  // why the work could not be kept in the browser, said with every message
    function say(text, bad) {
      $('message').textContent = text + (unkept && text ? '\n' : '') + unkept;
      $('message').classList.toggle('bad', !!bad || !!unkept);
    }

    // The changed sheet on the picture: the part the presentation reads, as a dropped sheet is.
    function show(name, bytes) {
      const [w, h, drawn] = SHEETS.get(name);
      const part = bytes ? bytes.slice(0, Math.min(bytes.length, w * h * drawn)) : new Uint8Array(0);
      if (lastSheets) lastSheets[name] = part;
      if (run && state.status === null) {
        run.FS.writeFile(name, part);
        state.reloads++;
        send('folder_changed');
      }
    }

    // After a change: the picture, the list of changed sheets, the check, the kept copy.
    async function changed(m, name, started) {
      studioChange = started;
      touched = true;
      show(name, read(m, name));
      await new Promise((resolve) => setTimeout(resolve));  // the program draws first
      await after(m);
    }
    async function after(m) {
      const changes = pending(m, true), undownloaded = pending(m);
      unsaved = undownloaded.length > 0;
      const list = $('changes');
      list.textContent = '';
      for (const name of changes) {
        const line = document.createElement('div');
        const button = document.createElement('button');
        button.textContent = 'Download';
        button.addEventListener('click', () => queued(async (m) => download(m, [name])));
        line.append(name + (undownloaded.includes(name) ? ' (changed) ' : ' (changed, downloaded) '), button);
        list.append(line);
      }
      $('undo').disabled = !history.length;
      $('all').disabled = $('discard').disabled = !changes.length;
      $('check').textContent = check(m);
      await packHistory();
      await keep(m);
    }
    // The sheets that differ from the set's (`all`), or from what was last downloaded too.
    const pending = (m, all) => [...SHEETS.keys()].filter((name) => {
      const now = read(m, name);
      return !same(now, base[name]) && (all || !same(now, saved[name]));
    });
    function check(m) {
      printed = [];
      const status = call(m, 'check');
      return printed.join('\n') + (status === 2 ? said(m) : '');
    }

    function save(name, bytes, type) {
      const link = document.createElement('a');
      link.href = URL.createObjectURL(new Blob([bytes], { type }));
      link.download = name;
      document.body.append(link);
      link.click();
      link.remove();
      setTimeout(() => URL.revokeObjectURL(link.href), 60000);
      state.downloads = (state.downloads || []).concat([name]);
    }
    async function download(m, names) {
      if (names.length === 1) {
        save(names[0], read(m, names[0]), 'application/octet-stream');
      } else {
        save('pixshow-sheets.zip', zip(names.map((n) => [n, read(m, n) || new Uint8Array(0)])), 'application/zip');
      }
      for (const name of names) saved[name] = read(m, name);
      await after(m);
    }

    // Image numbers as pixsheet takes them (--image K).
    const badImage = (k) => !(Number.isInteger(k) && k >= 0 && k <= 999999999) &&
      `bad value '${k}' for --image: expected a whole number from 0 to 999999999`;
    function exported(m, sheet, k, labels) {
      if (!labels && badImage(k)) throw new Error(badImage(k));
      const out = '/out/' + stem(sheet) + (labels ? '-numbered' : '-' + k) + '.png';
      if (!call(m, 'export', sheet, k, labels ? 1 : 0, out)) throw new Error(said(m));
      const bytes = m.FS.readFile(out);
      m.FS.unlink(out);
      return bytes;
    }

    async function importImage(sheet, k, png, options = {}) {
      const started = options.started || performance.now();
      return queued(async (m) => {
        // The PNG goes beside the sheets under its own name (for the messages), never over one of them.
        let name = (options.name || stem(sheet) + '-' + k + '.png').replace(/[\/\\\0]/g, '_');
        if (!name || /^\.+$/.test(name) || SHEETS.has(name)) name = '_' + name;
        let ok = 0, message;
        if (!SHEETS.has(sheet)) {
          message = `"${sheet}" is not one of the six sheets`;
        } else if (badImage(k)) {
          message = badImage(k);
        } else if (png.length > PNG_LIMIT) {
          message = `"${name}": ${png.length} bytes, longer than the studio takes (${PNG_LIMIT} bytes)`;
        } else {
          const before = read(m, sheet);
          try {
            m.FS.writeFile(name, png);
            ok = call(m, 'import', name, sheet, k, options.strict ? 1 : 0);
            message = said(m);
          } catch (e) {
            message = `"${name}" could not be taken in (${e.message || e.name || e})`;
          }
          try {
            m.FS.unlink(name);
          } catch (e) { /* not written */ }
          if (ok) {
            history.push(change(sheet, before, read(m, sheet)));
            await changed(m, sheet, started);
          }
        }
        say(message, !ok);
        return { ok: !!ok, message };
      });
    }

    // A painted PNG: back to the image its name gives (SHEET-K.png, as saved). Another name, dropped,
    // waits for the artist to say where (the image chosen in the panel); chosen in the panel, goes there.
    async function importFile(file, chosen) {
      const started = performance.now();
      open(true);
      const named = /^(.+)-(\d+)\.png$/i.exec(file.name);
      if (named && SHEETS.has(named[1] + '.pix')) {
        $('sheet').value = named[1] + '.pix';
        $('image').value = Number(named[2]);
      } else if (!chosen) {
        say(`"${file.name}" does not name its image (as SHEET-K.png): choose the sheet and image above, then `, false);
        const put = document.createElement('button');
        put.textContent = 'put it there';
        put.addEventListener('click', () => importFile(file, true));
        $('message').append(put);
        return { ok: false, message: $('message').textContent };
      }
      if (file.size > PNG_LIMIT) return say(`"${file.name}": ${file.size} bytes, longer than the studio takes`, true);
      let bytes;
      try {
        bytes = new Uint8Array(await file.arrayBuffer());
      } catch (e) {
        return say(`"${file.name}" could not be read (${e.message || e.name})`, true);
      }
      return importImage($('sheet').value, Number($('image').value), bytes,
                         { strict: $('strict').checked, name: file.name, started });
    }

    // What a change from `before` to `after` replaced: the bytes between the parts they share at
    // both ends (an image's worth for an import), so that undo costs little memory.
    function change(name, before, after) {
      if (!before || !after) return { name, at: 0, was: before, after: after ? after.length : 0 };
      let at = 0, end = 0;
      const most = Math.min(before.length, after.length);
      while (at < most && before[at] === after[at]) ++at;
      while (end < most - at && before[before.length - 1 - end] === after[after.length - 1 - end]) ++end;
      return { name, at, was: before.slice(at, before.length - end), after: after.length - end - at };
    }

    // Undo keeps what each change replaced deflated, where the browser can: art packs well, so a long
    // history costs a fraction of the images it holds. Packed once the new picture is on show.
    const through = (bytes, stream) => {
      const writer = stream.writable.getWriter();
      writer.write(bytes).catch(() => {});
      writer.close().catch(() => {});
      return new Response(stream.readable).arrayBuffer().then((b) => new Uint8Array(b));
    };
    async function packHistory() {
      for (const entry of history) {
        if (entry.packed !== undefined || !entry.was) continue;
        entry.packed = false;
        if (typeof CompressionStream === 'undefined') continue;
        const packed = await through(entry.was, new CompressionStream('deflate-raw'));
        if (packed.length < entry.was.length) [entry.was, entry.packed] = [packed, true];
      }
    }
    const unpacked = (entry) => (entry.packed ? through(entry.was, new DecompressionStream('deflate-raw')) : entry.was);

    async function undo() {
      return queued(async (m) => {
        const last = history.pop();
        if (!last) return { ok: false, message: 'nothing to undo' };
        const now = read(m, last.name), was = await unpacked(last);
        let back = null;
        if (was && now) {
          const tail = now.subarray(last.at + last.after);
          back = new Uint8Array(last.at + was.length + tail.length);
          back.set(now.subarray(0, last.at));
          back.set(was, last.at);
          back.set(tail, last.at + was.length);
        }
        put(m, last.name, back);
        await changed(m, last.name, performance.now());
        const message = 'took back the last change to ' + last.name;
        say(message, false);
        return { ok: true, message };
      });
    }

    // --- Kept in the browser: the changed sheets and the history, under the set's own key.
    async function keyOf(sheets) {
      const parts = [];
      for (const name of SHEETS.keys()) {
        const bytes = sheets[name];
        let hash = 'none';
        if (bytes) {
          // SHA-256 where the page may digest (not over plain http from elsewhere), else FNV-1a.
          const digest = crypto.subtle && new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
          hash = digest ? [...digest].map((b) => b.toString(16).padStart(2, '0')).join('')
            : String(bytes.reduce((h, b) => Math.imul(h ^ b, 16777619), 2166136261) >>> 0);
        }
        parts.push(name + ':' + (bytes ? bytes.length : -1) + ':' + hash);
      }
      return parts.join(' ');
    }
    function db(mode, work) {
      return new Promise((resolve, reject) => {
        const opening = indexedDB.open('pixshow-studio', 1);
        opening.onupgradeneeded = () => opening.result.createObjectStore('work');
        opening.onerror = () => reject(opening.error);
        opening.onsuccess = () => {
          const t = opening.result.transaction('work', mode);
          const request = work(t.objectStore('work'));
          t.oncomplete = () => { opening.result.close(); resolve(request.result); };
          t.onerror = t.onabort = () => { opening.result.close(); reject(t.error || request.error); };
        };
      });
    }
    // Kept while some change is not downloaded; forgotten once all are, or discarded.
    async function keep(m) {
      if (!touched) return;  // what is kept stays until the artist changes, takes back or discards something
      const changes = {};
      for (const name of pending(m, true)) changes[name] = read(m, name);
      try {
        if (unsaved) {
          await db('readwrite', (s) => s.put({ when: Date.now(), changes, history, saved }, stored));
        } else {
          await db('readwrite', (s) => s.delete(stored));
        }
        state.kept = unsaved ? Object.keys(changes).length : 0;
        unkept = '';
      } catch (e) {
        unkept = 'Your changes could not be kept in this browser (' + (e && (e.message || e.name)) +
                 '): they are here until the page closes; download them first.';
        say('', true);
      }
    }
    async function offerKept(m) {
      let kept = null;
      try {
        kept = await db('readonly', (s) => s.get(stored));
      } catch (e) { /* nothing kept */ }
      if (!kept) return;
      const when = new Date(kept.when).toLocaleString();
      $('message').textContent = `Changes to these sheets from ${when} are kept in this browser: `;
      $('message').classList.remove('bad');
      const take = document.createElement('button'), drop = document.createElement('button');
      take.textContent = 'Take them back';
      drop.textContent = 'Discard them';
      take.addEventListener('click', () => restore());
      drop.addEventListener('click', () => discard());
      $('message').append(take, ' ', drop);
      state.offered = Object.keys(kept.changes);
    }
    async function restore() {
      return queued(async (m) => {
        const kept = await db('readonly', (s) => s.get(stored));
        if (!kept) return false;
        history.splice(0, history.length, ...kept.history);
        Object.assign(saved, kept.saved);
        for (const [name, bytes] of Object.entries(kept.changes)) {
          put(m, name, bytes);
          show(name, bytes);
        }
        say('your changes are back', false);
        touched = true;
        await after(m);
        return true;
      });
    }
    async function discard() {
      return queued(async (m) => {
        for (const name of SHEETS.keys()) {
          if (same(read(m, name), base[name])) continue;
          put(m, name, base[name]);
          show(name, base[name]);
        }
        history.length = 0;
        touched = true;
        say('your changes are discarded', false);
        await after(m);
      });
    }

    // A zip of the files, stored without compression.
    function zip(files) {
      const crcTable = Array.from({ length: 256 }, (_, n) => {
        for (let k = 0; k < 8; ++k) n = n & 1 ? 0xedb88320 ^ (n >>> 1) : n >>> 1;
        return n >>> 0;
      });
      const crc = (b) => (b.reduce((c, v) => crcTable[(c ^ v) & 255] ^ (c >>> 8), 0xffffffff) ^ 0xffffffff) >>> 0;
      const parts = [], central = [];
      let offset = 0;
      const header = (sig, fields) => {
        const out = new DataView(new ArrayBuffer(fields.reduce((n, [size]) => n + size, 4)));
        out.setUint32(0, sig, true);
        let at = 4;
        for (const [size, value] of fields) {
          if (size === 2) out.setUint16(at, value, true); else out.setUint32(at, value, true);
          at += size;
        }
        return new Uint8Array(out.buffer);
      };
      for (const [name, bytes] of files) {
        const nameBytes = new TextEncoder().encode(name), sum = crc(bytes);
        const common = [[2, 0], [2, 0], [2, 0], [2, 0x21], [4, sum], [4, bytes.length], [4, bytes.length],
                        [2, nameBytes.length], [2, 0]];
        const local = header(0x04034b50, [[2, 10], ...common]);
        central.push(header(0x02014b50, [[2, 10], [2, 10], ...common, [2, 0], [2, 0], [2, 0], [4, 0], [4, offset]]),
                     nameBytes);
        parts.push(local, nameBytes, bytes);
        offset += local.length + nameBytes.length + bytes.length;
      }
      const size = central.reduce((n, b) => n + b.length, 0);
      const end = header(0x06054b50, [[2, 0], [2, 0], [2, files.length], [2, files.length], [4, size], [4, offset],
                                      [2, 0]]);
      return new Blob([...parts, ...central, end]);
    }

    // The panel: shown beside the picture, which takes the rest of the window.
    function open(shown) {
      if (shown === !panel.hidden) return;
      panel.hidden = !shown;
      document.body.classList.toggle('studio', shown);
      document.getElementById('studio-open').setAttribute('aria-expanded', String(shown));
      if (shown && document.pointerLockElement) document.exitPointerLock();
      fit();
      if (shown) queued(after).catch((e) => say(String(e.message || e), true));
    }
    // The set on show changed: sheets taken in while it plays (`fresh`: a whole new set).
    function adopt(files, fresh) {
      if (fresh) {
        sources = {};
        ready = null;
      }
      Object.assign(sources, files);
      if (fresh || !code) return !panel.hidden && queued(after);
      return queued(async (m) => {
        for (const name of Object.keys(files)) {
          base[name] = await whole(name);
          put(m, name, base[name]);
          for (let i = history.length - 1; i >= 0; --i) if (history[i].name === name) history.splice(i, 1);
        }
        await after(m);
      });
    }

    // --- Which image drew a pixel: pixstudio-art.bin (pixshow-artmap --inspect) holds, for
    // every hold of the presentation, the program's own pixels (with and without the cell
    // borders) and the images drawn, in drawing order. The hold on show is the one whose
    // picture, made from these and the sheets the program reads, is the picture shown.
    const NAMES = [...SHEETS.keys()];
    let art = null;       // a promise of the parsed file
    let known = null;     // { shows, sheets, map }: the hold matched to the picture on show
    function artData() {
      art = art || fetch('pixstudio-art.bin').then((r) => {
        if (!r.ok) throw new Error('pixstudio-art.bin: HTTP ' + r.status);
        return r.arrayBuffer();
      }).then((buffer) => {
        const b = new Uint8Array(buffer), v = new DataView(buffer);
        let at = 4;
        const u16 = () => ((at += 2), v.getUint16(at - 2, true));
        const i16 = () => ((at += 2), v.getInt16(at - 2, true));
        if (String.fromCharCode(...b.subarray(0, 4)) !== 'PXA1') throw new Error('pixstudio-art.bin: not as expected');
        const [palettes, captions, maps, holds, clear] = [u16(), u16(), u16(), u16(), u16()];
        const out = { palettes: [], captions: [], maps: [], clear };
        for (let i = 0; i < palettes; ++i, at += 768) out.palettes.push(b.subarray(at, at + 768));
        for (let i = 0; i < captions; ++i, at += 1 + b[at]) {
          out.captions.push(new TextDecoder().decode(b.subarray(at + 1, at + 1 + b[at])));
        }
        const layer = () => {
          const pixels = new Uint16Array(640 * 480);
          for (let p = 0; p < pixels.length;) {
            let n = 0;
            for (let shift = 0; ; shift += 7) {
              n += (b[at] & 127) * 2 ** shift;
              if (b[at++] < 128) break;
            }
            pixels.fill(n % 2 ? 256 : b[at++], p, p + Math.floor(n / 2));
            p += Math.floor(n / 2);
          }
          return pixels;
        };
        for (let m = 0; m < maps; ++m) {
          const map = { palette: out.palettes[u16()], own: layer(), beneath: layer(), placements: [],
                        byRow: Array.from({ length: 480 }, () => []) };
          for (let n = u16(), i = 0; i < n; ++i) {
            const pl = { sheet: b[at], rows: b[at + 1] };
            at += 2;
            Object.assign(pl, { image: u16(), x: i16(), y: i16(), caption: out.captions[u16()] });
            pl.width = SHEETS.get(NAMES[pl.sheet])[0];
            map.placements.push(pl);
            for (let y = Math.max(0, pl.y); y < Math.min(480, pl.y + pl.rows); ++y) map.byRow[y].unshift(pl);
          }
          out.maps.push(map);
        }
        return out;
      });
      return art;
    }
    // What draws pixel p of `map` over `sheets`: { index } for the program's own pixel, else
    // the placement, the pixel inside its image and its index.
    function drawer(map, p, sheets, clear) {
      if (map.own[p] !== 256) return { index: map.own[p] };
      const px = p % 640, py = Math.floor(p / 640);
      for (const pl of map.byRow[py]) {  // the topmost first
        if (px < pl.x || px >= pl.x + pl.width) continue;
        const [w, h] = SHEETS.get(NAMES[pl.sheet]), x = px - pl.x, y = py - pl.y;
        const bytes = sheets[NAMES[pl.sheet]], at = pl.image * w * h + y * w + x;
        const index = bytes && at < bytes.length ? bytes[at] : 255;  // read past the end: 255, as the program
        if (pl.sheet === clear && index === 0) {
          if (map.beneath[p] !== 256) return { index: map.beneath[p] };
          continue;
        }
        return { pl, x, y, index };
      }
      return { index: 0 };
    }
    // The hold on show: the map whose picture differs least from the canvas.
    function onShow(data) {
      const sheets = lastSheets || {};
      const lengths = JSON.stringify(Object.keys(sheets).map((n) => sheets[n].length));
      const current = known && known.shows === state.shows && known.sheets === lengths && known.reloads === state.reloads;
      if (current) return known.map;
      const shown = context.getImageData(0, 0, 640, 480).data;
      // The program's cursor, where the last wait began, is no hold's.
      const [cx, cy] = state.cursor || [-99, -99];
      let best = null, fewest = Infinity;
      // The hold matched last first: most new pictures are of it, and a perfect match ends the search.
      const maps = known ? [known.map, ...data.maps.filter((m) => m !== known.map)] : data.maps;
      for (const map of maps) {
        if (fewest === 0) break;
        let wrong = 0;
        for (let p = 0; p < 640 * 480 && wrong < fewest; ++p) {
          const px = p % 640, py = (p - px) / 640;
          if (px >= cx && px < cx + 12 && py >= cy && py < cy + 19) continue;
          const c = drawer(map, p, sheets, data.clear).index * 3;
          const q = p * 4;
          const [r, g, b] = [map.palette[c], map.palette[c + 1], map.palette[c + 2]];
          wrong += r !== shown[q] || g !== shown[q + 1] || b !== shown[q + 2];
        }
        if (wrong < fewest) [best, fewest] = [map, wrong];
      }
      known = { shows: state.shows, reloads: state.reloads, sheets: lengths, map: best, wrong: fewest };
      return best;
    }
    async function inspect(x, y) {
      const data = await artData();
      if (!(x >= 0 && x < 640 && y >= 0 && y < 480)) return null;
      const d = drawer(onShow(data), Math.floor(y) * 640 + Math.floor(x), lastSheets || {}, data.clear);
      return d.pl ? { sheet: NAMES[d.pl.sheet], image: d.pl.image, x: d.x, y: d.y, index: d.index,
                      ...(d.pl.caption !== undefined && d.pl.sheet === 0 ? { caption: d.pl.caption } : {}) } : null;
    }
    let pointed = null;
    function point(e) {
      const r = view.getBoundingClientRect();
      const x = ((e.clientX - r.left) * 640) / r.width, y = ((e.clientY - r.top) * 480) / r.height;
      inspect(x, y).then((what) => {
        pointed = what;
        $('point').textContent = !what
          ? `${Math.floor(x)}, ${Math.floor(y)}: drawn by the program itself (text, panels, background)`
          : `${what.sheet}, image ${what.image}, pixel ${what.x}, ${what.y}, index ${what.index}` +
            (what.caption ? ': ' + what.caption : '');
        $('take').hidden = !what;
      }, (e) => { $('point').textContent = 'Pointing is not available: ' + e.message; });
    }

    for (const name of SHEETS.keys()) $('sheet').append(new Option(name, name));
    document.getElementById('studio-open').hidden = !STUDIO;
    document.getElementById('studio-open').addEventListener('click', () => open(panel.hidden));
    $('close').addEventListener('click', () => open(false));
    $('save').addEventListener('click', () => queued((m) => {
      const [sheet, k] = [$('sheet').value, Number($('image').value)];
      save(stem(sheet) + '-' + k + '.png', exported(m, sheet, k, false), 'image/png');
    }).catch((e) => say(e.message, true)));
    $('numbered').addEventListener('click', () => queued((m) => {
      const sheet = $('sheet').value;
      save(stem(sheet) + '-numbered.png', exported(m, sheet, 0, true), 'image/png');
    }).catch((e) => say(e.message, true)));
    $('choose').addEventListener('click', () => $('file').click());
    $('take').addEventListener('click', () => {
      if (pointed) [$('sheet').value, $('image').value] = [pointed.sheet, pointed.image];
    });
    $('file').addEventListener('change', () => {
      const file = $('file').files[0];
      $('file').value = '';  // so that the same file, painted again, can be chosen again
      if (file) importFile(file, true);
    });
    $('undo').addEventListener('click', () => undo());
    $('discard').addEventListener('click', () => discard());
    $('all').addEventListener('click', () => queued((m) => download(m, [...SHEETS.keys()].filter((n) => read(m, n)))));
    panel.addEventListener('dragover', (e) => { e.preventDefault(); panel.classList.add('dragging'); });
    panel.addEventListener('dragleave', () => panel.classList.remove('dragging'));
    panel.addEventListener('drop', () => panel.classList.remove('dragging'));
    // Leaving with changes not downloaded asks first.
    addEventListener('beforeunload', (e) => {
      if (!unsaved) return;
      e.preventDefault();
      e.returnValue = '';
    });

    return {
      open, adopt, importFile, point,
      api: {
        exportImage: (sheet, k) => queued((m) => exported(m, sheet, k, false)),
        exportPreview: (sheet) => queued((m) => exported(m, sheet, 0, true)),
        sheet: (name) => queued((m) => read(m, name)),
        importImage, undo, restore, discard,
        check: () => queued((m) => check(m)),
        inspect,
        hold: () => known && { wrong: known.wrong },  // pixels unlike the picture of the hold matched
      },
    };
  }

  // ?sheets=FOLDER, with or without the slash at the end.
  const sample = fromDisk ? null : fetchSheets((query.get('sheets') || 'sample').replace(/\/*$/, '/'));
  fit();
  listen();
  if (query.has('studio') && STUDIO) studio.open(true);
  // Work kept in this browser shows on the Studio button (the studio offers it for the sheets it was done on).
  if (STUDIO && window.indexedDB && indexedDB.databases) {
    indexedDB.databases().then((all) => all.some((d) => d.name === 'pixshow-studio') && new Promise((resolve) => {
      const opening = indexedDB.open('pixshow-studio', 1);
      opening.onupgradeneeded = () => opening.result.createObjectStore('work');
      opening.onerror = () => resolve(0);
      opening.onsuccess = () => {
        const counting = opening.result.transaction('work').objectStore('work').count();
        counting.onsuccess = () => { opening.result.close(); resolve(counting.result); };
        counting.onerror = () => { opening.result.close(); resolve(0); };
      };
    })).then((n) => { if (n) document.getElementById('studio-open').textContent = 'Studio (work kept)'; }, () => {});
  }
  const start = async () => {
    if (fromDisk) {
      tell('This page needs a web server to load the program: run ./run web in the pixshow folder (or serve this ' +
           'folder with any static web server, such as python3 -m http.server) and open the address it prints.', false);
      return;
    }
    const mine = lastChoice, sheets = await sample;
    if (mine === lastChoice) play(sheets);  // unless the visitor's own came first
  };
  return { state, start, playOwn, studio: studio.api };
})();
