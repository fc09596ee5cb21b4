#!/usr/bin/env python3
"""The artist's tools of the Windows zip under Wine write the same bytes as the Linux tools.

  wine_tools.py --pixsheet-exe pixsheet.exe --capture-exe pixshow-capture.exe
                --pixsheet pixsheet --capture pixshow-capture --sample DIR --sheet-table sheets.tsv
                --work DIR

For the sample art and the synthetic sheets, in a folder whose name has a space and a non-ASCII
letter, given as Windows paths: pixsheet export (contact sheet and --image), import, palette
(.gpl, .pal, .png) and pixshow-capture --all-holds, compared byte for byte with the Linux tools'
files, and --gif (giflib compiled from source there); then --help, the refusals of a device (NUL,
CON) and of an output that is an input, and --video, which the Windows build does not have.
Then the steps of README.txt's "Making art", every command as written there, in cmd; and imports
interrupted by Ctrl+C (Wine turns SIGINT into it) or killed, and one that finds the sheet locked.

Exit status: 0 passed, 1 failed, 77 skipped (Wine cannot start here).
"""

import argparse
import filecmp
import os
import re
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "desktop"))
from xdesktop import (  # noqa: E402 (found through the path above)
    SHEETS, load_sheet_table, log, report, wine_environment, write_sheets)

SKIP = 77


