#!/usr/bin/env python3
"""The native program on other screens than the desktop test's (xdesktop.py).

  screens_e2e.py --exe pixshow --sheet-table sheets.tsv --capture pixshow-capture --work DIR

- A 1366 x 768 X screen: full screen shows the picture at 1024 x 768 in the middle, every pixel
  between the colours of the nearest pixels of pixshow-capture's picture (sharp bilinear).
- Wayland: weston (its X11 backend, inside a bare Xvfb, started and ended here) plays the first
  screens full screen as pixshow-capture records them, each clicked on; Escape ends with status 0.
"""

import argparse
import os
import sys
import time

from xdesktop import (BUTTON_BOTTOM, BUTTON_LEFT, BUTTON_RIGHT, BUTTON_TOP, HEIGHT, WIDTH,
                      Driver, Failure, XSession, begin, prepare_work, report, to_rgb)

CURSOR_BOX = (BUTTON_LEFT, BUTTON_TOP, BUTTON_RIGHT + 12, BUTTON_BOTTOM + 19)


def start_session(work, size):
    session = XSession(work, size, manager=False)
    session.start()
    for name in ("PIXSHOW_BACKEND", "PIXSHOW_WINDOWED", "PIXSHOW_SCALE", "SDL_VIDEODRIVER"):
        session.env.pop(name, None)
    return session


def start_program(session, args, work, log_name, env=None):
    return Driver(session, session.spawn([os.path.abspath(args.exe)], log_name,
                                         cwd=os.path.join(work, "sheets"), env=env),
                  time.monotonic() + 120)


def escape_ends(session, driver, what):
    session.xdotool("key", "Escape")
    status = driver.wait_exit(what)
    return [] if status == 0 else ["%s: Escape ended with status %d, not 0" % (what, status)]


def between_neighbours(grabbed, source, size, view):
    """Problems where a pixel of the scaled picture is not between the colours of the source
    pixels around its place (the cursor's box left out)."""
    x0, y0, w, h = view

    def around(n, out, length):  # the two source pixels nearest to output pixel n
        t = max(0.0, (n + 0.5) * length / out - 0.5)
        low = min(length - 1, int(t))
        return low, min(length - 1, low + 1)

    columns = [around(x, w, WIDTH) for x in range(w)]
    row_bytes, bad = size[0] * 3, []
    for y in range(h):
        r0, r1 = around(y, h, HEIGHT)
        if CURSOR_BOX[1] - 1 <= r0 < CURSOR_BOX[3] + 1:
            continue
        line = grabbed[(y0 + y) * row_bytes:(y0 + y + 1) * row_bytes]
        for x, (c0, c1) in enumerate(columns):
            if CURSOR_BOX[0] - 1 <= c0 < CURSOR_BOX[2] + 1 and CURSOR_BOX[1] - 1 <= r1:
                continue
            for channel in range(3):
                near = [source[(r * WIDTH + c) * 3 + channel] for r in (r0, r1) for c in (c0, c1)]
                if not min(near) <= line[(x0 + x) * 3 + channel] <= max(near):
                    bad.append((x, y))
                    break
    return ["%d pixels are not between their neighbours' colours, the first at %s"
            % (len(bad), bad[0])] if bad else []


def laptop_screen(args, work, expected):
    size = (1366, 768)
    session = start_session(work, size)
    try:
        session.origin = (171, 0)
        driver = start_program(session, args, work, "program-x11.log")
        driver.settle("1366 x 768, screen 1")
        whole = session.grab(whole=True)
        picture = bytes(to_rgb(os.path.join(expected, "screen-1.png")))
        problems = between_neighbours(whole, picture, size, (171, 0, 1024, 768))
        sides = b"".join(whole[y * size[0] * 3:(y * size[0] + 171) * 3] for y in range(768))
        if sides.strip(b"\0"):
            problems.append("the bars beside the picture are not black")
        problems += escape_ends(session, driver, "1366 x 768")
        return ["1366 x 768: " + p for p in problems]
    finally:
        session.close()


def on_weston(args, work, expected):
    session = start_session(work, (800, 600))
    try:
        # SDL's Wayland driver and the libraries under it (libdecor, Mesa) keep memory to the
        # end that a sanitizer build would report as leaked: not the program's.
        env = session.start_weston()
        env["ASAN_OPTIONS"] = ":".join(filter(None, (env.get("ASAN_OPTIONS"), "detect_leaks=0")))
        session.origin = ((800 - WIDTH) // 2, (600 - HEIGHT) // 2)
        driver = start_program(session, args, work, "program-weston.log", env)
        problems = []
        for screen in (1, 2, 3):
            picture = to_rgb(os.path.join(expected, "screen-%d.png" % screen))
            grabbed, found = driver.check(screen, picture, [CURSOR_BOX], "weston, screen %d"
                                          % screen)
            problems += found
            if screen < 3:
                driver.click("weston, screen %d" % screen, grabbed)
        return problems + escape_ends(session, driver, "weston")
    finally:
        session.close()


def main():
    args = begin(argparse.ArgumentParser(description=__doc__.split("\n\n")[0]), 300, ("weston",))
    started, work = time.monotonic(), os.path.abspath(args.work)
    problems = []
    try:
        expected = prepare_work(work, args.capture)
        problems += laptop_screen(args, work, expected)
        problems += on_weston(args, work, expected)
    except Failure as e:
        problems.append(str(e))
    return report(problems, "screens test", started,
                  "Program output in %s/program-*.log, weston's in %s/weston.log" % (work, work))


if __name__ == "__main__":
    sys.exit(main())
