#!/usr/bin/env python3
"""The native program on other screens than the desktop test's (xdesktop.py).

  screens_e2e.py --exe pixshow --sheet-table sheets.tsv --capture pixshow-capture --work DIR

A bare 1366 x 768 X screen shows the picture at 1024 x 768 between black bars, every pixel between
the colours of the nearest pixels of pixshow-capture's picture (sharp bilinear). weston (its X11
backend inside Xvfb, started and ended here) plays the first screens full screen as pixshow-capture
records them, each clicked on, on Wayland, screen 1 again after another client had the focus.
Escape then ends both with status 0. With --watch, a sheet that pixsheet rewrites while screen 1
waits shows at once, a sheet gone for half a second is waited for, and a sheet deleted then ends
the program with the load failure (status 1) two seconds later.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

from xdesktop import (BUTTON_BOTTOM, BUTTON_LEFT, BUTTON_RIGHT, BUTTON_TOP, HEIGHT, WIDTH,
                      Driver, Failure, XSession, begin, log, prepare_work, report, run_capture,
                      to_rgb)

CURSOR_BOX = (BUTTON_LEFT, BUTTON_TOP, BUTTON_RIGHT + 12, BUTTON_BOTTOM + 19)


def play(args, work, size, weston, check, options=(), folder="sheets", status_wanted=0):
    """Starts the program full screen on a bare Xvfb of that size (under weston if asked) with
    options in work/folder, runs check(session, driver, expected pictures folder) and presses
    Escape: the problems."""
    session = XSession(work, size, manager=False)
    try:
        session.start()
        for name in ("PIXSHOW_BACKEND", "PIXSHOW_WINDOWED", "PIXSHOW_SCALE", "SDL_VIDEODRIVER"):
            session.env.pop(name, None)
        env = session.env
        if weston:  # SDL's Wayland driver and the libraries under it keep memory to the end
            env = session.wayland_env = session.start_weston()
            env["ASAN_OPTIONS"] = ":".join(filter(None, (env.get("ASAN_OPTIONS"),
                                                         "detect_leaks=0")))
        what = "weston" if weston else "%d x %d" % size
        driver = Driver(session, session.spawn(
            [os.path.abspath(args.exe)] + list(options),
            "program-%s.log" % ("weston" if weston else folder if options else "x11"),
            cwd=os.path.join(work, folder), env=env), time.monotonic() + 120)
        problems = check(session, driver, os.path.join(work, "capture"))
        if driver.process.poll() is None:
            session.xdotool("key", "Escape")
        status = driver.wait_exit(what)
        return ["%s: %s" % (what, p) for p in problems + (
            ["ended with status %d, not %d" % (status, status_wanted)]
            if status != status_wanted else [])]
    finally:
        session.close()


def sharp_fit(session, driver, expected):
    session.origin = (171, 0)
    driver.settle("screen 1")
    whole, width = session.grab(whole=True), session.size[0]
    source = to_rgb(os.path.join(expected, "screen-1.png"))
    problems = [] if not b"".join(whole[y * width * 3:(y * width + 171) * 3]
                                  for y in range(768)).strip(b"\0") else ["the bars are not black"]

    def around(n, out, length):  # the two source pixels nearest to output pixel n
        low = min(length - 1, int(max(0.0, (n + 0.5) * length / out - 0.5)))
        return low, min(length - 1, low + 1)

    columns, bad = [around(x, 1024, WIDTH) for x in range(1024)], []
    for y in range(768):
        rows, line = around(y, 768, HEIGHT), whole[y * width * 3:(y + 1) * width * 3]
        for x, cols in enumerate(columns):
            if CURSOR_BOX[0] <= cols[1] and CURSOR_BOX[1] <= rows[1] and rows[0] < CURSOR_BOX[3]:
                continue  # the program's arrow
            for c in range(3):
                near = [source[(r * WIDTH + s) * 3 + c] for r in rows for s in cols]
                if not min(near) <= line[(171 + x) * 3 + c] <= max(near):
                    bad.append((x, y))
                    break
    return problems + (["%d pixels are not between their neighbours' colours, the first at %s"
                        % (len(bad), bad[0])] if bad else [])


def focus_away_and_back(session, driver, picture, shown):
    """Another Wayland client comes up in front and ends: the program takes the screen back."""
    other = session.spawn(["weston-simple-shm"], "other-client.log", env=session.wayland_env)
    try:
        session.poll(lambda: session.grab() != shown, 10, "another client to show")
    finally:
        other.terminate()
        other.wait(10)
    return driver.check(1, picture, [CURSOR_BOX], "screen 1 after another client had the focus")


def first_screens(session, driver, expected):
    session.origin, problems = ((800 - WIDTH) // 2, (600 - HEIGHT) // 2), []
    for screen in (1, 2, 3):
        picture = to_rgb(os.path.join(expected, "screen-%d.png" % screen))
        grabbed, found = driver.check(screen, picture, [CURSOR_BOX])
        problems += found
        if screen == 1:
            grabbed, found = focus_away_and_back(session, driver, picture, grabbed)
            problems += found
        if screen < 3:
            driver.click("screen %d" % screen, grabbed)
    return problems


def live_reload(args, work):
    """The check of a --watch run in work/watched: portrait 2 put over portrait 0 by pixsheet."""
    def check(session, driver, expected):
        session.origin = ((800 - WIDTH) // 2, (600 - HEIGHT) // 2)
        problems = driver.check(1, to_rgb(os.path.join(expected, "screen-1.png")),
                                [CURSOR_BOX])[1]
        watched, pixsheet = os.path.join(work, "watched"), os.path.abspath(args.pixsheet)
        png = os.path.join(work, "portrait-2.png")
        subprocess.run([pixsheet, "export", os.path.join(watched, "ports.pix"), png, "--image",
                        "2"], check=True, timeout=60)
        before, written = session.grab(), time.monotonic()
        subprocess.run([pixsheet, "import", png, "-o", os.path.join(watched, "ports.pix"),
                        "--image", "0"], check=True, timeout=60)
        session.poll(lambda: session.grab() != before, 10, "the screen to change")
        log("sheet written to screen changed: %.0f ms (at most)" % (
            (time.monotonic() - written) * 1000))
        failed = run_capture(args.capture, watched, os.path.join(work, "capture-watched"))
        if failed:
            raise Failure(failed)
        problems += driver.check(1, to_rgb(os.path.join(work, "capture-watched", "screen-1.png")),
                                 [CURSOR_BOX], "screen 1 with the rewritten sheet")[1]
        # Gone for half a second, as an editor may leave it: waited for, the screen drawn again.
        ports = os.path.join(watched, "ports.pix")
        data = open(ports, "rb").read()
        os.remove(ports)
        time.sleep(0.5)
        with open(ports, "wb") as f:
            f.write(data)
        time.sleep(1.5)
        if driver.process.poll() is not None:
            problems.append("a sheet gone for half a second ended the program")
        problems += driver.check(1, to_rgb(os.path.join(work, "capture-watched", "screen-1.png")),
                                 [CURSOR_BOX], "screen 1 with the sheet back")[1]
        os.remove(os.path.join(watched, "button.pix"))
        driver.wait_exit("a sheet deleted")
        said = open(os.path.join(work, "program-watched.log")).read()
        if 'cannot open image sheet "button.pix"' not in said:
            problems.append("a sheet deleted: the program said %r" % said)
        return problems

    shutil.copytree(os.path.join(work, "sheets"), os.path.join(work, "watched"))
    return play(args, work, (800, 600), False, check, ("--watch",), "watched", 1)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--pixsheet", required=True)
    args = begin(parser, 300, ("weston",))
    started, work, problems = time.monotonic(), os.path.abspath(args.work), []
    try:
        prepare_work(work, args.capture)
        problems += play(args, work, (1366, 768), False, sharp_fit)
        problems += play(args, work, (800, 600), True, first_screens)
        problems += live_reload(args, work)
    except Failure as e:
        problems.append(str(e))
    return report(problems, "screens test", started,
                  "Program output in %s/program-*.log, weston's in %s/weston.log" % (work, work))


if __name__ == "__main__":
    sys.exit(main())
