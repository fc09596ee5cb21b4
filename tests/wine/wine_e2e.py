#!/usr/bin/env python3
"""End-to-end check of the Windows program under Wine.

  wine_e2e.py imports --exe pixshow.exe --objdump x86_64-w64-mingw32-objdump
      The executable may import system DLLs only (static C and C++ runtimes).

  wine_e2e.py run --exe pixshow.exe --zip pixshow-VERSION-windows.zip
                  --capture pixshow-capture --input-helper send_input.exe --work DIR
      Starts a 640 x 480 X server of its own (Xvfb) with openbox on it, runs
      pixshow.exe under Wine in a folder of synthetic image sheets, clicks
      through the eight screens, grabs the screen once each has settled and
      compares it with pixshow-capture's picture of the same screen from the
      same sheets: every pixel outside the captions must have the same
      colour, and every caption box must hold text. On the way a window
      covers part of screen 1 and is closed, and the focus goes away during
      one of screen 2's pauses; both screens must come back whole (see
      tests/desktop/xdesktop.py). Also watches the palette change of the
      second screen and the pointer's confinement to the continue button
      during a wait. Then unpacks the Windows zip (checking that it holds the
      program, the sample art, README.txt and the licences) into a folder
      whose path has a space, checks its pixshow.exe's --version and status 2
      for a missing folder, runs it from there with the sample folder's whole
      path as argument, compares the first screen with the capture of the
      sample art, and checks that Escape ends the program with status 0 and
      gives the display back. Last, a missing sheet ends it with status 1
      after showing the load-failure message.

Exit status: 0 passed, 1 failed, 77 skipped (Wine cannot start here).
Needs wine and what tests/desktop/xdesktop.py needs (scripts/deps test).
"""

import argparse
import os
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "desktop"))
from xdesktop import (  # noqa: E402 (found through the path above)
    BUTTON_BOTTOM, BUTTON_LEFT, BUTTON_RIGHT, BUTTON_TOP, EXIT_TIMEOUT, HEIGHT, MIN_TEXT_PIXELS,
    SHEETS, STAT_ICONS, WHITE, WIDTH, Driver, Failure, XSession, compare, end_on_signals,
    find_tools, folder_listing, load_sheet_table, log, pixel, play_presentation, prepare_work,
    save_png, text_box, to_rgb, write_sheets)

SKIP = 77


class WineSession(XSession):
    """The X session with Wine on it. 24 bits a pixel: on an 8-bit screen
    Wine 8 shows the DirectDraw palette as the nearest of the 20 static
    system colours; on a 24-bit one it keeps the program's 8-bit mode and
    shows every palette entry exactly."""

    def __init__(self, work, input_helper):
        XSession.__init__(self, work)
        self.input_helper = input_helper

    def start(self):
        XSession.start(self)
        self.env.update(WINEPREFIX=os.path.join(self.work, "wineprefix"), WINEDEBUG="-all",
                        # No Mono or Gecko installation prompts.
                        WINEDLLOVERRIDES="mscoree,mshtml=")


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
        return self.spawn(["wine", exe] + list(args),
                          log_name or os.path.basename(folder) + ".log", cwd=folder)

    def send_click(self):
        """Clicks through the input helper: see send_input.cpp for why not
        through X."""
        subprocess.run(["wine", self.input_helper, "click"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

    def close(self):
        if self.env is not None:
            # Ends every Wine process of this prefix (ours only).
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
        XSession.close(self)


def pointer_stays_on_button(session):
    """While the program waits, the pointer cannot leave the button."""
    session.xdotool("mousemove", "100", "100")
    time.sleep(0.3)
    x, y = session.pointer()
    if not (BUTTON_LEFT <= x < BUTTON_RIGHT and BUTTON_TOP <= y < BUTTON_BOTTOM):
        return ["screen 1: the pointer went to (%d,%d), outside the button" % (x, y)]
    log("screen 1: the pointer stays on the button (%d,%d)" % (x, y))
    return []


def run_presentation(session, exe, work, expected_dir, deadline):
    folder = os.path.join(work, "run-all")
    write_sheets(folder)
    before = folder_listing(folder)
    driver = Driver(session, session.start_program(exe, folder), deadline)
    problems = play_presentation(
        session, driver, expected_dir, os.path.join(work, "wine"),
        at_wait=lambda screen, expected: pointer_stays_on_button(session) if screen == 1 else [])
    if folder_listing(folder) != before:
        problems.append("the program changed its folder: %s" % folder_listing(folder))
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
    missing = find_tools(("wine", "wineboot", "wineserver")) + find_tools()
    for path in (args.exe, args.zip, args.capture, args.input_helper):
        if not os.path.isfile(path):
            missing.append("%s does not exist" % path)
    if missing:
        log("FAIL: " + "; ".join(missing))
        return 1

    started = time.monotonic()
    deadline = started + args.time_limit
    work = os.path.abspath(args.work)
    # The Wine prefix is kept between runs: making it takes most of a minute.
    try:
        expected = prepare_work(work, args.capture, keep=("wineprefix",))
    except Failure as e:
        log("FAIL: %s" % e)
        return 1
    session = WineSession(work, os.path.abspath(args.input_helper))
    end_on_signals()

    problems = []
    try:
        session.start()
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
