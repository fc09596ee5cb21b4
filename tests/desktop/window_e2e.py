#!/usr/bin/env python3
"""The native program's window on openbox desktops of 1366 x 768 and 1920 x 1080 (xdesktop.py).

  window_e2e.py --exe pixshow --sheet-table sheets.tsv --capture pixshow-capture --work DIR

--window --scale N opens a window N times 640 x 480 within the work area, its title bar on the
screen; a remembered window larger than the screen is fitted, a remembered place is used. The
settings file stays as it was after options given for one run. A folder lacking sheets, or holding
them under other capitals, is named in one line before the window appears.
"""

import argparse
import os
import sys
import time

from xdesktop import WINDOW_TITLE, Failure, XSession, begin, log, report, write_sheets

SHEETS = ("ports.pix", "button.pix", "Divadude.pix", "WarTiles.pix", "Pieces.pix", "Borders.pix")
LACKS = ('lacks Divadude.pix, WarTiles.pix, Pieces.pix and Borders.pix: "Load Failure" ends '
         'the show where it first draws from one')
# screen, options, settings file before ("": none), folder, the window's inside (x, y, w, h;
# None: not checked; x and y where the window manager puts the frame), a line the program says
# first (None: nothing before the window)
CASES = [
    ((1366, 768), ["--window", "--scale", "3"], "", "sheets", (None, None, 1358, 736), None),
    ((1366, 768), [], "mode=window\nwidth=1280\nheight=960\n", "sheets", (None, None, 640, 480),
     "pixshow: not using the remembered window size 1280 x 960: larger than any display"),
    ((1366, 768), [], "mode=window\nwidth=800\nheight=600\nx=300\ny=100\n", "sheets",
     (300, 100, 800, 600), None),
    ((1366, 768), ["--window", "two"], "", ".", None, 'pixshow: the folder "{work}/two" ' + LACKS),
    ((1366, 768), ["--window"], "", "caps", None,
     'pixshow: no image sheets here ("PORTS.PIX" is not ports.pix: names are exact): playing '
     'the sample art in '),
    ((1920, 1080), ["--window", "--scale", "1"], "", "sheets", (None, None, 640, 480), None),
    ((1920, 1080), ["--scale=2", "--window"], "mode=fullscreen\nscale=fit\n", "sheets",
     (None, None, 1280, 960), None),
]


def settled_geometry(session):
    window = session.poll(lambda: session.find_window(WINDOW_TITLE), 60, "the window")
    last = None
    for _ in range(50):  # the window manager places it: two readings alike
        now = session.geometry(window)
        if now == last:
            return now
        last = now
        time.sleep(0.3)
    return last


def check_case(session, args, work, case):
    size, options, before, folder, wanted, said = case
    what = "%d x %d %s %r" % (size + (" ".join(options), before))
    settings = os.path.join(work, "config", "pixshow", "settings.ini")
    os.makedirs(os.path.dirname(settings), exist_ok=True)
    if os.path.exists(settings):
        os.remove(settings)
    if before:
        with open(settings, "w") as f:
            f.write(before)
    program = session.spawn([os.path.abspath(args.exe)] + options, "program.log",
                            cwd=os.path.join(work, folder))
    problems = []
    try:
        x, y, w, h = settled_geometry(session)
        log("  %s: the window's inside at %d, %d, %d x %d" % (what, x, y, w, h))
        frame = (4, 40, 0, 0)  # the frame's left side and top: openbox puts it at the place
        if wanted and any(v is not None and not v <= got <= v + extra
                          for v, got, extra in zip(wanted, (x, y, w, h), frame)):
            problems.append("%s: the window is %s, not %s" % (what, (x, y, w, h), wanted))
        if y < 10 or x < 0 or x + w > size[0] or y + h > size[1]:
            problems.append("%s: the window %s is not on the screen, title bar and all"
                            % (what, (x, y, w, h)))
        first = open(os.path.join(work, "program.log")).read().split("\n")[0]
        if (said or "") and not first.startswith(said.format(work=work)):
            problems.append("%s: the program said %r first" % (what, first))
    finally:
        program.terminate()  # SIGTERM: the close button, settings written as on any end
        status = program.wait(30)
    if status != 0:
        problems.append("%s: ended with status %d" % (what, status))
    after = open(settings).read() if os.path.exists(settings) else ""
    if after != before:
        problems.append("%s: the settings file became %r" % (what, after))
    return problems


def main():
    args = begin(argparse.ArgumentParser(description=__doc__.split("\n\n")[0]), 300)
    started, work, problems = time.monotonic(), os.path.abspath(args.work), []
    os.makedirs(work, exist_ok=True)
    write_sheets(os.path.join(work, "sheets"))
    write_sheets(os.path.join(work, "two"), skip=SHEETS[2:])
    os.makedirs(os.path.join(work, "caps"), exist_ok=True)
    with open(os.path.join(work, "caps", "PORTS.PIX"), "wb") as f:
        f.write(b"\0" * 82 * 62)
    try:
        for size in sorted({case[0] for case in CASES}):
            session = XSession(work, size)
            try:
                session.start()
                for name in ("PIXSHOW_BACKEND", "PIXSHOW_WINDOWED", "PIXSHOW_SCALE",
                             "SDL_VIDEODRIVER"):
                    session.env.pop(name, None)
                for case in CASES:
                    if case[0] == size:
                        problems += check_case(session, args, work, case)
            finally:
                session.close()
    except Failure as e:
        problems.append(str(e))
    return report(problems, "window test", started,
                  "Program output in %s/program.log" % work)


if __name__ == "__main__":
    sys.exit(main())