def windows(path):  # as a Windows user types it: Wine's drive Z: is the root
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for name in ("--pixsheet-exe", "--capture-exe", "--pixsheet", "--capture", "--sample",
                 "--sheet-table", "--work", "--readme"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    load_sheet_table(args.sheet_table)
    started, work = time.monotonic(), os.path.abspath(args.work)
    env = wine_environment(os.path.join(work, "wineprefix"))
    env.pop("DISPLAY", None)  # console programs: no desktop needed
    for name in os.listdir(work) if os.path.isdir(work) else ():
        if name != "wineprefix":  # kept between runs: making it takes most of a minute
            shutil.rmtree(os.path.join(work, name))
    art = os.path.join(work, "art ü")
    lin, win = os.path.join(art, "linux"), os.path.join(art, "windows")
    for folder in (lin, win):
        os.makedirs(folder)
    write_sheets(os.path.join(art, "synthetic"))
    shutil.copytree(args.sample, os.path.join(art, "sample"))

    def wine(*argv, cwd=art):
        return subprocess.run(["wine"] + list(argv), cwd=cwd, env=env, timeout=300,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    try:
        # One Wine server for every run (each would otherwise start its own). Wine's own
        # services, started by the first run, outlive it: they get no pipe of ours.
        subprocess.run(["wineserver", "-p"], env=env, timeout=60)
        try:
            ok = subprocess.run(["wine", "cmd", "/c", "exit 0"], env=env, timeout=240,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
        except (OSError, subprocess.TimeoutExpired):
            ok = False
        if not ok:
            log("SKIPPED: Wine cannot start on this machine")
            return SKIP
        problems = walkthrough(args, work, wine) + interruptions(args, work, env)
        return compare(args, env, art, lin, win, wine, started, problems)
    finally:
        subprocess.run(["wineserver", "-k"], env=env, timeout=60)


def walkthrough(args, work, wine):
    """Runs README.txt's "Making art" in cmd: each command as written, in the same order."""
    with open(args.readme, encoding="utf-8") as f:
        text = f.read().replace("\r\n", "\n")
    commands = [re.sub(r"\s{2,}\(.*\)$", "", line.strip())
                for line in text[text.index("\nMaking art\n"):].split("\n")
                if re.match(r' {5}(mkdir|copy|cd|"|pixsheet\.exe|pixshow-capture\.exe)', line)]
    here, mine = os.path.join(work, "walk", "this folder"), os.path.join(work, "walk", "My art")
    os.makedirs(here)
    for name in [args.pixsheet_exe, args.capture_exe] + [
            os.path.join(args.sample, n) for n in os.listdir(args.sample) if n.endswith(".pix")]:
        shutil.copy(name, here)
    batch = ["@echo off", "set PATH=%%PATH%%;%s" % windows(here), 'cd /d "%s"' % windows(here)]
    for number, command in enumerate(commands, 1):
        batch += [command.replace("C:\\Users\\me\\My art", windows(mine))
                  .replace("C:\\path\\to\\this folder", windows(here)),
                  "if errorlevel 1 exit /b %d" % number]
    script = os.path.join(work, "walk", "walkthrough.bat")
    with open(script, "w", newline="\r\n") as f:
        f.write("\n".join(batch) + "\n")
    r = wine("cmd", "/c", windows(script), cwd=here)
    if len(commands) < 10 or r.returncode:
        return ["README.txt's walkthrough: %d commands, status %d at %r: %r" % (
            len(commands), r.returncode, commands[r.returncode - 1] if 0 < r.returncode <=
            len(commands) else "", (r.stdout + r.stderr)[-400:])]
    shots = os.listdir(os.path.join(mine, "shots"))
    if not filecmp.cmp(os.path.join(mine, "ports.pix"), os.path.join(here, "ports.pix"), False) \
            or not all("screen-%d.png" % n in shots for n in range(1, 9)):
        return ["README.txt's walkthrough changed ports.pix or missed screens: %s" % shots]
    log("ran README.txt's %d commands" % len(commands))
    return []


def interruptions(args, work, env):
    """Ctrl+C and kills in the middle of an import, and a second import that finds the lock."""
    folder, problems = os.path.join(work, "interrupted"), []
    os.makedirs(folder)
    image = 42 * 32
    with open(os.path.join(folder, "big.pix"), "wb") as f:
        f.write(bytes(i * 7 % 256 for i in range(image * 3000)))
    subprocess.run([args.pixsheet, "export", "big.pix", "--size", "42x32", "--columns", "40",
                    "-o", "big.png"], cwd=folder, check=True, stdout=subprocess.DEVNULL)
    os.remove(os.path.join(folder, "big.pix"))
    sheet, path = bytes(range(256)) * 21, os.path.join(folder, "Pieces.pix")  # 4 images

    def run(*argv):
        return subprocess.run(["wine", args.pixsheet_exe] + list(argv), cwd=folder, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)

    def hidden():  # Wine closes a killed process's files a moment after it ends
        for _ in range(100):
            names = [n for n in os.listdir(folder) if n.startswith(".pix")]
            if not names:
                break
            time.sleep(0.05)
        return names

    def busy(how):  # the import is halfway through
        if how == "--append":
            return os.path.getsize(path) > len(sheet) + 10 * image
        temps = [n for n in os.listdir(folder) if n.startswith(".pixtmp-")]
        return temps and os.path.getsize(os.path.join(folder, temps[0])) > 10 * image

    for how, sig, said in (("--append", signal.SIGINT, 'bytes appended to "Pieces.pix" were taken'),
                           ("--replace", signal.SIGINT, '"Pieces.pix" was not written'),
                           ("--append", signal.SIGKILL, "")):
        with open(path, "wb") as f:
            f.write(sheet)
        p = subprocess.Popen(["wine", args.pixsheet_exe, "import", "big.png", "-o", "Pieces.pix",
                              how], cwd=folder, env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        deadline = time.monotonic() + 60
        while not busy(how) and p.poll() is None and time.monotonic() < deadline:
            time.sleep(0.002)
        p.send_signal(signal.SIGSTOP)
        other = run("import", "big.png", "-o", "Pieces.pix", "--append", "--wait", "1")
        if other.returncode != 2 or b"waiting up to 1 second" not in other.stderr or \
                b"still in use by another pixsheet (process" not in other.stderr:
            problems.append("a second import beside %s: %r" % (how, other))
        p.send_signal(sig)
        p.send_signal(signal.SIGCONT)
        out, err = p.communicate(timeout=120)
        after = run("info", "Pieces.pix") if sig == signal.SIGKILL else None
        if (sig == signal.SIGINT and (p.returncode != 130 or said.encode() not in err)) or \
                (after and b"back to its 5376 bytes: an append to it did not finish" not in
                 after.stderr):
            problems.append("import %s ended by signal %d: status %d, %r; then %r" % (
                how, sig, p.returncode, out + err, after))
        with open(path, "rb") as f:
            if f.read() != sheet:
                problems.append("import %s ended by signal %d changed the sheet" % (how, sig))
        if hidden():
            problems.append("import %s ended by signal %d left %s" % (how, sig, hidden()))
    log("interrupted %d imports" % 3)
    return problems


def compare(args, env, art, lin, win, wine, started, problems):

    def both(what, linux_args, windows_args):  # runs a command on both systems
        native = subprocess.run(linux_args, cwd=art, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        result = wine(*windows_args)
        for system, r in (("Linux", native), ("Windows", result)):
            if r.returncode != 0:
                problems.append("%s on %s: status %d: %s" % (what, system, r.returncode,
                                                             r.stderr.decode(errors="replace")))

    sheets = [(kind, name, "%dx%d" % (width, height)) for kind in ("sample", "synthetic")
              for name, width, height, _ in SHEETS]
    for kind, name, size in sheets:
        sheet, png, one, back = (kind + "/" + name, kind + "-" + name + ".png",
                                 kind + "-" + name + "-0.png", kind + "-" + name)
        both("export " + sheet, [args.pixsheet, "export", sheet, "-o", "linux/" + png],
             [args.pixsheet_exe, "export", windows(os.path.join(art, sheet)), "windows\\" + png])
        both("export --image 0 " + sheet,
             [args.pixsheet, "export", sheet, "--image", "0", "-o", "linux/" + one],
             [args.pixsheet_exe, "export", sheet.replace("/", "\\"), "--image", "0", "-o",
              windows(os.path.join(win, one))])
        both("import " + png, [args.pixsheet, "import", "linux/" + png, "-o", "linux/" + back,
                               "--size", size],
             [args.pixsheet_exe, "import", "windows/" + png, "-o", "windows\\" + back, "--size", size])
    for palette in ("palette.gpl", "palette.pal", "palette.png"):
        both(palette, [args.pixsheet, "palette", "-o", "linux/" + palette],
             [args.pixsheet_exe, "palette", "-o", "windows/" + palette])
    both("capture", [args.capture, "--sheets", "sample", "--out", "linux/capture", "--all-holds"],
         [args.capture_exe, "--sheets", windows(os.path.join(art, "sample")), "--out",
          "windows\\capture", "--all-holds"])
    both("gif", [args.capture, "--sheets", "sample", "--gif", "linux/show.gif"],
         [args.capture_exe, "--sheets", "sample", "--gif", "windows\\show.gif"])
    # Twice: the second export replaces the first one's file.
    both("export again", [args.pixsheet, "export", "sample/ports.pix", "-o", "linux/again.png"],
         [args.pixsheet_exe, "export", "sample\\ports.pix", "-o", "windows\\again.png"])
    wine(args.pixsheet_exe, "export", "sample\\ports.pix", "-o", "windows\\again.png")

    for folder in ("", "capture"):
        compared = filecmp.dircmp(os.path.join(lin, folder), os.path.join(win, folder))
        problems += ["only the Linux tools wrote %s" % n for n in compared.left_only]
        problems += ["only the Windows tools wrote %s" % n for n in compared.right_only]
        problems += ["%s differs" % os.path.join(folder, n) for n in sorted(compared.common_files)
                     if not filecmp.cmp(os.path.join(lin, folder, n), os.path.join(win, folder, n),
                                        shallow=False)]
    holds = sum(n.startswith("hold-") for n in os.listdir(os.path.join(win, "capture")))
    log("compared %d files and %d pictures of the capture" % (len(os.listdir(win)), holds))

    checks = [((args.pixsheet_exe, "--help"), 0, "usage: pixsheet"),
              ((args.capture_exe, "--help"), 0, "usage: pixshow-capture"),
              ((args.pixsheet_exe, "export", "sample\\ports.pix", "-o", "NUL"), 2, "is a device"),
              ((args.pixsheet_exe, "export", "sample\\ports.pix", "-o", "con.png"), 2,
               "is a device"),
              ((args.pixsheet_exe, "import", "windows\\sample-ports.pix.png", "-o",
                "WINDOWS/SAMPLE-PORTS.PIX.PNG", "--size", "82x62"), 2, "is the input"),
              ((args.pixsheet_exe, "info", "NUL", "--size", "2x2"), 2, "is a device"),
              ((args.capture_exe, "--out", "NUL"), 2, "\"NUL\" is a device, not a folder"),
              ((args.capture_exe, "--out", "CON"), 2, "is a device, not a folder"),
              ((args.capture_exe, "--out", "COM1"), 2, "is a device, not a folder"),
              # Videos are the Linux build's: one line says so, nothing is played.
              ((args.capture_exe, "--video", "show.webm"), 2, "--video is not available")]
    for argv, status, said in checks:
        r = wine(*argv)
        if r.returncode != status or said.encode() not in r.stdout + r.stderr:
            problems.append("%s: status %d, %r" % (" ".join(argv[1:]), r.returncode,
                                                   (r.stdout + r.stderr)[-300:]))
    return report(problems, "Windows tools", started, "Files: %s" % art)


if __name__ == "__main__":
    sys.exit(main())
