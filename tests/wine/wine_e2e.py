#!/usr/bin/env python3
"""End-to-end check of the Windows program under Wine.

  wine_e2e.py imports --exe pixshow.exe --objdump x86_64-w64-mingw32-objdump
      The executable may import system DLLs only (static C and C++ runtimes).

  wine_e2e.py run --exe pixshow.exe --zip pixshow-VERSION-windows.zip --sheet-table sheets.tsv
                  --capture pixshow-capture --input-helper send_input.exe --work DIR
      On a 640 x 480 desktop (tests/desktop/xdesktop.py): the presentation as play_presentation
      describes, with the pointer confined to the button at screen 1's wait; the Windows zip
      unpacked into a path with a space (its contents, --version, status 2 for a missing folder,
      screen 1 of its sample art, Space on, Left back and F12's PNG compared with the screen and the capture,
      F1's help taken away by Escape, 3, the wheel and Home to screens 3, 2 and 1, F9 twice: a GIF
      of screen 1 as shown,
      Escape inside screen 2's first pause: status 0, display given back); a missing sheet ends
      it with status 1 after the load-failure message.

Exit status: 0 passed, 1 failed, 77 skipped (Wine cannot start here).
"""

import argparse
import functools
import os
import re
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "desktop"))
from xdesktop import (  # noqa: E402 (found through the path above)
    BUTTON_BOTTOM, BUTTON_LEFT, BUTTON_RIGHT, BUTTON_TOP, EXIT_TIMEOUT, HEIGHT, MIN_TEXT_PIXELS,
    SHEETS, STAT_ICONS, WHITE, WIDTH, WINDOW_TITLE, Driver, Failure, WineSession, begin, compare,
    folder_listing, log, play_presentation, prepare_work, report, run_capture,
    save_png, text_box, text_pixels, to_rgb, write_sheets)

SKIP = 77


def pointer_stays_on_button(session, screen, expected):  # at screen 1's wait
    if screen != 1:
        return []
    session.xdotool("mousemove", "100", "100")
    time.sleep(0.3)
    x, y = (int(v.split(b"=")[1])
            for v in session.xdotool("getmouselocation", "--shell").split()[:2])
    if not (BUTTON_LEFT <= x < BUTTON_RIGHT and BUTTON_TOP <= y < BUTTON_BOTTOM):
        return ["screen 1: the pointer went to (%d,%d), outside the button" % (x, y)]
    return []


def run_in_folder(session, exe, work, name, deadline, body, skip=()):
    """body(driver)'s problems, and a problem if the program changed its folder of sheets."""
    folder = os.path.join(work, name)
    write_sheets(folder, skip)
    before = folder_listing(folder)
    problems = body(Driver(session, session.start_program(exe, folder), deadline))
    if folder_listing(folder) != before:
        problems.append("%s: the program changed its folder: %s" % (name, folder_listing(folder)))
    return problems


def press_keys(session, driver, expected, shots):
    """At screen 1's wait: Space goes on to screen 2, Left back to screen 1, F12 writes it into
    shots as an 8-bit indexed PNG with the pixels on the screen: the capture's outside the
    captions (Wine draws text in its own font). Problems, and the screen at the end."""
    session.send_key(0x20)  # VK_SPACE
    problems = driver.check(2, to_rgb(os.path.join(expected, "screen-2.png")),
                            what="zip run, Space to screen 2")[1]
    capture = os.path.join(expected, "screen-1.png")
    session.send_key(0x25)  # VK_LEFT
    grabbed, found = driver.check(1, to_rgb(capture), what="zip run, Left back to screen 1")
    session.send_key(0x7B)  # VK_F12
    written = session.poll(lambda: os.path.isdir(shots) and sorted(os.listdir(shots)), 20,
                           "the screenshot after F12")
    time.sleep(0.5)  # written whole
    path = os.path.join(shots, written[0])
    with open(path, "rb") as f, open(capture, "rb") as c:
        data = f.read()
        same = data == c.read()
    if len(written) != 1 or not written[0].startswith("pixshow-1-") or data[16:26] != bytes(
            [0, 0, 2, 128, 0, 0, 1, 224, 8, 3]):
        found.append("F12: %s in %s, not one 640 x 480 8-bit indexed pixshow-1-*.png"
                     % (written, shots))
    else:  # the captions in Wine's font, as on its screen
        found += ["F12: %s" % p for p in compare(1, to_rgb(path), to_rgb(capture))]
        if to_rgb(path) != grabbed:
            found.append("F12: %s is not what the screen showed" % path)
    log("zip run: Space, Left and F12: the screenshot %s the capture's screen 1 %s"
        % ("has the pixels of the screen and" if not found else "DIFFERS from",
           "(the same bytes)" if same else "(other bytes)"))
    return problems + found + viewer_keys(session, driver, expected, grabbed, shots), grabbed


