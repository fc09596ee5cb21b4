#!/usr/bin/env python3
"""End-to-end check of the native program on an 800 x 600 X desktop (xdesktop.py).

  native_e2e.py --exe pixshow --sheet-table sheets.tsv --capture pixshow-capture --work DIR

Plays the presentation full screen on the SDL backend as play_presentation describes; also full
screen covers the screen with the picture centred on black, and Alt+Enter at screen 3's wait
leaves it for a 640 x 480 window showing the same picture and comes back.
"""

import argparse
import os
import sys
import time

from xdesktop import (BUTTON_BOTTOM, BUTTON_LEFT, BUTTON_RIGHT, BUTTON_TOP, HEIGHT, WIDTH,
                      WINDOW_TITLE, Driver, Failure, XSession, begin, play_presentation,
                      prepare_work, report)

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
        driver = Driver(session, session.spawn([os.path.abspath(args.exe)], "program.log",
                                               cwd=os.path.join(work, "sheets")),
                        started + args.time_limit)
        problems = play_presentation(
            session, driver, expected, os.path.join(work, "grabbed"), [CURSOR_BOX],
            lambda screen, expected: alt_enter_and_back(session, driver, screen, expected)
            if screen == 3 else [])
    except Failure as e:
        problems.append(str(e))
    finally:
        session.close()
    return report(problems, "native desktop test", started,
                  "Pictures: %s/grabbed and %s/capture; program output in %s/program.log"
                  % (work, work, work))


if __name__ == "__main__":
    sys.exit(main())
