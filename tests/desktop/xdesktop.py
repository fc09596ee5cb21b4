"""What the end-to-end checks of pixshow on an X desktop share: an X server
of their own with a real window manager on it, the synthetic image sheets,
grabbing the screen and comparing it with pixshow-capture's pictures, and
the desktop's interruptions (a window over the presentation, the focus
taken away and given back).

  xdesktop.py with-display [--bare] [--size WxH] -- COMMAND...
      Runs COMMAND on a private Xvfb, under openbox unless --bare, and ends
      both afterwards; exits with COMMAND's status.

Needs Xvfb, openbox, xdotool, xprop, xwininfo, xwd, xmessage and ImageMagick's convert
(scripts/deps test).
"""

import argparse
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

# The continue button: the program confines its cursor to it while it waits
# (right and bottom edges excluded).
BUTTON_LEFT, BUTTON_TOP, BUTTON_RIGHT, BUTTON_BOTTOM = 540, 435, 585, 447
BUTTON_X, BUTTON_Y = 550, 441

# The longest pause inside a screen, a caption's. A screen has settled once
# it has not changed for longer than that.
CAPTION_PAUSE_SECONDS = 2.0
SETTLE_SECONDS = CAPTION_PAUSE_SECONDS + 1.0
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


# ------------------------------------------------------------ desktop ---

