#!/usr/bin/env python3
"""The native program's window on openbox desktops of 1366 x 768 and 1920 x 1080 (xdesktop.py).

  window_e2e.py --exe pixshow --sheet-table sheets.tsv --capture pixshow-capture --work DIR

--window --scale N opens a window N times 640 x 480 within the work area, title bar and all; a
remembered window larger than the screen is fitted, a remembered place used. The settings file stays
as it was after options given for one run. A folder lacking sheets, or holding them under other
capitals, is named in one line before the window appears. Under weston (SDL's Wayland driver)
the window is N times 640 x 480 within the output, and one-off options leave the settings file
alone too.
"""
import argparse, os, re, sys, time

from xdesktop import WINDOW_TITLE, Failure, XSession, begin, log, report, write_sheets

LACKS = ('lacks Divadude.pix, WarTiles.pix, Pieces.pix and Borders.pix: "Load Failure" ends '
         'the show where it first draws from one')
# screen, options, settings file before, folder, the window's inside (x, y, w, h; None: any; x and
# y where openbox puts the frame), what the program says first
CASES = [
    ((1366, 768), ["--window", "--scale", "3"], "", "sheets", (None, None, 1358, 736), ""),
    ((1366, 768), [], "mode=window\nwidth=1280\nheight=960\n", "sheets", (None, None, 640, 480),
     "pixshow: not using the remembered window size 1280 x 960: larger than any display"),
    ((1366, 768), [], "mode=window\nwidth=800\nheight=600\nx=300\ny=100\n", "sheets",
     (300, 100, 800, 600), ""),
    ((1366, 768), ["--window", "two"], "", ".", (None,) * 4, 'pixshow: the folder "{}/two" ' + LACKS),
    ((1366, 768), ["--window"], "", "caps", (None,) * 4, 'pixshow: no image sheets here ("PORTS.PIX"'
     ' is not ports.pix: names are exact): playing the sample art in '),
    ((1920, 1080), ["--window", "--scale", "1"], "", "sheets", (None, None, 640, 480), ""),
    ((1920, 1080), ["--scale=2", "--window"], "mode=fullscreen\nscale=fit\n", "sheets",
     (None, None, 1280, 960), ""),
]
# The same under weston: a Wayland client cannot place itself, so only the size is checked; the
# room kept for a title bar holds the one SDL draws there (libdecor's). Options of the form
# NAME=VALUE are set in the environment.
WESTON_CASES = [
    ((1366, 768), ["--window", "--scale", "3"], "", "sheets", (None, None, 1358, 736), ""),
    ((1366, 768), ["PIXSHOW_WINDOWED=1"], "mode=fullscreen\n", "sheets", (None, None, 640, 480),
     ""),
    ((1920, 1080), ["--window", "--scale", "1"], "scale=2\n", "sheets", (None, None, 640, 480), ""),
    ((1920, 1080), ["--scale=2", "PIXSHOW_WINDOWED=1"], "mode=fullscreen\nscale=fit\n", "sheets",
     (None, None, 1280, 960), ""),
]


def x_window(session):  # the inside's (x, y, width, height) once shown, else None
    window = session.find_window(WINDOW_TITLE)
    return window and session.geometry(window)


def weston_window(session):  # the same from weston's scene graph
    out = session.run_x("timeout", "5", "weston-debug", "scene-graph")
    found = re.search(r"top-level window '%s'.*\n\s*position: \((-?\d+), (-?\d+)\) -> "
                      r"\((-?\d+), (-?\d+)\)" % WINDOW_TITLE, out.decode(errors="replace"))
    x, y, right, bottom = map(int, found.groups()) if found else (0,) * 4
    return found and (x, y, right - x, bottom - y)


def check_case(session, exe, work, case, read=x_window):
    size, every, before, folder, wanted, said = case
    options = [o for o in every if "=" not in o or o.startswith("-")]
    env = dict(session.env, **dict(o.split("=", 1) for o in every if o not in options))
    what = "%s%d x %d %s %r" % (("weston " if read == weston_window else "",) + size
                                 + (" ".join(every), before))
    os.makedirs(work + "/config/pixshow", exist_ok=True)
    with open(work + "/config/pixshow/settings.ini", "w") as f:
        f.write(before)
    program = session.spawn([exe] + options, "program.log", cwd=os.path.join(work, folder), env=env)
    try:
        readings = [session.poll(lambda: read(session), 60, "the window")]
        while len(readings) < 2 or readings[-1] != readings[-2]:  # placed: two readings alike
            time.sleep(0.3)
            readings.append(read(session))
        x, y, w, h = got = readings[-1]
        log("  %s: the window's inside at %s" % (what, got))
        first = open(work + "/program.log").read().split("\n")[0]
    finally:
        program.terminate()  # the close button: the settings written as at any end
        status = program.wait(30)
    after = open(work + "/config/pixshow/settings.ini").read()
    return ["%s: %s" % (what, p) for p, bad in (
        ("the window is %s, not %s" % (got, wanted), any(
            v is not None and not v <= g <= v + frame  # openbox's frame: left side, top
            for v, g, frame in zip(wanted, got, (4, 40, 0, 0)))),
        ("the window %s is not on the screen" % (got,), w > size[0] or h > size[1] or (
            read == x_window and (y < 10 or x < 0 or x + w > size[0] or y + h > size[1]))),
        ("said %r first" % first, not first.startswith(said.format(work))),
        ("ended with status %d" % status, status != 0),
        ("the settings file became %r" % after, after != before)) if bad]


def main():
    args = begin(argparse.ArgumentParser(description=__doc__.split("\n\n")[0]), 300)
    started, work, problems = time.monotonic(), os.path.abspath(args.work), []
    write_sheets(work + "/sheets")
    write_sheets(work + "/two", skip=("Divadude.pix", "WarTiles.pix", "Pieces.pix", "Borders.pix"))
    os.makedirs(work + "/caps", exist_ok=True)
    with open(work + "/caps/PORTS.PIX", "wb") as f:
        f.write(bytes(82 * 62))
    try:
        for size, weston in (((1366, 768), 0), ((1920, 1080), 0), ((1366, 768), 1),
                             ((1920, 1080), 1)):
            session = XSession(work, size, manager=not weston)
            try:
                session.start()
                for name in ("PIXSHOW_BACKEND", "PIXSHOW_WINDOWED", "PIXSHOW_SCALE",
                             "SDL_VIDEODRIVER"):
                    session.env.pop(name, None)
                if weston:  # SDL's Wayland driver and the libraries under it keep memory
                    session.env = session.wayland_env = session.start_weston(debug=True)
                    session.env.update(SDL_VIDEODRIVER="wayland", ASAN_OPTIONS=":".join(filter(
                        None, (session.env.get("ASAN_OPTIONS"), "detect_leaks=0"))))
                for case in (c for c in (WESTON_CASES if weston else CASES) if c[0] == size):
                    problems += check_case(session, os.path.abspath(args.exe), work, case,
                                           weston_window if weston else x_window)
            finally:
                session.close()
    except Failure as e:
        problems.append(str(e))
    return report(problems, "window test", started, "Program output in %s/program.log" % work)


if __name__ == "__main__":
    sys.exit(main())
