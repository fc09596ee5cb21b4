#!/usr/bin/env python3
"""End-to-end check of the Windows program under Wine.

  wine_e2e.py imports --exe pixshow.exe --objdump x86_64-w64-mingw32-objdump
      The executable may import system DLLs only (static C and C++ runtimes).

  wine_e2e.py run --exe pixshow.exe --zip pixshow-VERSION-windows.zip
                  --capture pixshow-capture --input-helper send_input.exe --work DIR
      Starts a 640 x 480 X server of its own (Xvfb), runs pixshow.exe under
      Wine in a folder of synthetic image sheets, clicks through the eight
      screens, grabs the screen once each has settled and compares
      it with pixshow-capture's picture of the same screen from the same
      sheets: every pixel outside the captions must have the same colour, and
      every caption box must hold text. Also watches the palette change of
      the second screen and the pointer's confinement to the continue
      button during a wait. Then unpacks the Windows zip (checking that it
      holds the program, the sample art, README.txt and the licences) into
      a folder whose path has a space, checks its pixshow.exe's --version and
      status 2 for a missing folder, runs it from there with the sample
      folder's whole path as argument, compares the first screen
      with the capture of the sample art, and checks that Escape ends the
      program with status 0 and gives the display back. Last, a missing
      sheet ends it with status 1 after showing the load-failure message.

Exit status: 0 passed, 1 failed, 77 skipped (Wine cannot start here).
Needs wine, Xvfb, xdotool, xwd and ImageMagick's convert (scripts/deps test).
"""

import argparse
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import time
import zipfile

SKIP = 77
WIDTH, HEIGHT = 640, 480
WINDOW_TITLE = "DirectDraw Test for Game"

# The continue button: the program confines its cursor to it while it waits
# (right and bottom edges excluded).
BUTTON_LEFT, BUTTON_TOP, BUTTON_RIGHT, BUTTON_BOTTOM = 540, 435, 585, 447
BUTTON_X, BUTTON_Y = 550, 441

# A screen has settled once it has not changed for longer than the longest
# pause inside a screen (2000 ms).
SETTLE_SECONDS = 3.0
SCREEN_TIMEOUT = 60.0
EXIT_TIMEOUT = 20.0

WHITE = (255, 255, 255)
RED = (255, 0, 0)
BLUE = (0, 0, 255)
GREEN = (0, 255, 0)

# Every text on screen at each wait: (text, x, y, colour). Screen 8 still
# shows the title drawn on screen 7.
TITLE = ("Image Display", 260, 20, WHITE)
SCREEN_TEXTS = {
    1: [TITLE,
        ("Valiant", 60, 120, WHITE), ("Angel", 185, 120, WHITE),
        ("Merlin", 300, 120, WHITE), ("Death Watch", 400, 120, WHITE),
        ("Golden Sun", 525, 120, WHITE),
        ("The Slasher", 40, 210, WHITE), ("Marauder", 170, 210, WHITE),
        ("Fast Rider", 285, 210, WHITE), ("Dragon of Zil", 395, 210, WHITE),
        ("Chain Lightening", 510, 210, WHITE),
        ("Widow Maker", 40, 300, WHITE), ("The Rat", 175, 300, WHITE),
        ("Shield of Wan", 275, 300, WHITE), ("Night Stalker", 395, 300, WHITE),
        ("Hedgehog", 530, 300, WHITE),
        ("Some sample portraits of my game participants.", 50, 380, WHITE),
        ("These are all binary images - even the button.", 50, 410, WHITE)],
    2: [TITLE, ("Red Sun", 285, 130, RED),
        ("Change a palette entry and he's Blue Sun", 50, 380, WHITE),
        ("or Green Sun", 50, 400, WHITE), ("Back to normal.", 50, 420, WHITE)],
    3: [TITLE] + [(t, x, y, WHITE) for x, column in (
        (140, ("Gold", "Food", "Metal", "Furs", "Rate")),
        (280, ("Heroes", "Men", "Arms", "Skill", "People")),
        (418, ("Castles", "Support", "Flood", "Farm", "Wealth")))
        for t, y in zip(column, (119, 155, 190, 226, 263))]
       + [("Images for game stats.", 50, 380, WHITE)],
    4: [TITLE, ("Part of a battle map made with tiles created", 50, 380, WHITE),
        ("with the binary image drawing program.", 50, 400, WHITE),
        ("Summer version", 50, 420, WHITE)],
    5: [TITLE, ("Fall version", 50, 380, WHITE)],
    6: [TITLE, ("Winter version", 50, 380, WHITE)],
    7: [TITLE, ("Spring version", 50, 380, WHITE), ("Add some men", 50, 400, WHITE),
        ("100", 286, 136, WHITE), ("94", 328, 120, WHITE), ("61", 286, 168, WHITE),
        ("98", 328, 184, WHITE), ("55", 286, 200, WHITE), ("100", 370, 168, WHITE),
        ("Whose turn is it?", 50, 420, WHITE)],
    8: [TITLE, ("That's it folks.", 50, 380, WHITE),
        ("Thanks for watching.", 50, 400, WHITE)],
}

