#!/usr/bin/env python3
"""The platform probe on the portable layer and under Wine, compared call by call.

  compare.py --native pixshow-probe --exe probe.exe --known known-differences.txt
             --work DIR [--prefix WINEPREFIX]

Runs the native probe on the headless backend and probe.exe under Wine on an
X server of its own (Xvfb, 24 bits), then compares the transcripts line by
line. A line that differs must be listed in the known-differences file with
its reason; a line listed as Wine's departure that no longer differs fails
too, so that the list stays true. The transcripts stay in DIR.

Exit status: 0 passed, 1 failed, 77 skipped (Wine cannot start here).
"""

import argparse
import os
import signal
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "wine"))
import wine_e2e  # noqa: E402  (Session: the X server and Wine, started and ended)

log = wine_e2e.log


def read_transcript(path):
    """[(key, result)]; a label seen before gets its occurrence appended (" #2")."""
    seen, lines = {}, []
    with open(path, errors="replace") as f:
        for line in f:
            label, _, result = line.rstrip("\r\n").partition(" -> ")
            seen[label] = seen.get(label, 0) + 1
            lines.append((label if seen[label] == 1 else "%s #%d" % (label, seen[label]), result))
    return lines


def read_known(path):
    """{key: kind} from "LABEL | wine or machine | REASON" lines."""
    known = {}
    with open(path) as f:
        for number, line in enumerate(f, 1):
            if line.strip() and not line.startswith("#"):
                parts = [p.strip() for p in line.split("|", 2)]
                if len(parts) != 3 or parts[1] not in ("wine", "machine") or not parts[2]:
                    raise SystemExit("%s:%d: expected LABEL | wine or machine | REASON" % (path, number))
                known[parts[0]] = parts[1]
    return known


def compare(native, wine, known):
    """The known differences seen, and the problems."""
    explained, problems = [], []
    if [k for k, _ in native] != [k for k, _ in wine]:
        problems.append("the transcripts list different calls (layer %d lines, Wine %d)"
                        % (len(native), len(wine)))
    other = dict(wine)
    for key, result in native:
        if key not in other or other[key] == result:
            if known.get(key) == "wine" and key in other:
                problems.append("listed as Wine's departure but the same now: %s -> %s" % (key, result))
        elif key in known:
            explained.append("%s: layer %s, Wine %s (%s)" % (key, result, other[key], known[key]))
        else:
            problems.append("%s\n      layer: %s\n      Wine:  %s" % (key, result, other[key]))
    problems += ["listed but not in the transcripts: %s" % k for k in known if k not in other]
    return explained, problems


def run(command, env, what, work):
    result = subprocess.run(command, cwd=work, env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, timeout=180)
    if result.returncode != 0:
        log("%s ended with status %d:\n%s" % (what, result.returncode,
                                              result.stdout.decode(errors="replace")[-3000:]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for name in ("--native", "--exe", "--known", "--work"):
        parser.add_argument(name, required=True)
    parser.add_argument("--prefix", help="Wine prefix to use (made when missing)")
    args = parser.parse_args()
    known = read_known(args.known)
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    paths = [os.path.join(work, name) for name in ("native.txt", "wine.txt")]
    for path in paths:
        if os.path.exists(path):
            os.remove(path)
    run([os.path.abspath(args.native), paths[0]], dict(os.environ, PIXSHOW_BACKEND="headless"),
        "the native probe", work)

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
        # A crash ends the probe at once instead of waiting in Wine's debugger.
        session.env["WINEDLLOVERRIDES"] += ";winedbg.exe=d"
        if not session.start_wine():
            log("SKIPPED: Wine cannot start on this machine")
            return wine_e2e.SKIP
        run(["wine", os.path.abspath(args.exe), "wine.txt"], session.env, "the probe under Wine", work)
    except wine_e2e.Failure as e:
        log("FAIL: %s" % e)
        return 1
    finally:
        session.close()

    if not all(os.path.exists(path) for path in paths):
        log("FAIL: a transcript is missing (%s)" % ", ".join(paths))
        return 1
    native, wine = read_transcript(paths[0]), read_transcript(paths[1])
    explained, problems = compare(native, wine, known)
    log("%d calls compared: %d the same, %d known differences, %d unexplained"
        % (len(native), len(native) - len(explained) - len(problems), len(explained), len(problems)))
    for line in explained:
        log("  known: " + line)
    if problems:
        log("FAIL:\n  " + "\n  ".join(problems))
        log("Transcripts: %s and %s" % tuple(paths))
        return 1
    log("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
