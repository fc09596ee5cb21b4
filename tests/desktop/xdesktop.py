"""What the end-to-end checks on an X desktop and bench/run-bench share: a private Xvfb under
openbox (or bare, or with weston on it), Wine on it, the synthetic sheets, screen grabs compared
with pixshow-capture's pictures, a covering window and focus changes.

  xdesktop.py with-display [--bare] [--size WxH] -- COMMAND...
      Runs COMMAND on a private Xvfb, under openbox unless --bare; exits with COMMAND's status.
"""

import argparse
import contextlib
import ctypes
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

WIDTH, HEIGHT = 640, 480
WINDOW_TITLE = "DirectDraw Test for Game"

# The continue button: the program confines its cursor to it while it waits (right and bottom
# edges excluded).
BUTTON_LEFT, BUTTON_TOP, BUTTON_RIGHT, BUTTON_BOTTOM = 540, 435, 585, 447
BUTTON_X, BUTTON_Y = 550, 441

# The longest pause inside a screen, a caption's: a screen has settled after a longer still spell.
CAPTION_PAUSE_SECONDS = 2.0
SETTLE_SECONDS = CAPTION_PAUSE_SECONDS + 1.0
SCREEN_TIMEOUT = 60.0
EXIT_TIMEOUT = 20.0

WHITE, RED, BLUE, GREEN = (255, 255, 255), (255, 0, 0), (0, 0, 255), (0, 255, 0)

# Every text on screen at each wait, (text, x, y), white but "Red Sun". Screen 8 still shows the
# title drawn on screen 7.
TITLE = ("Image Display", 260, 20)
SCREEN_TEXTS = {
    1: [TITLE] + [(t, x, y) for y, row in (
        (120, (("Valiant", 60), ("Angel", 185), ("Merlin", 300), ("Death Watch", 400),
               ("Golden Sun", 525))),
        (210, (("The Slasher", 40), ("Marauder", 170), ("Fast Rider", 285),
               ("Dragon of Zil", 395), ("Chain Lightening", 510))),
        (300, (("Widow Maker", 40), ("The Rat", 175), ("Shield of Wan", 275),
               ("Night Stalker", 395), ("Hedgehog", 530)))) for t, x in row]
       + [("Some sample portraits of my game participants.", 50, 380),
          ("These are all binary images - even the button.", 50, 410)],
    2: [TITLE, ("Red Sun", 285, 130), ("Change a palette entry and he's Blue Sun", 50, 380),
        ("or Green Sun", 50, 400), ("Back to normal.", 50, 420)],
    3: [TITLE] + [(t, x, y) for x, column in (
        (140, ("Gold", "Food", "Metal", "Furs", "Rate")),
        (280, ("Heroes", "Men", "Arms", "Skill", "People")),
        (418, ("Castles", "Support", "Flood", "Farm", "Wealth")))
        for t, y in zip(column, (119, 155, 190, 226, 263))] + [("Images for game stats.", 50, 380)],
    4: [TITLE, ("Part of a battle map made with tiles created", 50, 380),
        ("with the binary image drawing program.", 50, 400), ("Summer version", 50, 420)],
    5: [TITLE, ("Fall version", 50, 380)],
    6: [TITLE, ("Winter version", 50, 380)],
    7: [TITLE, ("Spring version", 50, 380), ("Add some men", 50, 400), ("100", 286, 136),
        ("94", 328, 120), ("61", 286, 168), ("98", 328, 184), ("55", 286, 200), ("100", 370, 168),
        ("Whose turn is it?", 50, 420)],
    8: [TITLE, ("That's it folks.", 50, 380), ("Thanks for watching.", 50, 400)],
}

# Generous enough for Wine's default font and the layer's.
def text_box(text, x, y):
    return (max(0, x - 3), max(0, y - 3),
            min(WIDTH, x + 11 * len(text) + 12), min(HEIGHT, y + 23))


MIN_TEXT_PIXELS = 8  # in a caption box (a short number has a few dozen in either font)


class Failure(Exception):
    pass


