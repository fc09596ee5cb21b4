#!/usr/bin/env python3
"""The artist's tools of the Windows zip under Wine write the same bytes as the Linux tools.

  wine_tools.py --pixsheet-exe pixsheet.exe --capture-exe pixshow-capture.exe
                --pixsheet pixsheet --capture pixshow-capture --sample DIR --sheet-table sheets.tsv
                --work DIR

For the sample art and the synthetic sheets, in a folder whose name has a space and a non-ASCII
letter, given as Windows paths: pixsheet export (contact sheet and --image), import, palette
(.gpl, .pal, .png) and pixshow-capture --all-holds, compared byte for byte with the Linux tools'
files; then --help, and the refusals of a device (NUL, CON) and of an output that is an input.

Exit status: 0 passed, 1 failed, 77 skipped (Wine cannot start here).
"""

import argparse
import filecmp
import os
import shutil
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
                 "--sheet-table", "--work"):
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
        return compare(args, env, art, lin, win, wine, started)
    finally:
        subprocess.run(["wineserver", "-k"], env=env, timeout=60)


def compare(args, env, art, lin, win, wine, started):
    problems = []

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
              ((args.capture_exe, "--out", "COM1"), 2, "is a device, not a folder")]
    for argv, status, said in checks:
        r = wine(*argv)
        if r.returncode != status or said.encode() not in r.stdout + r.stderr:
            problems.append("%s: status %d, %r" % (" ".join(argv[1:]), r.returncode,
                                                   (r.stdout + r.stderr)[-300:]))
    return report(problems, "Windows tools", started, "Files: %s" % art)


if __name__ == "__main__":
    sys.exit(main())
