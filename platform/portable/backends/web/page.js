// The pixshow page: plays the presentation (pixshow.js and pixshow.wasm, the
// program built with Emscripten) on the canvas, with the sample art from
// sample/ (or ?sheets=FOLDER) or with six sheets the visitor drops or chooses.
'use strict';

const pixshowPage = (() => {
  // Every sheet the program reads: [image width, image height, images the
  // presentation draws] (filled in by the build from the program's own table).
  const SHEETS = new Map(Object.entries(JSON.parse('@PIXSHOW_SHEET_JSON@')));
  // The keys the program reads, by the page's key names: the virtual-key codes.
  const KEYS = {
    Escape: 0x1b, ' ': 0x20, Enter: 0x0d, ArrowRight: 0x27, PageDown: 0x22, ArrowLeft: 0x25, PageUp: 0x21,
    Backspace: 0x08, Home: 0x24, F12: 0x7b, PrintScreen: 0x2c,
  };
  // ?screen=N&delay=SECONDS&loop=1: the program's --screen, --delay and --loop.
  const query = new URLSearchParams(location.search);
  const options = [];
  if (query.get('screen')) options.push('--screen', query.get('screen'));
  if (query.get('delay')) options.push('--delay', query.get('delay'));
  if (query.get('loop') === '1') options.push('--loop');
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
  const note = document.getElementById('note');
  const own = document.getElementById('own');
  // What the tests and the benchmark read: waits begun, the first pause begun
  // since the last press or the run's start ([ms, when]) and the last press
  // (when), on performance.now()'s clock.
  const state = { waits: 0, cursor: null, status: null, missing: null, firstScreenMs: null, runs: 0, reloads: 0,
                  pause: null, pressMs: null };
  // Opened from disk, the browser fetches nothing: the page says how to serve it.
  const fromDisk = location.protocol === 'file:';
  // The program's code, fetched and compiled once, at once, for every run.
  const code = fromDisk ? null : WebAssembly.compileStreaming(fetch('pixshow.wasm'))
    .catch(() => fetch('pixshow.wasm').then((r) => r.arrayBuffer()).then((b) => WebAssembly.compile(b)));
  let run = null;        // the Emscripten module playing now
  let lastSheets = null; // the sheets of the last run, for "play again"
  let lastChoice = 0;    // counts the visitor's drops and choices: only the last one plays
  let whyMissing = {};   // a served sheet that could not be read: why (its address and the reason)
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

  function fit() {
    const ratio = window.devicePixelRatio || 1;
    where = place(Math.round(innerWidth * ratio), Math.round(innerHeight * ratio), scale.value);
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
    const meets = picture.bottom > innerHeight - bar.height - 6 && picture.right > innerWidth - bar.width - 10;
    own.classList.toggle('tucked', meets);
  }

  function tell(text, offerAgain) {
    document.getElementById('note-text').textContent = text;
    document.getElementById('again').hidden = !offerAgain;
    note.style.display = 'block';
  }

  function play(sheets) {
    if (run) {
      run.pixshowRetired = true;  // ends when it next wakes
      if (run.pixshowWake) run.pixshowWake();
    }
    note.style.display = 'none';
    Object.assign(state, { waits: 0, cursor: null, status: null, missing: null, pause: null, pressMs: null });
    state.runs++;
    lastSheets = sheets;
    const given = new Set(Object.keys(sheets));  // a sheet not among them: why, if the fetch knows
    const module = {
      instantiateWasm(imports, receive) {
        code.then((m) => WebAssembly.instantiate(m, imports).then((instance) => receive(instance, m)))
          .catch((e) => tell('The program could not be loaded: ' + e, false));
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
        const found = /cannot open image sheet "([^"]+)"/.exec(line);
        if (found) state.missing = found[1];
        // A screenshot (F12) is offered as a download and leaves the page's memory.
        const shot = /screenshot saved as (\S+)$/.exec(line);
        if (shot) offer(shot[1], module.FS);
      },
      pixshowShow(pixels, width, height) {
        context.putImageData(new ImageData(new Uint8ClampedArray(pixels), width, height), 0, 0);
        render();
      },
      pixshowWait(x, y) {
        state.waits++;
        state.cursor = [x, y];
        if (state.firstScreenMs === null) state.firstScreenMs = performance.now();
      },
      pixshowPause(ms) {
        if (state.pause === null) state.pause = [ms, performance.now()];
      },
      onExit(status) {
        if (module.pixshowRetired) return;
        run = null;
        state.status = status;
        if (document.pointerLockElement) document.exitPointerLock();
        if (status === 1) {
          const why = given.has(state.missing) ? null : whyMissing[state.missing];
          tell('The sheet "' + (state.missing || '?') + '" could not be opened' + (why ? ' (' + why + ')' : '') +
               ', so the presentation stopped.', true);
        } else if (status === 0) {
          tell('The presentation has ended.', true);
        } else {
          tell('The presentation could not start (status ' + status + '; the browser console says why).', true);
        }
      },
    };
    run = module;
    createPixshow(module);
  }

  function offer(path, fs) {
    const bytes = fs.readFile(path);
    fs.writeFile(path, new Uint8Array(0));  // the picture leaves memory, its name stays taken
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([bytes], { type: 'image/png' }));
    link.download = path.slice(path.lastIndexOf('/') + 1);
    offered.add(link.download);
    document.body.appendChild(link);
    link.click();
    link.remove();
    state.screenshots = (state.screenshots || []).concat([{ name: link.download, url: link.href }]);
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
    await Promise.all([...SHEETS].map(async ([name, [w, h, drawn]]) => {
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
    const problems = [], sheets = {}, ignored = [];
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
      tell('These sheets cannot be played:\n' + problems.join('\n') + left, run === null && lastSheets !== null);
      return;
    }
    // Playing, or on its way out (its end then keeps them for "play again").
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

  function listen() {
    addEventListener('resize', fit);
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
    });
    // A press of a mouse, a pen or a finger: a tap on a touch screen clicks
    // (the program holds its cursor on the button while it waits); only a
    // mouse has the pointer captured.
    view.addEventListener('pointerdown', (e) => {
      state.pressMs = e.timeStamp;
      state.pause = null;
      if (run && e.pointerType === 'mouse' && document.pointerLockElement !== view && view.requestPointerLock) {
        const locked = view.requestPointerLock();
        if (locked && locked.catch) locked.catch(() => {});
      }
      send('mouse_button', [0, 2, 1, 3][e.button] ?? 0, 1);
    });
    document.addEventListener('pointerup', (e) => send('mouse_button', [0, 2, 1, 3][e.button] ?? 0, 0));
    for (const [type, down] of [['keydown', 1], ['keyup', 0]]) {
      document.addEventListener(type, (e) => {
        if (!(e.key in KEYS) || e.ctrlKey || e.altKey || e.metaKey) return;
        if (run && e.key !== 'Escape') e.preventDefault();
        send('key', KEYS[e.key], down);
      });
    }
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
    note.addEventListener('click', () => { if (document.getElementById('again').hidden) note.style.display = 'none'; });
    const picker = document.getElementById('files');
    document.getElementById('choose').addEventListener('click', () => picker.click());
    picker.addEventListener('change', () => playOwn([...picker.files]));
    addEventListener('dragover', (e) => { e.preventDefault(); document.body.classList.add('dragging'); });
    addEventListener('dragleave', () => document.body.classList.remove('dragging'));
    addEventListener('drop', (e) => {
      e.preventDefault();
      document.body.classList.remove('dragging');
      const items = [...(e.dataTransfer.items || [])];
      const entries = items.map((i) => i.webkitGetAsEntry && i.webkitGetAsEntry()).filter(Boolean);
      const files = [...e.dataTransfer.files];
      const mine = ++lastChoice;
      droppedFiles(entries, files).then((all) => { if (mine === lastChoice) playOwn(all); });
    });
  }

  // ?sheets=FOLDER, with or without the slash at the end.
  const sample = fromDisk ? null : fetchSheets((query.get('sheets') || 'sample').replace(/\/*$/, '/'));
  fit();
  listen();
  const start = async () => {
    if (fromDisk) {
      tell('This page needs a web server to load the program: run ./run web in the pixshow folder (or serve this ' +
           'folder with any static web server, such as python3 -m http.server) and open the address it prints.', false);
      return;
    }
    const mine = lastChoice, sheets = await sample;
    if (mine === lastChoice) play(sheets);  // unless the visitor's own came first
  };
  return { state, start, playOwn };
})();