def end_with_parent():  # in the child: SIGTERM when this script dies, even killed outright
    with contextlib.suppress(OSError, AttributeError):
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def log(message):
    print(message, flush=True)


# ---------------------------------------------------------------- sheets ---

# (file, width, height, images) from the build's sheet table, in its order: portraits, button,
# stat icons, tiles, pieces, borders.
IMAGE_COUNTS = (20, 1, 9, 36, 5, 2)
SHEETS = []
PORTRAITS, STAT_ICONS, BORDERS = 0, 2, 5


def load_sheet_table(path):
    with open(path) as table:
        rows = [line.rstrip("\n").split("\t") for line in table if line.strip()]
    SHEETS[:] = [(name, int(w), int(h), n) for (name, w, h), n in zip(rows, IMAGE_COUNTS)]

# White (15, 80, 255) and red (4) are kept out of the artwork: text-coloured pixels are text.
TEXT_INDICES = {4, 15, 80, 255}
# Portrait 4 holds a band of index 4, the entry the program turns blue, green and red again.
PALETTE_BAND_ROWS = range(20, 26)
PALETTE_BAND_ORIGIN = (270, 60)


def sheet_byte(number, image, row, column):
    if number == BORDERS and 3 <= row < 29 and 3 <= column < 39 and (row + column + image) % 5:
        return 0  # a frame, sparse inside (0 is transparent)
    if number == PORTRAITS and image == 4 and row in PALETTE_BAND_ROWS:
        return 4
    value = (number * 41 + image * 23 + row * 7 + column * 3) % 256
    while value in TEXT_INDICES or value == 0:
        value = (value + 1) % 256
    return value


def write_sheets(folder, skip=()):
    os.makedirs(folder, exist_ok=True)
    for number, (name, width, height, images) in enumerate(SHEETS):
        if name in skip:
            continue
        with open(os.path.join(folder, name), "wb") as f:
            f.write(bytes(sheet_byte(number, image, row, column) for image in range(images)
                          for row in range(height) for column in range(width)))


def folder_listing(folder):
    return sorted((name, os.path.getsize(os.path.join(folder, name)))
                  for name in os.listdir(folder))


# ------------------------------------------------------------ desktop ---