def viewer_keys(session, driver, expected, grabbed, shots):
    """At screen 1's wait, its note gone: F1 shows the keys over it and Escape only takes them
    away; 3 goes to screen 3, the wheel turned up back to 2, Home to 1 again. There F9 shows
    the recording's mark and F9 again saves a GIF of screen 1 as shown, without the mark."""
    session.send_key(0x70)  # VK_F1
    problems = [] if driver.settle("zip run, F1") != grabbed else ["F1: nothing over screen 1"]
    session.send_key(0x1B)  # VK_ESCAPE
    if driver.settle("zip run, Escape after F1") != grabbed:
        problems.append("F1 and Escape: screen 1 is not as it was")
    for step, screen in (("key 0x33", 3), ("wheel 120", 2), ("key 0x24", 1)):
        subprocess.run(["wine", session.input_helper] + step.split(), env=session.env, check=True,
                       **session.QUIET)
        picture = to_rgb(os.path.join(expected, "screen-%d.png" % screen))
        grabbed, found = driver.check(screen, picture,
                                      what="zip run, %s to screen %d" % (step, screen))
        problems += found
    session.send_key(0x78)  # VK_F9
    if driver.settle("zip run, F9") == grabbed:
        problems.append("F9: no mark over screen 1")
    session.send_key(0x78)
    gifs = session.poll(lambda: [n for n in os.listdir(shots) if n.endswith(".gif")], 20,
                        "the recording after F9 twice")
    time.sleep(0.5)  # written whole
    good = len(gifs) == 1 and gifs[0].startswith("pixshow-1-") and to_rgb(
        os.path.join(shots, gifs[0]) + "[0]") == grabbed
    if not good:
        problems.append("F9, F9: %s in %s, not one pixshow-1-*.gif of screen 1 as shown"
                        % (gifs, shots))
    log("zip run: F9 twice: the GIF %s screen 1 as shown" % ("is" if good else "is NOT"))
    return problems


