#!/usr/bin/env python3
"""The platform probe on the portable layer and under Wine, compared call by call.

compare.py --native pixshow-probe --exe probe.exe --known known-differences.txt --work DIR
[--prefix WINEPREFIX (made when missing)] runs the native probe headless and probe.exe under Wine
on an X server of its own, then compares the transcripts (kept in DIR) line by line. A line that
differs must be listed in the known-differences file with its reason; a line listed as Wine's
departure that no longer differs fails too, so that the list stays true.
Exit status: 0 passed, 1 failed, 77 skipped (Wine cannot start here).
"""

import argparse
import os
import signal
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "wine"))
import wine_e2e  # noqa: E402  (WineSession: the X server and Wine, started and ended)

log = wine_e2e.log


def read_transcript(path):
    """[(key, result)]; a label seen before gets its occurrence appended (" #2")."""
    seen, lines = {}, []
    with open(path, errors="replace") as f:
        for label, _, result in (line.rstrip("\r\n").partition(" -> ") for line in f):
            seen[label] = seen.get(label, 0) + 1
            lines.append((label if seen[label] == 1 else "%s #%d" % (label, seen[label]), result))
    return lines


def read_known(path):
    """{key: kind} from "LABEL | wine or machine | REASON" lines."""
    known = {}
    with open(path) as f:
        for number, line in enumerate(f, 1):
            parts = [p.strip() for p in line.split("|", 2)]
            if line.strip() and not line.startswith("#"):
                if len(parts) != 3 or parts[1] not in ("wine", "machine") or not parts[2]:
                    raise SystemExit("%s:%d: expected LABEL | wine or machine | REASON"
                                     % (path, number))
                known[parts[0]] = parts[1]
    return known


def compare(native, wine, known):
    """The known differences seen, and the problems."""
    explained, problems, other = [], [], dict(wine)
    if [k for k, _ in native] != [k for k, _ in wine]:
        problems.append("the transcripts list different calls (layer %d lines, Wine %d)"
                        % (len(native), len(wine)))
    for key, result in native:
        if key not in other or other[key] == result:
            if known.get(key) == "wine" and key in other:
                problems.append("listed as Wine's departure but the same now: %s -> %s"
                                % (key, result))
        elif key in known:
            explained.append("%s: layer %s, Wine %s (%s)" % (key, result, other[key], known[key]))
        else:
            problems.append("%s\n      layer: %s\n      Wine:  %s" % (key, result, other[key]))
    return explained, problems + ["listed but not in the transcripts: %s" % k
                                  for k in known if k not in other]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for name in ("--native", "--exe", "--known", "--work", "--prefix"):
        parser.add_argument(name, required=name != "--prefix")
    args = parser.parse_args()
    known, work = read_known(args.known), os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    paths = [os.path.join(work, name) for name in ("native.txt", "wine.txt")]
    for path in filter(os.path.exists, paths):
        os.remove(path)
    # What the probes print (a sanitizer's report, Wine's complaints) goes to the test's output.
    subprocess.run([os.path.abspath(args.native), paths[0]], cwd=work, timeout=180,
                   env=dict(os.environ, PIXSHOW_BACKEND="headless"))
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):  # the session ends below
        signal.signal(signum, lambda signum, frame: sys.exit(128 + signum))
    prefix = os.path.abspath(args.prefix) if args.prefix else None
    if prefix:
        os.makedirs(os.path.dirname(prefix), exist_ok=True)
    session = wine_e2e.WineSession(work, prefix=prefix)
    try:
        session.start()
        # A crash ends the probe at once instead of waiting in Wine's debugger.
        session.env["WINEDLLOVERRIDES"] += ";winedbg.exe=d"
        if not session.start_wine():
            log("SKIPPED: Wine cannot start on this machine")
            return wine_e2e.SKIP
        # The window manager gives the focus back in its own time, and now and then not at all
        # (the program is told it is active, yet DirectDraw still finds another in front): then
        # the calls after it probe nothing of the layer's. Such a run is made again, twice at most.
        for attempt in range(3):
            subprocess.run(["wine", os.path.abspath(args.exe), "wine.txt"], cwd=work,
                           timeout=180, env=session.env)
            if (attempt == 2 or not os.path.exists(paths[1]) or
                    "TestCooperativeLevel back in front -> DDERR_NOEXCLUSIVEMODE"
                    not in open(paths[1]).read()):
                break
            log("the window manager did not give the focus back to probe.exe: probing again")
    except wine_e2e.Failure as e:
        log("FAIL: %s" % e)
        return 1
    finally:
        session.close()
    if not all(os.path.exists(path) for path in paths):
        log("FAIL: a transcript is missing (%s)" % ", ".join(paths))
        return 1
    native = read_transcript(paths[0])
    explained, problems = compare(native, read_transcript(paths[1]), known)
    log("%d calls compared: %d the same, %d known differences, %d unexplained" % (
        len(native), len(native) - len(explained) - len(problems), len(explained), len(problems)))
    for line in explained:
        log("  known: " + line)
    log("FAIL:\n  %s\nTranscripts: %s and %s" % ("\n  ".join(problems), paths[0], paths[1])
        if problems else "PASS")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