# Wine draws text with its own default font, the capture with the layer's:
# the boxes are generous enough for either.
def text_box(text, x, y):
    return (max(0, x - 3), max(0, y - 3),
            min(WIDTH, x + 11 * len(text) + 12), min(HEIGHT, y + 23))


# Fewest text-coloured pixels a caption box must hold (a short number holds
# a few dozen in either font).
MIN_TEXT_PIXELS = 8


class Failure(Exception):
    pass


def end_with_parent():
    """Run in a child before it starts: it gets SIGTERM when this script
    ends, even if the script is killed outright."""
    try:
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


def log(message):
    print(message, flush=True)


# ---------------------------------------------------------------- sheets ---

# (file, width, height, images), read from the build's sheet table (see
# load_sheet_table). Enough images for every index the presentation uses, in
# the table's order: portraits, button, stat icons, tiles, pieces, borders.
IMAGE_COUNTS = (20, 1, 9, 36, 5, 2)
SHEETS = []
PORTRAITS, STAT_ICONS, BORDERS = 0, 2, 5


def load_sheet_table(path):
    with open(path) as table:
        rows = [line.rstrip("\n").split("\t") for line in table if line.strip()]
    SHEETS[:] = [(name, int(w), int(h), n) for (name, w, h), n in zip(rows, IMAGE_COUNTS)]

# Palette indices that are white (15, 80, 255) or red (4) after set-up are
# kept out of the artwork, so that text-coloured pixels in a caption box can
# only be text.
TEXT_INDICES = {4, 15, 80, 255}

# Portrait 4 (the palette-change screen) holds a band of index 4, the entry
# that the program turns blue, green and red again.
PALETTE_BAND_ROWS = range(20, 26)
PALETTE_BAND_ORIGIN = (270, 60)


def sheet_byte(sheet, image, row, column):
    """One pixel of the synthetic sheets: tells sheet, image, row and column."""
    if sheet == SHEETS[BORDERS][0]:
        # A frame with a sparse pattern; 0 inside is transparent.
        edge = row < 3 or row >= 29 or column < 3 or column >= 39
        if not edge and (row + column + image) % 5:
            return 0
    if sheet == SHEETS[PORTRAITS][0] and image == 4 and row in PALETTE_BAND_ROWS:
        return 4
    number = [s[0] for s in SHEETS].index(sheet)
    value = (number * 41 + image * 23 + row * 7 + column * 3) % 256
    while value in TEXT_INDICES or value == 0:
        value = (value + 1) % 256
    return value


