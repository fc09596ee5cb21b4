#!/usr/bin/env python3
"""End-to-end check of the native program on an 800 x 600 X desktop (xdesktop.py).

  native_e2e.py --exe pixshow --sheet-table sheets.tsv --capture pixshow-capture --work DIR

Plays the presentation full screen on the SDL backend as play_presentation describes; also full
screen covers the screen with the picture centred on black, and Alt+Enter at screen 3's wait
leaves it for a 640 x 480 window showing the same picture and comes back. The viewer's keys: at
screen 4 F1 and ? show the keys' help over the picture, Escape and F1 take it away leaving the
picture exactly as it was, F12 saves the capture's picture with a note that goes again, F9 twice
a GIF of it without the mark shown meanwhile; at screen 6
the number keys go to screen 5 and back, at screen 7 the wheel goes back and on.
"""

import argparse
import glob
import os
import sys
import time

from xdesktop import (BUTTON_BOTTOM, BUTTON_LEFT, BUTTON_RIGHT, BUTTON_TOP, HEIGHT, WIDTH,
                      WINDOW_TITLE, Driver, Failure, XSession, begin, compare, play_presentation,
                      prepare_work, report, save_png, to_rgb)

SCREEN = (800, 600)
ORIGIN = ((SCREEN[0] - WIDTH) // 2, (SCREEN[1] - HEIGHT) // 2)  # full screen, scale 1
# The program draws its own arrow at its cursor, held on the button while it waits.
CURSOR_BOX = (BUTTON_LEFT, BUTTON_TOP, BUTTON_RIGHT + 12, BUTTON_BOTTOM + 19)


def covers_screen(session, what):
    window = session.find_window(WINDOW_TITLE)
    problems = []
    if not session.full_screen(window) or session.geometry(window) != (0, 0) + SCREEN:
        problems.append("%s: the window is at %s, not full screen over the whole screen"
                        % (what, session.geometry(window)))
    whole, row = session.grab(whole=True), SCREEN[0] * 3
    x0, y0 = ORIGIN
    border = whole[:y0 * row] + whole[(y0 + HEIGHT) * row:] + b"".join(
        whole[y * row:y * row + x0 * 3] + whole[y * row + (x0 + WIDTH) * 3:(y + 1) * row]
        for y in range(y0, y0 + HEIGHT))
    if border.strip(b"\0"):
        problems.append("%s: the screen around the picture is not black" % what)
    return problems


def alt_enter_and_back(session, driver, screen, expected):
    what = "screen %d" % screen
    problems = covers_screen(session, what)
    window = session.find_window(WINDOW_TITLE)
    session.xdotool("key", "alt+Return")
    session.poll(lambda: not session.full_screen(window)
                 and session.geometry(window)[2:] == (WIDTH, HEIGHT), 30,
                 "Alt+Enter to leave full screen for a 640 x 480 window")
    session.origin = session.geometry(window)[:2]
    problems += driver.check(screen, expected, [CURSOR_BOX], what + " in a window")[1]
    session.xdotool("key", "alt+Return")
    session.poll(lambda: session.full_screen(window), 30, "Alt+Enter to go back to full screen")
    session.origin = ORIGIN
    problems += driver.check(screen, expected, [CURSOR_BOX], what + " full screen again")[1]
    return problems + covers_screen(session, what + " full screen again")


def viewer_keys(session, driver, screen, expected, work):
    capture = lambda n: to_rgb(os.path.join(work, "capture", "screen-%d.png" % n))
    what, problems = "screen %d" % screen, []
    if screen == 4:
        for show, hide in (("F1", "Escape"), ("question", "F1"), ("F12", None)):
            session.xdotool("key", show)
            covered = driver.settle("%s after %s" % (what, show))
            save_png(covered, os.path.join(work, "grabbed", "screen-4-%s.png" % show))
            if not compare(screen, covered, expected, [CURSOR_BOX]):
                problems.append("%s: nothing shown over the picture after %s" % (what, show))
            if hide:
                session.xdotool("key", hide)
            else:
                time.sleep(2)  # the note's time is over
            problems += driver.check(screen, expected, [CURSOR_BOX],
                                     "%s after %s" % (what, hide or "the note"))[1]
        shots = glob.glob(os.path.join(work, "shots", "*.png"))
        if len(shots) != 1 or to_rgb(shots[0]) != expected:
            problems.append("%s: the screenshots %s are not the capture's picture" % (what, shots))
        session.xdotool("key", "F9")
        if not compare(screen, driver.settle(what + " after F9"), expected, [CURSOR_BOX]):
            problems.append("%s: no mark over the picture after F9" % what)
        session.xdotool("key", "F9")
        time.sleep(4.5)  # the note naming the GIF has gone
        problems += driver.check(screen, expected, [CURSOR_BOX], what + " after F9 twice")[1]
        gifs = glob.glob(os.path.join(work, "shots", "*.gif"))
        if len(gifs) != 1 or to_rgb(gifs[0] + "[0]") != expected:
            problems.append("%s: the recording %s is not the capture's picture" % (what, gifs))
    for key, button, to in (("5", None, 5), ("6", None, 6)) if screen == 6 else (
            (None, "4", 6), (None, "5", 7)) if screen == 7 else ():
        session.xdotool(*(("key", key) if key else ("click", button)))
        problems += driver.check(to, capture(to), [CURSOR_BOX], "%s after %s" % (
            what, "the key " + key if key else "the wheel " + ("up" if button == "4" else "down")))[1]
    return problems


def main():
    args = begin(argparse.ArgumentParser(description=__doc__.split("\n\n")[0]), 300)
    started, work = time.monotonic(), os.path.abspath(args.work)
    session, problems = XSession(work, SCREEN), []
    try:
        expected = prepare_work(work, args.capture)
        session.start()
        for name in ("PIXSHOW_BACKEND", "PIXSHOW_WINDOWED", "SDL_VIDEODRIVER"):
            session.env.pop(name, None)
        session.origin = ORIGIN
        shots = "--screenshot-dir=" + os.path.join(work, "shots")
        driver = Driver(session, session.spawn([os.path.abspath(args.exe), shots], "program.log",
                                               cwd=os.path.join(work, "sheets")),
                        started + args.time_limit)
        problems = play_presentation(
            session, driver, expected, os.path.join(work, "grabbed"), [CURSOR_BOX],
            lambda screen, expected: alt_enter_and_back(session, driver, screen, expected)
            if screen == 3 else viewer_keys(session, driver, screen, expected, work))
    except Failure as e:
        problems.append(str(e))
    finally:
        session.close()
    return report(problems, "native desktop test", started,
                  "Pictures: %s/grabbed and %s/capture; program output in %s/program.log"
                  % (work, work, work))


if __name__ == "__main__":
    sys.exit(main())
