#!/usr/bin/env python3
"""The platform probe on the portable layer and under Wine, compared call by call.

  compare.py --native pixshow-probe --exe probe.exe --known known-differences.txt
             --work DIR [--prefix WINEPREFIX]

Runs the native probe on the headless backend and probe.exe under Wine on an
X server of its own (Xvfb, 24 bits), then compares the two transcripts line
by line. A line that differs must be listed in the known-differences file
with its reason; a listed line that no longer differs fails as well, so that
the list stays true. Transcripts stay in DIR (native.txt, wine.txt).

Exit status: 0 passed, 1 failed, 77 skipped (Wine cannot start here).
"""

import argparse
import os
import signal
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "wine"))
import wine_e2e  # noqa: E402  (Session: the X server and Wine, started and ended)

KINDS = ("wine", "machine")


def read_transcript(path):
    """[(key, result)]: a label seen before gets its occurrence appended (" #2")."""
    seen, lines = {}, []
    with open(path, errors="replace") as f:
        for line in f:
            label, _, result = line.rstrip("\r\n").partition(" -> ")
            seen[label] = seen.get(label, 0) + 1
            lines.append((label if seen[label] == 1 else "%s #%d" % (label, seen[label]), result))
    return lines


def read_known(path):
    """{key: (kind, reason)} from "LABEL | KIND | REASON" lines."""
    known = {}
    with open(path) as f:
        for number, line in enumerate(f, 1):
            if not line.strip() or line.startswith("#"):
                continue
            parts = [p.strip() for p in line.split("|", 2)]
            if len(parts) != 3 or parts[1] not in KINDS or not parts[2]:
                raise SystemExit("%s:%d: expected LABEL | wine or machine | REASON" % (path, number))
            known[parts[0]] = (parts[1], parts[2])
    return known


def run(command, cwd, env, what):
    result = subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, timeout=180)
    if result.returncode != 0:
        wine_e2e.log("%s ended with status %d:\n%s" % (what, result.returncode,
                                                       result.stdout.decode(errors="replace")[-3000:]))


def compare(native, wine, known):
    problems, explained = [], []
    if [k for k, _ in native] != [k for k, _ in wine]:
        problems.append("the transcripts list different calls (native %d lines, Wine %d)"
                        % (len(native), len(wine)))
    wine_results = dict(wine)
    for key, result in native:
        other = wine_results.get(key)
        if other is None or other == result:
            if key in known and other is not None:
                problems.append("listed as different but the same now: %s -> %s" % (key, result))
            continue
        if key in known:
            explained.append("%s: layer %s, Wine %s (%s)" % (key, result, other, known[key][0]))
        else:
            problems.append("%s\n      layer: %s\n      Wine:  %s" % (key, result, other))
    for key in known:
        if key not in wine_results:
            problems.append("listed but not in the transcripts: %s" % key)
    return explained, problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--native", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--known", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--prefix", help="Wine prefix to use (made when missing)")
    args = parser.parse_args()
    known = read_known(args.known)
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    for name in ("native.txt", "wine.txt"):
        if os.path.exists(os.path.join(work, name)):
            os.remove(os.path.join(work, name))

    run([os.path.abspath(args.native), os.path.join(work, "native.txt")], work,
        dict(os.environ, PIXSHOW_BACKEND="headless"), "the native probe")

    def stop(signum, frame):
        raise SystemExit(128 + signum)
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, stop)
    session = wine_e2e.Session(work, None)
    try:
        session.start_display()
        if args.prefix:
            session.env["WINEPREFIX"] = os.path.abspath(args.prefix)
            os.makedirs(os.path.dirname(session.env["WINEPREFIX"]), exist_ok=True)
        if not session.start_wine():
            wine_e2e.log("SKIPPED: Wine cannot start on this machine")
            return wine_e2e.SKIP
        run(["wine", os.path.abspath(args.exe), "wine.txt"], work, session.env, "the probe under Wine")
    except wine_e2e.Failure as e:
        wine_e2e.log("FAIL: %s" % e)
        return 1
    finally:
        session.close()

    for name in ("native.txt", "wine.txt"):
        if not os.path.exists(os.path.join(work, name)):
            wine_e2e.log("FAIL: no transcript %s" % name)
            return 1
    native = read_transcript(os.path.join(work, "native.txt"))
    wine = read_transcript(os.path.join(work, "wine.txt"))
    explained, problems = compare(native, wine, known)
    wine_e2e.log("%d calls compared: %d the same, %d known differences, %d unexplained"
                 % (len(native), len(native) - len(explained) - len(problems), len(explained),
                    len(problems)))
    for line in explained:
        wine_e2e.log("  known: " + line)
    if problems:
        wine_e2e.log("FAIL:\n  " + "\n  ".join(problems))
        wine_e2e.log("Transcripts: %s/native.txt and %s/wine.txt" % (work, work))
        return 1
    wine_e2e.log("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