def run_zip(session, zip_path, capture, work, deadline):
    name = os.path.basename(zip_path)[:-len(".zip")]
    into = os.path.join(work, "unpacked zip")
    with zipfile.ZipFile(zip_path) as z:
        listing = {n.rstrip("/") for n in z.namelist()}
        z.extractall(into)
    folder = os.path.join(into, name)
    wanted = ["pixshow.exe", "README.txt", "LICENSE.txt", "LICENSE-DejaVu.txt"]
    wanted += [sheet[0] for sheet in SHEETS]
    problems = ["zip: no %s/%s" % (name, w) for w in wanted if "%s/%s" % (name, w) not in listing]
    if problems:
        return problems
    with open(os.path.join(folder, "README.txt"), "rb") as f:
        readme = f.read()
    problems = ["zip: README.txt does not tell %r" % text.decode() for text in (
        b"Double-click pixshow.exe", b"Escape", b"Exit status", b"Your own art", b"pixsheet")
        if text not in readme]
    if b"\n" in readme.replace(b"\r\n", b""):
        problems.append("zip: README.txt has lines not ended by CR LF")
    expected = os.path.join(work, "capture-zip")
    failed = run_capture(capture, folder, expected)
    if failed:
        return problems + ["zip's sample art: " + failed]
    # As Windows names it (Wine's drive Z: is the root); Wine quotes it for its space.
    missing = "Z:" + os.path.join(folder, "no art").replace("/", "\\")
    exe = os.path.join(folder, "pixshow.exe")
    for arg, status, said in (("--version", 0, "pixshow "), (missing, 2, "no such folder")):
        result = subprocess.run(["wine", exe, arg], cwd=folder, env=session.env, timeout=60,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if result.returncode != status or said.encode() not in result.stdout:
            problems.append("pixshow.exe %s: status %d, %r"
                            % (arg, result.returncode, result.stdout))
    # Started elsewhere without a folder, as a double-click on a shortcut would: the sample beside it.
    shots = os.path.join(work, "zip shots")
    driver = Driver(session, session.start_program(
        exe, work, ["--screenshot-dir", "Z:" + shots.replace("/", "\\")], "run-zip.log"), deadline)
    grabbed = driver.settle("zip run, screen 1")
    save_png(grabbed, os.path.join(work, "zip-screen-1.png"))
    problems += ["zip run, screen 1: %s" % p
                 for p in compare(1, grabbed, to_rgb(os.path.join(expected, "screen-1.png")))]
    found, grabbed = press_keys(session, driver, expected, shots)
    problems += found
    # On to screen 2, and Escape inside its first caption pause (2 s): it ends the presentation
    # there, without waiting for the pause or the next wait.
    driver.click("zip run, screen 1", grabbed)
    time.sleep(0.5)
    pressed = time.monotonic()
    session.xdotool("keydown", "Escape")
    time.sleep(0.3)
    session.xdotool("keyup", "Escape")
    status = driver.wait_exit("after Escape inside a pause")
    log("zip run: Escape inside a pause, the program ended %.2f s after the press"
        % (time.monotonic() - pressed))
    if status != 0:
        problems.append("Escape: status %d, not 0" % status)
    time.sleep(0.5)
    if session.find_window(WINDOW_TITLE, visible=False) is not None:
        problems.append("Escape: the program's window is still on the display")
    size = tuple(int(v) for v in session.xdotool("getdisplaygeometry").split())
    if size != (WIDTH, HEIGHT):
        problems.append("Escape: the display was left at %s" % (size,))
    log("zip run: %d entries, Escape: status %d" % (len(listing), status))
    return problems


def run_missing_sheet(driver):
    for screen in (1, 2):  # the stat icons are the third screen's
        what = "missing-sheet run, screen %d" % screen
        driver.click(what, driver.settle(what))
    box, seen = text_box("Load Failure", 30, 430), False  # shows while the program ends
    limit = time.monotonic() + EXIT_TIMEOUT
    while driver.process.poll() is None and time.monotonic() < limit:
        seen = seen or text_pixels(driver.session.grab(), box, WHITE) >= MIN_TEXT_PIXELS
        time.sleep(0.2)
    status = driver.wait_exit("with a sheet missing")
    problems = ["missing sheet: status %d, not 1" % status] if status != 1 else []
    if not seen:
        problems.append("missing sheet: no 'Load Failure' on the screen at (30,430)")
    return problems


def command_run(parser):
    parser.add_argument("command", choices=["run"])
    parser.add_argument("--zip", required=True, help="the Windows zip")
    parser.add_argument("--input-helper", required=True, help="send_input.exe")
    args = begin(parser, 480, ("wine", "wineboot", "wineserver"))
    started, work = time.monotonic(), os.path.abspath(args.work)
    session, problems = WineSession(work, input_helper=os.path.abspath(args.input_helper)), []
    try:
        # The Wine prefix is kept between runs: making it takes most of a minute.
        expected = prepare_work(work, args.capture, keep=("wineprefix",))
        session.start()
        if not session.start_wine():
            log("SKIPPED: Wine cannot start on this machine")
            return SKIP
        exe, deadline = os.path.abspath(args.exe), started + args.time_limit
        on_wait = functools.partial(pointer_stays_on_button, session)
        problems += run_in_folder(session, exe, work, "run-all", deadline, lambda driver: (
            play_presentation(session, driver, expected, os.path.join(work, "wine"), (), on_wait)))
        problems += run_zip(session, os.path.abspath(args.zip), args.capture, work, deadline)
        problems += run_in_folder(session, exe, work, "run-missing", deadline, run_missing_sheet,
                                  (SHEETS[STAT_ICONS][0],))
    except Failure as e:
        problems.append(str(e))
    finally:
        session.close()
    for name in ("run-all.log", "run-zip.log", "run-missing.log") if problems else ():
        path = os.path.join(work, name)
        if os.path.isfile(path) and os.path.getsize(path):
            with open(path, errors="replace") as f:
                log("%s (last lines):\n%s" % (name, "".join(f.readlines()[-15:])))
    return report(problems, "Wine test", started, "Pictures: %s/wine and %s/capture" % (work, work))


def command_imports(args):
    """The executable imports only DLLs that every Windows installation has; it and the tools
    have ASLR (high entropy), DEP, a version resource and an icon."""
    system = {"kernel32.dll", "user32.dll", "gdi32.dll", "ddraw.dll", "dinput.dll",
              "msvcrt.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "winmm.dll"}
    result = subprocess.run([args.objdump, "-p", args.exe], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    dlls = [line.split(":", 1)[1].strip().lower() for line in result.stdout.decode(
        errors="replace").splitlines() if line.strip().startswith("DLL Name:")]
    log("imports: " + " ".join(dlls))
    problems = ["objdump: status %d" % result.returncode] if result.returncode else []
    problems += ["imports %s, not a system DLL" % d for d in dlls if d not in system]
    problems += ["%s is not imported" % d for d in ("ddraw.dll", "dinput.dll", "gdi32.dll",
                                                     "user32.dll") if d not in dlls]
    # Every program: ASLR with high entropy and DEP, a version resource and an icon.
    for exe in [args.exe] + args.tools:
        dump = subprocess.run([args.objdump, "-p", exe], capture_output=True, text=True).stdout
        found = re.search(r"^DllCharacteristics\s+([0-9a-f]+)", dump, re.M)
        flags = int(found.group(1), 16) if found else 0
        for bit, name in ((0x20, "HIGH_ENTROPY_VA"), (0x40, "DYNAMIC_BASE"), (0x100, "NX_COMPAT")):
            if not flags & bit:
                problems.append("%s lacks %s" % (os.path.basename(exe), name))
        for kind, name in ((3, "an icon"), (16, "a version resource")):
            if not re.search(r"^[0-9a-f]+ {3}Entry: ID: 0x0*%x," % kind, dump, re.M):  # a type
                problems.append("%s has no %s" % (os.path.basename(exe), name))
    log("FAIL: " + "; ".join(problems) if problems else "PASS")
    return 1 if problems else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    if sys.argv[1:2] == ["run"]:
        return command_run(argparse.ArgumentParser(prog="wine_e2e.py run"))
    parser.add_argument("command", choices=["imports"])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--tools", nargs="*", default=[], help="the Windows tools, checked as --exe")
    return command_imports(parser.parse_args())


if __name__ == "__main__":
    sys.exit(main())