REQUIRED_TOOLS = ("Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "xwd", "xmessage", "convert")

# The other program's window of the desktop checks: a message box (one that
# takes the focus, unlike a clock), placed by hand.
OTHER_WINDOW = "pixshow-test-message"


class XSession:
    """An X server of its own (Xvfb) with openbox on it, as on a user's
    desktop, and every process started on it. Each runs in a process group
    of its own, gets SIGTERM if this script dies, and is ended by close()."""

    def __init__(self, work, size=(WIDTH, HEIGHT), manager=True):
        self.work = work
        self.size = size
        self.manager = manager
        self.origin = (0, 0)  # where the 640 x 480 picture is on the screen
        self.processes = []
        self.xvfb = None
        self.display = None
        self.env = None

    def spawn(self, argv, log_name=None, cwd=None, pass_fds=()):
        out = (open(os.path.join(self.work, log_name), "w") if log_name
               else subprocess.DEVNULL)
        process = subprocess.Popen(argv, cwd=cwd, env=self.env, stdout=out,
                                   stderr=subprocess.STDOUT, pass_fds=pass_fds,
                                   start_new_session=True, preexec_fn=end_with_parent)
        self.processes.append(process)
        return process

    def start(self):
        # The server takes a free display number itself, with its lock file,
        # and tells it through -displayfd.
        read_end, write_end = os.pipe()
        try:
            self.xvfb = self.spawn(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % self.size,
                 "-nolisten", "tcp", "-noreset"], "xvfb.log", pass_fds=(write_end,))
            os.close(write_end)
            number = b""
            deadline = time.monotonic() + 30
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
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("WAYLAND_DISPLAY", None)
        if self.manager:
            self.spawn(["openbox", "--sm-disable"], "openbox.log")
            self.poll(lambda: b"window id" in self.run_x(
                "xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), 30, "openbox to start")
        log("X server %s (%d x %d, 24-bit)%s" % ((self.display,) + self.size
                                                 + (", openbox" if self.manager else "",)))

    def poll(self, condition, seconds, what):
        """condition()'s first true value, asked every 0.2 s."""
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
        """The picture (or the whole screen) as RGB bytes. A grab can fail
        while the display changes mode: tries a few times."""
        x, y = self.origin
        crop = None if whole else (WIDTH, HEIGHT, x, y)
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

    def window_exists(self):
        return self.find_window(WINDOW_TITLE, visible=False) is not None

    def active_window(self):
        return self.run_x("xdotool", "getactivewindow").strip().decode()

    def geometry(self, window):
        """(x, y, width, height) of the window's inside, on the screen."""
        values = dict(line.strip().split(":", 1) for line in self.run_x(
            "xwininfo", "-id", window).decode().splitlines() if line.count(":") == 1)
        return tuple(int(values[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y",
                                               "Width", "Height"))

    def full_screen(self, window):
        return b"_NET_WM_STATE_FULLSCREEN" in self.run_x("xprop", "-id", window, "_NET_WM_STATE")

    def pointer(self):
        values = dict(line.split("=", 1) for line in self.xdotool(
            "getmouselocation", "--shell").decode().split())
        return int(values["X"]), int(values["Y"])

    def screen_size(self):
        return tuple(int(v) for v in self.xdotool("getdisplaygeometry").split())

    def open_other_window(self, x, y, width, height):
        """Another program's window at (x, y), as the desktop shows a new
        window: on top, with the focus."""
        other = self.spawn(["xmessage", "-title", OTHER_WINDOW,
                            "-geometry", "%dx%d+%d+%d" % (width, height, x, y), "Another program"])
        window = self.poll(lambda: self.find_window(OTHER_WINDOW), 30, "the other window to appear")
        if self.active_window() != window:
            self.xdotool("windowactivate", window)
        self.poll(lambda: self.active_window() == window, 30, "the other window's focus")
        return other

    def close_other_window(self, other):
        self.end(other)
        self.poll(lambda: self.find_window(OTHER_WINDOW, visible=False) is None, 30,
                  "the other window to close")

    def give_focus_back(self):
        """Activates the program's window, as clicking it in a task bar does."""
        window = self.find_window(WINDOW_TITLE, visible=False)
        if window is None:
            raise Failure("the program's window is gone")
        self.xdotool("windowactivate", window)
        self.poll(lambda: self.active_window() == window, 30, "the program to get the focus back")

    def end(self, process):
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(process.pid, sig)
            except ProcessLookupError:
                pass
            try:
                process.wait(timeout=10)
                return
            except subprocess.TimeoutExpired:
                pass

    def close(self):
        """Ends everything, the X server last."""
        for process in reversed(self.processes):
            self.end(process)
        # A server killed outright leaves its lock file and socket behind.
        if self.display:
            lock = "/tmp/.X%s-lock" % self.display[1:]
            try:
                with open(lock) as f:
                    if int(f.read().strip() or 0) == self.xvfb.pid:
                        os.remove(lock)
                        os.remove("/tmp/.X11-unix/X%s" % self.display[1:])
            except (OSError, ValueError):
                pass


def to_rgb(source, data=None, size=(WIDTH, HEIGHT), crop=None):
    """Any picture ImageMagick reads (crop: width, height, x, y of it), as
    raw 8-bit RGB bytes."""
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

def compare(screen, grabbed, expected, masked=()):
    """Problems found on one screen, as text lines. masked: more boxes
    (x0, y0, x1, y1) whose pixels are not compared."""
    problems = []
    boxes = [text_box(t, x, y) for t, x, y, _ in SCREEN_TEXTS[screen]]
    texts = len(boxes)
    boxes += list(masked)

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
                        "(%d,%d): grabbed %s, capture %s"
                        % (wrong, bounds[0], bounds[1], bounds[2], bounds[3], fx, fy,
                           pixel(grabbed, fx, fy), pixel(expected, fx, fy)))

    # Every caption box: holds text in the caption's colour.
    for (text, x, y, colour), (x0, y0, x1, y1) in zip(SCREEN_TEXTS[screen], boxes[:texts]):
        counts = []
        for picture in (grabbed, expected):
            counts.append(sum(1 for yy in range(y0, y1) for xx in range(x0, x1)
                              if pixel(picture, xx, yy) == colour))
        if counts[0] < MIN_TEXT_PIXELS or counts[1] < MIN_TEXT_PIXELS:
            problems.append("caption %r at (%d,%d): %d text pixels grabbed, %d in the capture"
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
        self.shown = False  # the program has shown something

    def check_time(self):
        if time.monotonic() > self.deadline:
            raise Failure("out of time")

    def settle(self, what, watch_band=False, at_colour=None):
        """Grabs until the screen has not changed for SETTLE_SECONDS. A
        black screen does not count as settled until the program has shown
        something (it is starting up).
        at_colour: (colour, action), runs action once when the palette band
        first shows colour."""
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
                if at_colour and colour == at_colour[0]:
                    at_colour[1]()
                    at_colour = None
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
        """Clicks the continue button: the pointer onto it, then the first
        button pressed and released (see the session's send_click). Clicks
        again if the screen does not change."""
        for attempt in range(3):
            x, y = self.session.origin
            self.session.xdotool("mousemove", str(x + BUTTON_X), str(y + BUTTON_Y))
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

    def check(self, screen, expected, masked=(), what=None, **settle_args):
        """Settles, then compares with the capture: (picture, problems)."""
        what = what or "screen %d" % screen
        grabbed = self.settle(what, **settle_args)
        found = compare(screen, grabbed, expected, masked)
        if found:
            # A screen that paused longer than usual while drawing: look again.
            again = self.settle(what, **settle_args)
            if again != grabbed:
                grabbed, found = again, compare(screen, again, expected, masked)
        log("%s: %s" % (what, "same as the capture" if not found else "DIFFERENT"))
        return grabbed, ["%s: %s" % (what, p) for p in found]


def cover_and_come_back(session, before):
    """Another window opens over part of the presentation and takes the
    focus; it is closed, and the program's window is given the focus back."""
    x, y = session.origin
    other = session.open_other_window(x + 100, y + 100, 250, 250)
    session.poll(lambda: session.grab() != before, 30, "the other window to show")
    session.close_other_window(other)
    session.give_focus_back()


def focus_away_for_a_pause(session):
    """The focus goes to another window for longer than a caption pause and
    comes back while that window is still open."""
    x, y = session.origin
    other = session.open_other_window(x + 20, y + 150, 200, 150)
    time.sleep(CAPTION_PAUSE_SECONDS + 0.5)
    session.give_focus_back()
    session.close_other_window(other)


def play_presentation(session, driver, expected_dir, grabs, masked=(), at_wait=None):
    """Clicks through the eight screens and compares each, once settled, with
    the capture. At screen 1's wait a window covers part of the
    presentation and is closed; during screen 2's last caption pause (the
    sun green) the focus is away. at_wait(screen, expected picture): more
    checks at each wait (at screen 1's also after the covering window),
    giving problems."""
    os.makedirs(grabs, exist_ok=True)
    started = time.monotonic()
    problems = []
    for screen in range(1, 9):
        expected = to_rgb(os.path.join(expected_dir, "screen-%d.png" % screen))
        settle_args = {}
        if screen == 2:
            settle_args = {"watch_band": True,
                           "at_colour": (GREEN, lambda: focus_away_for_a_pause(session))}
        grabbed, found = driver.check(screen, expected, masked, **settle_args)
        save_png(grabbed, os.path.join(grabs, "screen-%d.png" % screen))
        problems += found
        log("  (%.1f s)" % (time.monotonic() - started))
        if at_wait:
            problems += at_wait(screen, expected)
        if screen == 1:
            cover_and_come_back(session, grabbed)
            grabbed, found = driver.check(1, expected, masked, "screen 1 after a covering window")
            save_png(grabbed, os.path.join(grabs, "screen-1-uncovered.png"))
            problems += found + (at_wait(screen, expected) if at_wait else [])
        if screen == 2:
            # The redraw after the focus comes back starts from the set-up
            # colours, so a grab in the middle of it may see red once more.
            shown = [c for c in driver.colours_seen if c in (RED, BLUE, GREEN)]
            rest = iter(shown)
            if not all(c in rest for c in (RED, BLUE, GREEN, RED)) or shown[-1] != RED:
                problems.append("screen 2: the changed palette entry showed %s on screen, not red, "
                                "blue, green and red again" % shown)
            else:
                log("screen 2: palette entry 4 showed red, blue, green and red again")
        driver.click("screen %d" % screen, grabbed, last_screen=(screen == 8))
    status = driver.wait_exit("after the last screen")
    if status != 0:
        problems.append("after the last screen: status %d, not 0" % status)
    log("whole presentation: %.1f s" % (time.monotonic() - started))
    return problems


def prepare_work(work, capture, keep=()):
    """Empties work (all but keep), writes the sheets into work/sheets and
    pixshow-capture's pictures of them into work/capture, which it returns."""
    for name in os.listdir(work) if os.path.isdir(work) else ():
        if name not in keep:
            path = os.path.join(work, name)
            shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    os.makedirs(work, exist_ok=True)
    sheets = os.path.join(work, "sheets")
    write_sheets(sheets)
    expected = os.path.join(work, "capture")
    result = subprocess.run([os.path.abspath(capture), "--sheets", sheets, "--out", expected],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    if result.returncode != 0:
        raise Failure("pixshow-capture ended with status %d:\n%s"
                      % (result.returncode, result.stdout.decode(errors="replace")))
    return expected


def find_tools(tools=REQUIRED_TOOLS):
    """Problems: the tools that are not installed."""
    return ["%s is not installed (scripts/deps test installs it)" % tool
            for tool in tools if shutil.which(tool) is None]


def end_on_signals():
    """SIGTERM, SIGINT and SIGHUP end the script through its finally blocks."""
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
        return subprocess.run(command, env=session.env).returncode
    except (Failure, OSError) as e:
        log("FAIL: %s" % e)
        return 1
    finally:
        session.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
