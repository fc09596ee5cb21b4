#!/usr/bin/env python3
"""The installed pixshow and its packages, from a release build.

  install_check.py install --build DIR --version V --work DIR --capture EXE --sample DIR
      cmake --install into a temporary prefix: every file in its place; the
      installed programs' --help, --version and bad command lines; the manual
      pages name every option of --help; the desktop entry plays the installed
      sample art; the installed pixshow-capture on it gives the build tree's
      eight pictures.

  install_check.py package --build DIR --version V --work DIR
      CPack makes the Debian package and the .tar.gz: both hold every file,
      the package depends on the libraries the programs use, and lintian
      finds no error.
"""

import argparse
import gzip
import os
import re
import shutil
import subprocess
import sys
import tarfile

SHEETS = ["ports.pix", "button.pix", "Divadude.pix", "WarTiles.pix", "Pieces.pix", "Borders.pix"]
MAN_PAGES = {"pixshow": "6", "pixsheet": "1", "pixshow-capture": "1"}
FILES = (["bin/" + p for p in MAN_PAGES]
         + ["share/pixshow/sample/" + s for s in SHEETS]
         + ["share/man/man%s/%s.%s.gz" % (s, p, s) for p, s in MAN_PAGES.items()]
         + ["share/applications/pixshow.desktop", "share/pixmaps/pixshow.png"]
         + ["share/doc/pixshow/" + d for d in
            ("README.md", "LICENSE", "LICENSE.DejaVu", "copyright", "changelog.Debian.gz")])

problems = []


def check(ok, message):
    if not ok:
        problems.append(message)
    return ok


def run(args, **kwargs):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                          timeout=300, **kwargs)


def exec_line(desktop_text):
    return next((l[5:] for l in desktop_text.splitlines() if l.startswith("Exec=")), None)


def command_install(a):
    prefix = os.path.join(a.work, "prefix")
    result = run(["cmake", "--install", a.build, "--prefix", prefix])
    if not check(result.returncode == 0, "cmake --install failed:\n" + result.stderr):
        return
    for f in FILES:
        check(os.path.isfile(os.path.join(prefix, f)), "not installed: " + f)
    with open(os.path.join(prefix, "share/pixmaps/pixshow.png"), "rb") as icon:
        check(icon.read(8) == b"\x89PNG\r\n\x1a\n", "the icon is not a PNG")
    with open(os.path.join(prefix, "share/applications/pixshow.desktop")) as entry:
        found = exec_line(entry.read())
    want = "%s/bin/pixshow %s/share/pixshow/sample" % (prefix, prefix)
    check(found == want, "desktop entry: Exec=%s, not %s" % (found, want))

    # No display for any of these: a program that reached for one would say so.
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.pop("PIXSHOW_BACKEND", None)
    for program, section in MAN_PAGES.items():
        exe = os.path.join(prefix, "bin", program)
        version = run([exe, "--version"], env=env)
        named = program if program == "pixshow" else program + " (pixshow)"
        check(version.returncode == 0 and version.stdout == "%s %s\n" % (named, a.version),
              "%s --version: status %d, %r" % (program, version.returncode, version.stdout))
        helped = run([exe, "--help"], env=env)
        check(helped.returncode == 0 and helped.stdout.startswith("usage: " + program),
              "%s --help: status %d, %r" % (program, helped.returncode, helped.stdout[:80]))
        with gzip.open(os.path.join(prefix, "share/man/man%s/%s.%s.gz" % (section, program, section)),
                       "rt") as page:
            text = page.read().replace("\\-", "-").replace("\\fB", "").replace("\\fR", "")
        for option in sorted(set(re.findall(r"(?<![\w-])--?[a-z][\w-]*", helped.stdout))):
            check(option in text, "%s(%s) does not name %s of --help" % (program, section, option))

    pixshow = os.path.join(prefix, "bin", "pixshow")
    # The folder's name comes through main()'s quoting for WinMain unchanged.
    missing = os.path.join(a.work, 'no "such" art\\')
    for args, said in ((["--fullscreen"], "unknown option '--fullscreen'"),
                       ([missing], '"%s": no such folder' % missing)):
        result = run([pixshow] + args, env=env, cwd=a.work)
        check(result.returncode == 2 and result.stdout == "" and said in result.stderr
              and result.stderr.count("\n") == 1,
              "pixshow %s: status %d, stderr %r (one line, status 2 expected)"
              % (args, result.returncode, result.stderr))

    pictures = {}
    for name, exe, sample in (("build", a.capture, a.sample),
                              ("installed", os.path.join(prefix, "bin/pixshow-capture"),
                               os.path.join(prefix, "share/pixshow/sample"))):
        out = os.path.join(a.work, "capture-" + name)
        result = run([exe, "--sheets", sample, "--out", out], cwd=a.work)
        check(result.returncode == 0, "%s pixshow-capture: status %d\n%s"
              % (name, result.returncode, result.stderr))
        pictures[name] = {}
        for n in range(1, 9):
            path = os.path.join(out, "screen-%d.png" % n)
            pictures[name][n] = open(path, "rb").read() if os.path.isfile(path) else None
    for n in range(1, 9):
        check(pictures["build"][n] is not None and pictures["build"][n] == pictures["installed"][n],
              "screen %d: the installed program and art do not give the build tree's picture" % n)