REQUIRED_TOOLS = ("Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "xwd", "xmessage", "convert")
# Another program's window: a message box takes the focus, unlike a clock.
OTHER_WINDOW = "pixshow-test-message"


class XSession:
    """Xvfb (with openbox) and every process started on it, each in a process group of its own,
    ended by close() or, if this script dies, by SIGTERM."""

    def __init__(self, work, size=(WIDTH, HEIGHT), manager=True):
        self.work, self.size, self.manager = work, size, manager
        self.origin = (0, 0)  # where the 640 x 480 picture is on the screen
        self.processes, self.xvfb, self.display, self.env = [], None, None, None

    def spawn(self, argv, log_name=None, cwd=None, pass_fds=(), env=None):
        out = open(os.path.join(self.work, log_name), "w") if log_name else subprocess.DEVNULL
        process = subprocess.Popen(argv, cwd=cwd, env=env or self.env, stdout=out,
                                   stderr=subprocess.STDOUT, pass_fds=pass_fds,
                                   start_new_session=True, preexec_fn=end_with_parent)
        self.processes.append(process)
        return process

    def start(self):
        # The server takes a free display number itself and tells it through -displayfd.
        read_end, write_end = os.pipe()
        try:
            self.xvfb = self.spawn(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % self.size,
                 "-nolisten", "tcp", "-noreset"], "xvfb.log", pass_fds=(write_end,))
            os.close(write_end)
            # It writes the number and the newline apart: reads up to the newline.
            number, deadline = b"", time.monotonic() + 30
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                if select.select([read_end], [], [], 0.5)[0]:
                    chunk = os.read(read_end, 16)
                    if not chunk:
                        break
                    number += chunk
        finally:
            os.close(read_end)
        if not number.strip():
            raise Failure("Xvfb did not start (see %s/xvfb.log)" % self.work)
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display, XDG_CONFIG_HOME=self.work + "/config")
        self.env.pop("WAYLAND_DISPLAY", None)
        if self.manager:
            self.spawn(["openbox", "--sm-disable"], "openbox.log")
            self.poll(lambda: b"window id" in self.run_x(
                "xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), 30, "openbox to start")
        log("X server %s (%d x %d, 24-bit)%s" % ((self.display,) + self.size
                                                 + (", openbox" if self.manager else "",)))

    def start_weston(self, debug=False):
        """weston on this X server, screen-sized (debug: its scene graph readable through
        weston-debug): the environment of its clients."""
        runtime = os.path.join(self.work, "wayland")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = dict(self.env, XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="pixshow-test")
        socket = os.path.join(runtime, env["WAYLAND_DISPLAY"])
        self.spawn(["weston", "--backend=x11-backend.so", "--socket=" + env["WAYLAND_DISPLAY"],
                    "--width=%d" % self.size[0], "--height=%d" % self.size[1], "--idle-time=0",
                    "--no-config"] + ["--debug"] * debug, "weston.log", env=env)
        self.poll(lambda: os.path.exists(socket), 30, "weston to start")
        time.sleep(1)  # its shell's own clients (background, panel) come up
        env.pop("DISPLAY")
        log("weston on %s (socket %s)" % (self.display, socket))
        return env

    def poll(self, condition, seconds, what):  # condition()'s first true value
        deadline = time.monotonic() + seconds
        while True:
            value = condition()
            if value:
                return value
            if self.xvfb.poll() is not None:
                raise Failure("the X server ended (status %d)" % self.xvfb.returncode)
            if time.monotonic() > deadline:
                raise Failure("waited %d s in vain for %s" % (seconds, what))
            time.sleep(0.2)

    def run_x(self, *argv, check=False):
        result = subprocess.run(argv, env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, timeout=30)
        if check and result.returncode != 0:
            raise Failure("%s failed (status %d)" % (" ".join(argv), result.returncode))
        return result.stdout

    def xdotool(self, *args):
        return self.run_x("xdotool", *args, check=True)

    def send_click(self):
        self.xdotool("click", "1")

    def grab(self, whole=False):
        """The picture (or the whole screen) as RGB; tries again while the display changes mode."""
        crop = None if whole else (WIDTH, HEIGHT) + tuple(self.origin)
        size = self.size if whole else (WIDTH, HEIGHT)
        for attempt in range(10):
            xwd = subprocess.run(["xwd", "-root", "-silent", "-display", self.display],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
            if xwd.returncode == 0:
                try:
                    return to_rgb("xwd:-", xwd.stdout, size, crop)
                except Failure as e:
                    error = str(e)
            else:
                error = xwd.stderr.decode(errors="replace").strip()
            if self.xvfb.poll() is not None:
                raise Failure("the X server ended (status %d)" % self.xvfb.returncode)
            log("  grab failed, trying again: %s" % (error.splitlines() or [""])[0])
            time.sleep(0.3)
        raise Failure("cannot grab the screen: %s" % error)

    def find_window(self, title, visible=True):
        found = self.run_x("xdotool", "search", *(("--onlyvisible",) if visible else ()),
                           "--name", "^%s$" % title).split()
        return found[-1].decode() if found else None

    def active_window(self):
        return self.run_x("xdotool", "getactivewindow").strip().decode()

    def geometry(self, window):  # (x, y, width, height) of the inside
        values = dict(line.strip().split(":", 1) for line in self.run_x(
            "xwininfo", "-id", window).decode().splitlines() if line.count(":") == 1)
        return tuple(int(values[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y",
                                               "Width", "Height"))

    def full_screen(self, window):
        return b"_NET_WM_STATE_FULLSCREEN" in self.run_x("xprop", "-id", window, "_NET_WM_STATE")

    def open_other_window(self, x, y, width, height):  # on top, with the focus
        other = self.spawn(["xmessage", "-title", OTHER_WINDOW,
                            "-geometry", "%dx%d+%d+%d" % (width, height, x, y), "Another program"])
        self.activate(self.poll(lambda: self.find_window(OTHER_WINDOW), 30,
                                "the other window to appear"), "the other window's focus")
        return other

    def activate(self, window, what):
        if window is None:
            raise Failure("the program's window is gone")
        if self.active_window() != window:
            self.xdotool("windowactivate", window)
        self.poll(lambda: self.active_window() == window, 30, what)

    def close_other_window(self, other):
        self.end(other)
        self.poll(lambda: self.find_window(OTHER_WINDOW, visible=False) is None, 30,
                  "the other window to close")

    def end(self, process):
        for sig in (signal.SIGTERM, signal.SIGKILL):
            with contextlib.suppress(ProcessLookupError):
                os.killpg(process.pid, sig)
            with contextlib.suppress(subprocess.TimeoutExpired):
                return process.wait(timeout=10)

    def close(self):  # the X server last
        for process in reversed(self.processes):
            self.end(process)
        # A server killed outright leaves its lock file and socket behind.
        if self.display:
            lock = "/tmp/.X%s-lock" % self.display[1:]
            with contextlib.suppress(OSError, ValueError), open(lock) as f:
                if int(f.read().strip() or 0) == self.xvfb.pid:
                    os.remove(lock)
                    os.remove("/tmp/.X11-unix/X%s" % self.display[1:])


# --------------------------------------------------------------- Wine ---

def wine_environment(prefix, base=None):
    """The environment of Wine programs on the prefix: no Mono or Gecko prompts, no debug output."""
    return dict(base if base is not None else os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
                WINEDLLOVERRIDES="mscoree,mshtml=")


class WineSession(XSession):
    """The X session with Wine on it, its prefix in the work folder unless given: every Wine
    process of the prefix ends with close(). 24 bits a pixel: on an 8-bit screen Wine 8 shows the
    DirectDraw palette as the nearest of the 20 static system colours."""

    QUIET = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def __init__(self, work, size=(WIDTH, HEIGHT), manager=True, prefix=None, input_helper=None):
        XSession.__init__(self, work, size, manager)
        self.prefix = prefix or os.path.join(work, "wineprefix")
        self.input_helper = input_helper

    def start(self):
        XSession.start(self)
        self.env = wine_environment(self.prefix, self.env)

    def start_wine(self):
        """Prepares the Wine prefix; False when Wine cannot start here."""
        started, output = time.monotonic(), ""
        try:
            # A Wine server left from an interrupted run would still know the old X server.
            subprocess.run(["wineserver", "-k"], env=self.env, **self.QUIET)
            for argv, seconds in ((["wineboot", "-i"], 180), (["wine", "cmd", "/c", "exit 0"], 60)):
                result = subprocess.run(argv, env=self.env, timeout=seconds,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                output += result.stdout.decode(errors="replace")
                if result.returncode != 0:
                    break
            ok = result.returncode == 0
        except (OSError, subprocess.TimeoutExpired) as e:
            ok, output = False, str(e)
        log("Wine ready in %.1f s" % (time.monotonic() - started) if ok else
            "Wine cannot start on this machine:\n" + output.strip()[-2000:])
        return ok

    def start_program(self, exe, folder, args=(), log_name=None, env=None):
        return self.spawn(["wine", exe] + list(args),
                          log_name or os.path.basename(folder) + ".log", cwd=folder, env=env)

    def send_click(self):  # through the input helper: see tests/wine/send_input.cpp for why
        subprocess.run(["wine", self.input_helper, "click"], env=self.env, check=True,
                       **self.QUIET)

    def send_key(self, vk):  # a virtual-key code, through the input helper as a click is
        subprocess.run(["wine", self.input_helper, "key", str(vk)], env=self.env, check=True,
                       **self.QUIET)

    def close(self):
        if self.env is not None:  # every Wine process of this prefix (ours only)
            subprocess.run(["wineserver", "-k"], env=self.env, **self.QUIET)
        XSession.close(self)


def to_rgb(source, data=None, size=(WIDTH, HEIGHT), crop=None):
    """Any picture ImageMagick reads (crop: width, height, x, y) as 8-bit RGB."""
    cut = ["-crop", "%dx%d+%d+%d" % crop, "+repage"] if crop else []
    result = subprocess.run(["convert", source] + cut + ["-depth", "8", "rgb:-"], input=data,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    if result.returncode != 0 or len(result.stdout) != size[0] * size[1] * 3:
        raise Failure("cannot read %s as a %d x %d picture: %s" % (
            source, size[0], size[1], result.stderr.decode(errors="replace").strip()))
    return result.stdout


def save_png(rgb, path):
    subprocess.run(["convert", "-size", "%dx%d" % (WIDTH, HEIGHT), "-depth", "8", "rgb:-", path],
                   input=rgb, check=True, timeout=60)


def pixel(rgb, x, y):
    i = (y * WIDTH + x) * 3
    return tuple(rgb[i:i + 3])


# ---------------------------------------------------------- comparison ---

def text_pixels(rgb, box, colour):
    x0, y0, x1, y1 = box
    return sum(pixel(rgb, x, y) == colour for y in range(y0, y1) for x in range(x0, x1))


def compare(screen, grabbed, expected, masked=()):
    """Problems on one screen: pixels outside the caption boxes and the masked boxes (x0, y0, x1,
    y1) that differ, caption boxes without text in their colour."""
    problems, texts = [], SCREEN_TEXTS[screen]
    boxes = [text_box(*text) for text in texts] + list(masked)
    wrong = []
    for y in range(HEIGHT):
        start, row = 0, y * WIDTH * 3
        for x0, x1 in sorted((b[0], b[2]) for b in boxes if b[1] <= y < b[3]) + [(WIDTH, WIDTH)]:
            if x0 > start and grabbed[row + start * 3:row + x0 * 3] != expected[
                    row + start * 3:row + x0 * 3]:
                wrong += [(x, y) for x in range(start, x0)
                          if pixel(grabbed, x, y) != pixel(expected, x, y)]
            start = max(start, x1)
    if wrong:
        (fx, fy), xs, ys = wrong[0], [w[0] for w in wrong], [w[1] for w in wrong]
        problems.append("%d pixels outside the captions differ, within (%d,%d)-(%d,%d); first at "
                        "(%d,%d): grabbed %s, capture %s"
                        % (len(wrong), min(xs), min(ys), max(xs), max(ys), fx, fy,
                           pixel(grabbed, fx, fy), pixel(expected, fx, fy)))
    for (text, x, y), box in zip(texts, boxes):
        colour = RED if text == "Red Sun" else WHITE
        counts = [text_pixels(picture, box, colour) for picture in (grabbed, expected)]
        if min(counts) < MIN_TEXT_PIXELS:
            problems.append("caption %r at (%d,%d): %d text pixels grabbed, %d in the capture"
                            % (text, x, y, counts[0], counts[1]))
    return problems


def band_colour(rgb):  # of the palette-change portrait's index-4 band, or None
    x0, y0 = PALETTE_BAND_ORIGIN
    colours = {pixel(rgb, x0 + x, y0 + y) for y in PALETTE_BAND_ROWS for x in range(0, 82, 9)}
    return colours.pop() if len(colours) == 1 else None


# -------------------------------------------------------------- driving ---

class Driver:
    def __init__(self, session, process, deadline):
        self.session, self.process, self.deadline = session, process, deadline
        self.colours_seen = []  # of the palette band, in order of appearance
        self.shown = False  # the program has shown something

    def settle(self, what, watch_band=False, at_colour=None):
        """Grabs until the screen has not changed for SETTLE_SECONDS; black does not count until
        the program has shown something. at_colour: (colour, action), action runs once when the
        palette band first shows colour."""
        last, since = self.session.grab(), time.monotonic()
        black, limit = bytes(len(last)), since + SCREEN_TIMEOUT
        while True:
            if time.monotonic() > self.deadline:
                raise Failure("out of time")
            if self.process.poll() is not None:
                raise Failure("%s: the program ended early with status %d"
                              % (what, self.process.returncode))
            if watch_band:
                colour = band_colour(last)
                if colour and (not self.colours_seen or self.colours_seen[-1] != colour):
                    self.colours_seen.append(colour)
                if at_colour and colour == at_colour[0]:
                    at_colour, _ = None, at_colour[1]()
                    last, since = self.session.grab(), time.monotonic()
                    continue
            now = time.monotonic()
            self.shown = self.shown or last != black
            if now - since >= SETTLE_SECONDS and self.shown:
                return last
            if now > limit:
                raise Failure("%s: the screen did not settle within %d s" % (what, SCREEN_TIMEOUT))
            time.sleep(0.2)
            current = self.session.grab()
            if current != last:
                last, since = current, time.monotonic()

    def click(self, what, before, last_screen=False):
        """Clicks the continue button, again if the screen does not change."""
        for attempt in range(3):
            x, y = self.session.origin
            self.session.xdotool("mousemove", str(x + BUTTON_X), str(y + BUTTON_Y))
            try:
                self.session.send_click()
            except subprocess.CalledProcessError:
                # The press can end the program before the helper is done (the
                # last screen): Wine then fails the helper too, but the click counted.
                time.sleep(0.5)
                if self.process.poll() is None:
                    raise
                log("  %s: the click helper failed as the program ended" % what)
            limit = time.monotonic() + 8
            while time.monotonic() < limit:
                if self.process.poll() is not None or (
                        not last_screen and self.session.grab() != before):
                    return
                time.sleep(0.2)
            log("  %s: no reaction to the click, clicking again" % what)
        raise Failure("%s: the click was not taken" % what)

    def wait_exit(self, what):
        try:
            return self.process.wait(timeout=EXIT_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("%s: the program did not end within %d s" % (what, EXIT_TIMEOUT))

    def check(self, screen, expected, masked=(), what=None, **settle_args):
        """Settles, then compares with the capture: (picture, problems)."""
        what = what or "screen %d" % screen
        grabbed = self.settle(what, **settle_args)
        found = compare(screen, grabbed, expected, masked)
        if found:  # a screen that paused longer than usual while drawing: look again
            again = self.settle(what, **settle_args)
            if again != grabbed:
                grabbed, found = again, compare(screen, again, expected, masked)
        log("%s: %s" % (what, "same as the capture" if not found else "DIFFERENT"))
        return grabbed, ["%s: %s" % (what, p) for p in found]


def interrupt(session, before=None):
    """Another window takes the focus and is closed; the program's window gets the focus back (as
    a click in a task bar gives it). Given the screen before: the window covers part of it and
    closes first. Else: the focus is away longer than a caption pause, back while it is open."""
    x, y = session.origin
    other = session.open_other_window(*((x + 100, y + 100, 250, 250) if before else
                                        (x + 20, y + 150, 200, 150)))
    if before:
        session.poll(lambda: session.grab() != before, 30, "the other window to show")
        session.close_other_window(other)
    else:
        time.sleep(CAPTION_PAUSE_SECONDS + 0.5)
    session.activate(session.find_window(WINDOW_TITLE, visible=False),
                     "the program to get the focus back")
    if not before:
        session.close_other_window(other)


def play_presentation(session, driver, expected_dir, grabs, masked=(), at_wait=None):
    """Clicks through the eight screens, each compared once settled with the capture; a window
    covers screen 1 at its wait, the focus is away during screen 2's last pause (the sun green).
    at_wait(screen, expected picture): more checks at each wait (again after the covering
    window), giving problems."""
    os.makedirs(grabs, exist_ok=True)
    started, problems = time.monotonic(), []
    more = at_wait or (lambda screen, expected: [])
    for screen in range(1, 9):
        expected = to_rgb(os.path.join(expected_dir, "screen-%d.png" % screen))
        settle_args = {"watch_band": True, "at_colour": (
            GREEN, lambda: interrupt(session))} if screen == 2 else {}
        grabbed, found = driver.check(screen, expected, masked, **settle_args)
        save_png(grabbed, os.path.join(grabs, "screen-%d.png" % screen))
        log("  (%.1f s)" % (time.monotonic() - started))
        problems += found + more(screen, expected)
        if screen == 1:
            interrupt(session, grabbed)
            grabbed, found = driver.check(1, expected, masked, "screen 1 after a covering window")
            save_png(grabbed, os.path.join(grabs, "screen-1-uncovered.png"))
            problems += found + more(screen, expected)
        if screen == 2:
            # The redraw after the focus comes back starts from the set-up
            # colours, so a grab in the middle of it may see red once more.
            shown = [c for c in driver.colours_seen if c in (RED, BLUE, GREEN)]
            rest = iter(shown)
            if not all(c in rest for c in (RED, BLUE, GREEN, RED)) or shown[-1] != RED:
                problems.append("screen 2: the changed palette entry showed %s on screen, not red, "
                                "blue, green and red again" % shown)
        driver.click("screen %d" % screen, grabbed, last_screen=(screen == 8))
    status = driver.wait_exit("after the last screen")
    if status != 0:
        problems.append("after the last screen: status %d, not 0" % status)
    log("whole presentation: %.1f s" % (time.monotonic() - started))
    return problems


def run_capture(capture, sheets, out):  # pixshow-capture's pictures; its output if it fails
    result = subprocess.run([os.path.abspath(capture), "--sheets", sheets, "--out", out],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    return result.returncode and "pixshow-capture ended with status %d:\n%s" % (
        result.returncode, result.stdout.decode(errors="replace"))


def prepare_work(work, capture, keep=()):
    """Empties work (but keep), writes the sheets into work/sheets and their capture into
    work/capture, which it returns."""
    for name in os.listdir(work) if os.path.isdir(work) else ():
        path = os.path.join(work, name)
        if name not in keep:
            shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    write_sheets(os.path.join(work, "sheets"))
    failed = run_capture(capture, os.path.join(work, "sheets"), os.path.join(work, "capture"))
    if failed:
        raise Failure(failed)
    return os.path.join(work, "capture")


def begin(parser, time_limit, tools=()):
    """Parsed arguments of a desktop check, the sheet table loaded; exits if a tool is missing."""
    for name in ("--exe", "--sheet-table", "--capture", "--work"):
        parser.add_argument(name, required=True)
    parser.add_argument("--time-limit", type=float, default=time_limit, help="seconds in all")
    args = parser.parse_args()
    load_sheet_table(args.sheet_table)
    missing = ["%s is not installed (scripts/deps test installs it)" % tool
               for tool in tools + REQUIRED_TOOLS if shutil.which(tool) is None]
    if missing:
        log("FAIL: " + "; ".join(missing))
        sys.exit(1)
    end_on_signals()
    return args


def report(problems, what, started, hint):
    log("%s took %.1f s" % (what, time.monotonic() - started))
    log("FAIL:\n  %s\n%s" % ("\n  ".join(problems), hint) if problems else "PASS")
    return 1 if problems else 0


def end_on_signals():  # SIGTERM, SIGINT and SIGHUP end the script through its finally blocks
    def stop(signum, frame):
        raise SystemExit(128 + signum)
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, stop)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("name", choices=["with-display"])
    parser.add_argument("--bare", action="store_true", help="no window manager")
    parser.add_argument("--size", default="1024x768")
    split = sys.argv.index("--") if "--" in sys.argv else len(sys.argv)
    args, command = parser.parse_args(sys.argv[1:split]), sys.argv[split + 1:]
    end_on_signals()
    work = tempfile.mkdtemp(prefix="pixshow-x-")
    session = XSession(work, tuple(int(v) for v in args.size.split("x")), not args.bare)
    try:
        session.start()
        return subprocess.run(command, env=session.env, preexec_fn=end_with_parent).returncode
    except (Failure, OSError) as e:
        log("FAIL: %s" % e)
        return 1
    finally:
        session.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