def write_sheets(folder, skip=()):
    os.makedirs(folder, exist_ok=True)
    for name, width, height, images in SHEETS:
        if name in skip:
            continue
        data = bytearray()
        for image in range(images):
            for row in range(height):
                data.extend(sheet_byte(name, image, row, column) for column in range(width))
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def folder_listing(folder):
    return sorted((name, os.path.getsize(os.path.join(folder, name)))
                  for name in os.listdir(folder))


# ----------------------------------------------------------- processes ---

class Session:
    """Every process the test starts, so that all of them end with it."""

    def __init__(self, work, input_helper):
        self.work = work
        self.input_helper = input_helper
        self.xvfb = None
        self.display = None
        self.programs = []
        self.env = None

    def start_display(self):
        # Wine's DirectDraw shows an 8-bit palettized mode through the X
        # server. On an 8-bit PseudoColor screen Wine 8 does not load the
        # DirectDraw palette into the X colormap (it only sets the colour
        # table of its own surface memory and maps that to the 20 static
        # system colours), so the colours on screen would not be the program's.
        # On a 24-bit screen Wine keeps the 8-bit mode (one byte a pixel,
        # pitch, palette) and shows every palette entry exactly.
        # A display number of its own, taken the way X servers take one (a
        # lock file that the server writes), away from the usual low numbers.
        log_file = open(os.path.join(self.work, "xvfb.log"), "w")
        for number in range(140, 400):
            if (os.path.exists("/tmp/.X%d-lock" % number)
                    or os.path.exists("/tmp/.X11-unix/X%d" % number)):
                continue
            self.xvfb = subprocess.Popen(
                ["Xvfb", ":%d" % number, "-screen", "0", "%dx%dx24" % (WIDTH, HEIGHT),
                 "-nolisten", "tcp", "-noreset"],
                stdout=subprocess.DEVNULL, stderr=log_file, preexec_fn=end_with_parent)
            deadline = time.monotonic() + 20
            while (self.xvfb.poll() is None and time.monotonic() < deadline
                   and not os.path.exists("/tmp/.X11-unix/X%d" % number)):
                time.sleep(0.1)
            if self.xvfb.poll() is None and os.path.exists("/tmp/.X11-unix/X%d" % number):
                self.display = ":%d" % number
                break
            # Taken meanwhile by another server, or ours did not start.
            if self.xvfb.poll() is None:
                self.xvfb.kill()
            self.xvfb.wait()
        else:
            raise Failure("Xvfb did not start (see %s/xvfb.log)" % self.work)
        self.env = dict(os.environ,
                        DISPLAY=self.display,
                        WINEPREFIX=os.path.join(self.work, "wineprefix"),
                        WINEDEBUG="-all",
                        # No Mono or Gecko installation prompts.
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("WAYLAND_DISPLAY", None)
        log("X server %s (640 x 480, 24-bit)" % self.display)

    def start_wine(self):
        """Prepares the Wine prefix; False when Wine cannot start here."""
        started = time.monotonic()
        try:
            # A Wine server left from an interrupted run would still know the
            # old X server.
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
            result = subprocess.run(["wineboot", "-i"], env=self.env, timeout=180,
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            output = result.stdout.decode(errors="replace")
            ok = result.returncode == 0
            if ok:
                result = subprocess.run(["wine", "cmd", "/c", "exit 0"], env=self.env, timeout=60,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                output += result.stdout.decode(errors="replace")
                ok = result.returncode == 0
        except (OSError, subprocess.TimeoutExpired) as e:
            ok, output = False, str(e)
        if not ok:
            log("Wine cannot start on this machine:\n" + output.strip()[-2000:])
            return False
        log("Wine ready in %.1f s" % (time.monotonic() - started))
        return True

    def start_program(self, exe, folder, args=(), log_name=None):
        log_name = log_name or os.path.basename(folder) + ".log"
        out = open(os.path.join(self.work, log_name), "w")
        process = subprocess.Popen(["wine", exe] + list(args), cwd=folder, env=self.env,
                                   stdout=out, stderr=subprocess.STDOUT,
                                   preexec_fn=end_with_parent)
        self.programs.append(process)
        return process

    def send_click(self):
        subprocess.run(["wine", self.input_helper, "click"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + list(args), env=self.env, check=True,
                       stdout=subprocess.DEVNULL, timeout=20)

    def grab(self):
        """The whole X screen as 640 x 480 RGB bytes. A grab can fail while
        Wine switches the display mode: tries a few times."""
        for attempt in range(10):
            xwd = subprocess.run(["xwd", "-root", "-silent", "-display", self.display],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=20)
            if xwd.returncode == 0:
                try:
                    return to_rgb("xwd:-", xwd.stdout)
                except Failure as e:
                    error = str(e)
            else:
                error = xwd.stderr.decode(errors="replace").strip()
            if self.xvfb.poll() is not None:
                raise Failure("the X server ended (status %d)" % self.xvfb.returncode)
            log("  grab failed, trying again: %s" % error.splitlines()[0] if error else "")
            time.sleep(0.3)
        raise Failure("cannot grab the screen: %s" % error)

    def window_exists(self):
        result = subprocess.run(["xdotool", "search", "--name", "^%s$" % WINDOW_TITLE],
                                env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, timeout=20)
        return bool(result.stdout.strip())

    def pointer(self):
        result = subprocess.run(["xdotool", "getmouselocation", "--shell"], env=self.env,
                                stdout=subprocess.PIPE, check=True, timeout=20)
        values = dict(line.split("=", 1) for line in result.stdout.decode().split())
        return int(values["X"]), int(values["Y"])

    def screen_size(self):
        result = subprocess.run(["xdotool", "getdisplaygeometry"], env=self.env,
                                stdout=subprocess.PIPE, check=True, timeout=20)
        return tuple(int(v) for v in result.stdout.split())

    def close(self):
        for process in self.programs:
            if process.poll() is None:
                process.kill()
        if self.env is not None:
            # Ends every Wine process of this prefix (ours only).
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
        for process in self.programs:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        if self.xvfb is not None and self.xvfb.poll() is None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()


def to_rgb(source, data=None):
    """Any picture ImageMagick reads, as raw 8-bit RGB bytes."""
    result = subprocess.run(["convert", source, "-depth", "8", "rgb:-"], input=data,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    if result.returncode != 0 or len(result.stdout) != WIDTH * HEIGHT * 3:
        raise Failure("cannot read %s as a 640 x 480 picture: %s"
                      % (source, result.stderr.decode(errors="replace").strip()))
    return result.stdout


def save_png(rgb, path):
    subprocess.run(["convert", "-size", "%dx%d" % (WIDTH, HEIGHT), "-depth", "8", "rgb:-", path],
                   input=rgb, check=True, timeout=60)


def pixel(rgb, x, y):
    i = (y * WIDTH + x) * 3
    return tuple(rgb[i:i + 3])


# ---------------------------------------------------------- comparison ---

def compare(screen, grabbed, expected):
    """Problems found on one screen, as text lines."""
    problems = []
    boxes = [text_box(t, x, y) for t, x, y, _ in SCREEN_TEXTS[screen]]

    # Pixels outside every caption box: same colour.
    wrong = 0
    first = None
    bounds = [WIDTH, HEIGHT, -1, -1]
    for y in range(HEIGHT):
        masked = sorted((x0, x1) for x0, y0, x1, y1 in boxes if y0 <= y < y1)
        spans, start = [], 0
        for x0, x1 in masked:
            if x0 > start:
                spans.append((start, x0))
            start = max(start, x1)
        if start < WIDTH:
            spans.append((start, WIDTH))
        row = y * WIDTH * 3
        for x0, x1 in spans:
            a = grabbed[row + x0 * 3:row + x1 * 3]
            b = expected[row + x0 * 3:row + x1 * 3]
            if a == b:
                continue
            for x in range(x0, x1):
                if a[(x - x0) * 3:(x - x0) * 3 + 3] != b[(x - x0) * 3:(x - x0) * 3 + 3]:
                    wrong += 1
                    if first is None:
                        first = (x, y)
                    bounds = [min(bounds[0], x), min(bounds[1], y),
                              max(bounds[2], x), max(bounds[3], y)]
    if wrong:
        fx, fy = first
        problems.append("%d pixels outside the captions differ, within (%d,%d)-(%d,%d); first at "
                        "(%d,%d): Wine %s, capture %s"
                        % (wrong, bounds[0], bounds[1], bounds[2], bounds[3], fx, fy,
                           pixel(grabbed, fx, fy), pixel(expected, fx, fy)))

    # Every caption box: holds text in the caption's colour.
    for (text, x, y, colour), (x0, y0, x1, y1) in zip(SCREEN_TEXTS[screen], boxes):
        counts = []
        for picture in (grabbed, expected):
            counts.append(sum(1 for yy in range(y0, y1) for xx in range(x0, x1)
                              if pixel(picture, xx, yy) == colour))
        if counts[0] < MIN_TEXT_PIXELS or counts[1] < MIN_TEXT_PIXELS:
            problems.append("caption %r at (%d,%d): %d text pixels under Wine, %d in the capture"
                            % (text, x, y, counts[0], counts[1]))
    return problems


def band_colour(rgb):
    """Colour of the index-4 band of the palette-change portrait, or None."""
    x0, y0 = PALETTE_BAND_ORIGIN
    colours = {pixel(rgb, x0 + x, y0 + y) for y in PALETTE_BAND_ROWS for x in range(0, 82, 9)}
    return colours.pop() if len(colours) == 1 else None


# -------------------------------------------------------------- driving ---

class Driver:
    def __init__(self, session, process, deadline):
        self.session = session
        self.process = process
        self.deadline = deadline
        self.colours_seen = []  # colours of the palette band, in order of appearance

    def check_time(self):
        if time.monotonic() > self.deadline:
            raise Failure("out of time")

    def settle(self, what, watch_band=False):
        """Grabs until the screen has not changed for SETTLE_SECONDS. A
        black screen (the program starting up) does not count as settled."""
        last = self.session.grab()
        since = time.monotonic()
        black = bytes(len(last))
        limit = since + SCREEN_TIMEOUT
        while True:
            self.check_time()
            if self.process.poll() is not None:
                raise Failure("%s: the program ended early with status %d"
                              % (what, self.process.returncode))
            if watch_band:
                colour = band_colour(last)
                if colour and (not self.colours_seen or self.colours_seen[-1] != colour):
                    self.colours_seen.append(colour)
            now = time.monotonic()
            if now - since >= SETTLE_SECONDS and last != black:
                return last
            if now > limit:
                raise Failure("%s: the screen did not settle within %d s" % (what, SCREEN_TIMEOUT))
            time.sleep(0.2)
            current = self.session.grab()
            if current != last:
                last, since = current, time.monotonic()

    def click(self, what, before, last_screen=False):
        """Clicks the continue button: the pointer onto it, then the first
        button pressed, held 300 ms and released through the input helper
        (see send_input.cpp for why not through X). Clicks again if the
        screen does not change."""
        for attempt in range(3):
            self.session.xdotool("mousemove", str(BUTTON_X), str(BUTTON_Y))
            self.session.send_click()
            limit = time.monotonic() + 8
            while time.monotonic() < limit:
                if self.process.poll() is not None:
                    return
                if not last_screen and self.session.grab() != before:
                    return
                time.sleep(0.2)
            log("  %s: no reaction to the click, clicking again" % what)
        raise Failure("%s: the click was not taken" % what)

    def press_escape(self):
        self.session.xdotool("keydown", "Escape")
        time.sleep(0.3)
        self.session.xdotool("keyup", "Escape")

    def wait_exit(self, what):
        try:
            return self.process.wait(timeout=EXIT_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("%s: the program did not end within %d s" % (what, EXIT_TIMEOUT))


def run_presentation(session, exe, work, expected_dir, deadline):
    folder = os.path.join(work, "run-all")
    write_sheets(folder)
    before = folder_listing(folder)
    grabs = os.path.join(work, "wine")
    os.makedirs(grabs, exist_ok=True)
    started = time.monotonic()
    driver = Driver(session, session.start_program(exe, folder), deadline)
    problems = []
    for screen in range(1, 9):
        what = "screen %d" % screen
        grabbed = driver.settle(what, watch_band=(screen == 2))
        expected = to_rgb(os.path.join(expected_dir, "screen-%d.png" % screen))
        found = compare(screen, grabbed, expected)
        if found:
            # A screen that paused longer than usual while drawing: look again.
            again = driver.settle(what, watch_band=(screen == 2))
            if again != grabbed:
                grabbed, found = again, compare(screen, again, expected)
        save_png(grabbed, os.path.join(grabs, "screen-%d.png" % screen))
        log("%s: %s (%.1f s)" % (what, "same as the capture" if not found else "DIFFERENT",
                                 time.monotonic() - started))
        problems += ["%s: %s" % (what, p) for p in found]
        if screen == 1:
            # While the program waits, the pointer cannot leave the button.
            session.xdotool("mousemove", "100", "100")
            time.sleep(0.3)
            x, y = session.pointer()
            if not (BUTTON_LEFT <= x < BUTTON_RIGHT and BUTTON_TOP <= y < BUTTON_BOTTOM):
                problems.append("screen 1: the pointer went to (%d,%d), outside the button" % (x, y))
            else:
                log("screen 1: the pointer stays on the button (%d,%d)" % (x, y))
        if screen == 2:
            shown = [c for c in driver.colours_seen if c in (RED, BLUE, GREEN)]
            if shown != [RED, BLUE, GREEN, RED]:
                problems.append("screen 2: the changed palette entry showed %s on screen, not red, "
                                "blue, green and red again" % shown)
            else:
                log("screen 2: palette entry 4 showed red, blue, green and red again")
        driver.click(what, grabbed, last_screen=(screen == 8))
    status = driver.wait_exit("after the last screen")
    if status != 0:
        problems.append("after the last screen: status %d, not 0" % status)
    if folder_listing(folder) != before:
        problems.append("the program changed its folder: %s" % folder_listing(folder))
    log("whole presentation: %.1f s" % (time.monotonic() - started))
    return problems


def unpack_zip(zip_path, work, capture):
    """Unpacks the Windows zip into a folder whose path has a space; returns
    the problems found in its listing, the unpacked folder and the capture
    folder of its sample art."""
    name = os.path.basename(zip_path)[:-len(".zip")]
    into = os.path.join(work, "unpacked zip")
    with zipfile.ZipFile(zip_path) as z:
        listing = {n.rstrip("/") for n in z.namelist()}
        z.extractall(into)
    folder = os.path.join(into, name)
    wanted = ["pixshow.exe", "README.txt", "LICENSE.txt", "LICENSE-DejaVu.txt", "sample"]
    wanted += ["sample/" + sheet[0] for sheet in SHEETS]
    problems = ["zip: no %s/%s" % (name, w) for w in wanted if "%s/%s" % (name, w) not in listing]
    readme = open(os.path.join(folder, "README.txt"), "rb").read() if not problems else b""
    for text in (b"pixshow.exe sample", b"Escape", b"Exit status", b"Your own art", b"pixsheet"):
        if text not in readme:
            problems.append("zip: README.txt does not tell %r" % text.decode())
    if b"\n" in readme.replace(b"\r\n", b""):
        problems.append("zip: README.txt has lines not ended by CR LF")
    expected = os.path.join(work, "capture-zip")
    result = subprocess.run([capture, "--sheets", os.path.join(folder, "sample"), "--out", expected],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    if result.returncode != 0:
        problems.append("pixshow-capture on the zip's sample art: status %d" % result.returncode)
    log("zip: %d entries%s" % (len(listing), "" if problems else ", all there"))
    return problems, folder, expected


def run_zip_escape(session, zip_path, capture, work, deadline):
    problems, folder, expected = unpack_zip(zip_path, work, capture)
    if problems:
        return problems
    # The folder as Windows names it (Wine's drive Z: is the root), quoted by
    # Wine on the command line for its space.
    sample = "Z:" + os.path.join(folder, "sample").replace("/", "\\")
    # --version, and a missing folder refused with status 2.
    exe = os.path.join(folder, "pixshow.exe")
    for arg, status, said in (("--version", 0, "pixshow "), (sample + " 2", 2, "no such folder")):
        result = subprocess.run(["wine", exe, arg], cwd=folder, env=session.env, timeout=60,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if result.returncode != status or said.encode() not in result.stdout:
            problems.append("pixshow.exe %s: status %d, %r" % (arg, result.returncode, result.stdout))
    process = session.start_program(exe, folder, [sample], log_name="run-zip.log")
    driver = Driver(session, process, deadline)
    grabbed = driver.settle("zip run, screen 1")
    found = compare(1, grabbed, to_rgb(os.path.join(expected, "screen-1.png")))
    save_png(grabbed, os.path.join(work, "zip-screen-1.png"))
    problems += ["zip run, screen 1: %s" % p for p in found]
    driver.press_escape()
    status = driver.wait_exit("after Escape")
    if status != 0:
        problems.append("Escape: status %d, not 0" % status)
    time.sleep(0.5)
    if session.window_exists():
        problems.append("Escape: the program's window is still on the display")
    if session.screen_size() != (WIDTH, HEIGHT):
        problems.append("Escape: the display was left at %s" % (session.screen_size(),))
    log("zip run: first screen %s; Escape: status %d%s"
        % ("as captured" if not found else "DIFFERENT", status,
           ", display given back" if not problems else ""))
    return problems


def run_missing_sheet(session, exe, work, deadline):
    folder = os.path.join(work, "run-missing")
    write_sheets(folder, skip=(SHEETS[STAT_ICONS][0],))
    before = folder_listing(folder)
    driver = Driver(session, session.start_program(exe, folder), deadline)
    # The stat icons are the third screen: clicks through the first two.
    for screen in (1, 2):
        what = "missing-sheet run, screen %d" % screen
        driver.click(what, driver.settle(what))
    # The load-failure message shows while the program ends.
    message = ("Load Failure", 30, 430, WHITE)
    box = text_box(*message[:3])
    message_seen = False
    limit = time.monotonic() + EXIT_TIMEOUT
    while driver.process.poll() is None and time.monotonic() < limit:
        rgb = session.grab()
        count = sum(1 for y in range(box[1], box[3]) for x in range(box[0], box[2])
                    if pixel(rgb, x, y) == WHITE)
        message_seen = message_seen or count >= MIN_TEXT_PIXELS
        time.sleep(0.2)
    status = driver.wait_exit("with Divadude.pix missing")
    problems = []
    if status != 1:
        problems.append("missing sheet: status %d, not 1" % status)
    if not message_seen:
        problems.append("missing sheet: no %r on the screen at (30,430)" % message[0])
    if folder_listing(folder) != before:
        problems.append("missing sheet: the folder changed: %s" % folder_listing(folder))
    log("missing sheet: status %d%s" % (status, ", load-failure message shown" if message_seen else ""))
    return problems


def command_run(args):
    load_sheet_table(args.sheet_table)
    for tool in ("wine", "wineboot", "wineserver", "Xvfb", "xdotool", "xwd", "convert"):
        if shutil.which(tool) is None:
            log("FAIL: %s is not installed (scripts/deps test installs it)" % tool)
            return 1
    for path in (args.exe, args.zip, args.capture, args.input_helper):
        if not os.path.isfile(path):
            log("FAIL: %s does not exist" % path)
            return 1

    started = time.monotonic()
    deadline = started + args.time_limit
    work = os.path.abspath(args.work)
    # The Wine prefix is kept between runs: making it takes most of a minute.
    for name in os.listdir(work) if os.path.isdir(work) else ():
        if name != "wineprefix":
            path = os.path.join(work, name)
            shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    os.makedirs(work, exist_ok=True)

    sheets = os.path.join(work, "sheets")
    write_sheets(sheets)
    expected = os.path.join(work, "capture")
    result = subprocess.run([os.path.abspath(args.capture), "--sheets", sheets, "--out", expected],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    if result.returncode != 0:
        log("FAIL: pixshow-capture ended with status %d:\n%s"
            % (result.returncode, result.stdout.decode(errors="replace")))
        return 1

    session = Session(work, os.path.abspath(args.input_helper))

    def stop(signum, frame):
        raise SystemExit(128 + signum)
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, stop)

    problems = []
    try:
        session.start_display()
        if not session.start_wine():
            log("SKIPPED: Wine cannot start on this machine")
            return SKIP
        exe = os.path.abspath(args.exe)
        problems += run_presentation(session, exe, work, expected, deadline)
        problems += run_zip_escape(session, os.path.abspath(args.zip),
                                   os.path.abspath(args.capture), work, deadline)
        problems += run_missing_sheet(session, exe, work, deadline)
    except Failure as e:
        problems.append(str(e))
    finally:
        session.close()
    log("Wine test took %.1f s" % (time.monotonic() - started))
    if problems:
        for name in ("run-all.log", "run-zip.log", "run-missing.log"):
            path = os.path.join(work, name)
            if os.path.isfile(path) and os.path.getsize(path):
                with open(path, errors="replace") as f:
                    log("%s (last lines):\n%s" % (name, "".join(f.readlines()[-15:])))
        log("FAIL:\n  " + "\n  ".join(problems))
        log("Pictures: %s/wine (grabbed) and %s (capture)" % (work, expected))
        return 1
    log("PASS")
    return 0


def command_imports(args):
    """The executable imports only DLLs that every Windows installation has."""
    system = {"kernel32.dll", "user32.dll", "gdi32.dll", "ddraw.dll", "dinput.dll",
              "msvcrt.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "winmm.dll"}
    result = subprocess.run([args.objdump, "-p", args.exe], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    if result.returncode != 0:
        log("FAIL: %s" % result.stdout.decode(errors="replace"))
        return 1
    dlls = [line.split(":", 1)[1].strip() for line in result.stdout.decode().splitlines()
            if line.strip().startswith("DLL Name:")]
    log("imports: " + " ".join(dlls))
    others = [d for d in dlls if d.lower() not in system]
    if not dlls or others:
        log("FAIL: imports beyond the system DLLs: %s" % (others or "none found at all"))
        return 1
    for needed in ("ddraw.dll", "dinput.dll", "gdi32.dll", "user32.dll"):
        if needed not in (d.lower() for d in dlls):
            log("FAIL: %s is not imported" % needed)
            return 1
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    run = commands.add_parser("run", help="play the program under Wine and compare with the capture")
    run.add_argument("--exe", required=True)
    run.add_argument("--zip", required=True, help="the Windows zip")
    run.add_argument("--sheet-table", required=True, help="the build's sheets.tsv")
    run.add_argument("--capture", required=True)
    run.add_argument("--input-helper", required=True, help="send_input.exe")
    run.add_argument("--work", required=True, help="folder for sheets, pictures and the Wine prefix")
    run.add_argument("--time-limit", type=float, default=480, help="seconds for the whole run")
    imports = commands.add_parser("imports", help="list the DLLs the executable imports")
    imports.add_argument("--exe", required=True)
    imports.add_argument("--objdump", required=True)
    args = parser.parse_args()
    return command_run(args) if args.command == "run" else command_imports(args)


if __name__ == "__main__":
    sys.exit(main())