def command_package(a):
    result = run(["cpack", "--config", os.path.join(a.build, "CPackConfig.cmake"),
                  "-G", "DEB;TGZ", "-B", a.work])
    if not check(result.returncode == 0, "cpack failed:\n" + result.stdout + result.stderr):
        return
    arch = run(["dpkg", "--print-architecture"]).stdout.strip()
    deb = os.path.join(a.work, "pixshow_%s-1_%s.deb" % (a.version, arch))
    tgz = os.path.join(a.work, "pixshow-%s-Linux.tar.gz" % a.version)
    contents = run(["dpkg-deb", "--contents", deb]).stdout
    paths = {line.split()[-1].lstrip(".") for line in contents.splitlines() if line.split()}
    for f in FILES:
        check("/usr/" + f in paths, "not in the Debian package: /usr/" + f)
    depends = run(["dpkg-deb", "--field", deb, "Depends"]).stdout
    for library in ("libsdl2", "libpng", "libc6"):
        check(library in depends, "the package does not depend on %s: %s" % (library, depends))
    extracted = os.path.join(a.work, "deb")
    run(["dpkg-deb", "--extract", deb, extracted])
    with open(os.path.join(extracted, "usr/share/applications/pixshow.desktop")) as entry:
        found = exec_line(entry.read())
    check(found == "/usr/bin/pixshow /usr/share/pixshow/sample",
          "the package's desktop entry: Exec=%s" % found)
    with tarfile.open(tgz) as tar:
        names = set(tar.getnames())
    for f in FILES:
        check("usr/local/" + f in names, "not in the .tar.gz: usr/local/" + f)
    print("Depends: " + depends.strip())

    lint = run(["lintian", "--fail-on", "error", "--tag-display-limit", "0", deb])
    print("lintian:\n" + (lint.stdout.strip() or "(nothing to report)"), flush=True)
    check(lint.returncode == 0 and not re.search(r"^E: ", lint.stdout, re.M),
          "lintian found errors (status %d): %s" % (lint.returncode, lint.stderr.strip()))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("command", choices=("install", "package"))
    parser.add_argument("--build", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--capture")
    parser.add_argument("--sample")
    a = parser.parse_args()
    shutil.rmtree(a.work, ignore_errors=True)
    os.makedirs(a.work)
    (command_install if a.command == "install" else command_package)(a)
    for p in problems:
        print("FAIL: " + p)
    print("FAIL" if problems else "PASS")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
