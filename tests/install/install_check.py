#!/usr/bin/env python3
"""The installed pixshow and its packages, from a release build.

install: cmake --install into a fresh prefix; every file in place; the programs' --help, --version
and bad command lines (no display reached); the manual pages name every option of --help, pixshow's
has ENVIRONMENT and FILES; every link of the installed README and docs leads to an installed file;
the desktop entry takes dropped folders; the installed pixshow-capture on it gives the build
tree's pictures. package: CPack's Debian package and .tar.gz hold every file, each desktop entry
names its prefix, the package depends on the programs' libraries, and lintian finds no error.
"""
import argparse, gzip, os, re, shutil, subprocess, sys, tarfile

SHEETS = ["ports.pix", "button.pix", "Divadude.pix", "WarTiles.pix", "Pieces.pix", "Borders.pix"]
MAN = {"pixshow": "6", "pixsheet": "1", "pixshow-capture": "1"}
FILES = (["bin/" + p for p in MAN] + ["share/pixshow/sample/" + s for s in SHEETS]
         + ["share/man/man%s/%s.%s.gz" % (s, p, s) for p, s in MAN.items()]
         + ["share/applications/pixshow.desktop", "share/icons/hicolor/scalable/apps/pixshow.svg"]
         + ["share/icons/hicolor/%dx%d/apps/pixshow.png" % (n, n) for n in (48, 64, 128, 256)]
         + ["share/doc/pixshow/" + d for d in
            ("README.md", "LICENSE", "LICENSE.DejaVu", "copyright", "changelog.Debian.gz",
             "docs/artists.md", "docs/screen-1.png")])
problems = []


def check(ok, message):
    if not ok:
        problems.append(message)
    return ok


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, timeout=300, **kw)


def exec_line(path):
    return next((l[5:].strip() for l in open(path) if l.startswith("Exec=")), None)


def command_install(a):
    prefix = os.path.join(a.work, "prefix")
    done = run(["cmake", "--install", a.build, "--prefix", prefix])
    if not check(done.returncode == 0, "cmake --install: " + done.stderr):
        return
    for f in FILES:
        check(os.path.isfile(os.path.join(prefix, f)), "not installed: " + f)
    for n in (48, 64, 128, 256):  # square PNGs of their sizes
        head = open(prefix + "/share/icons/hicolor/%dx%d/apps/pixshow.png" % (n, n), "rb").read(24)
        check(head[:4] == b"\x89PNG" and head[16:24] == n.to_bytes(4, "big") * 2,
              "icon %d x %d: not a PNG of that size" % (n, n))
    found = exec_line(prefix + "/share/applications/pixshow.desktop")
    check(found == "%s/bin/pixshow %%F" % prefix, "Exec=%s" % found)

    # No display: a program that reached for one would say so on stderr.
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "PIXSHOW_BACKEND")}
    env["XDG_CONFIG_HOME"] = a.work
    for program, section in MAN.items():
        exe = os.path.join(prefix, "bin", program)
        named = program if program == "pixshow" else program + " (pixshow)"
        version = run([exe, "--version"], env=env)
        check(version.returncode == 0 and version.stdout == "%s %s\n" % (named, a.version),
              "%s --version: %d %r" % (program, version.returncode, version.stdout))
        helped = run([exe, "--help"], env=env)
        check(helped.returncode == 0 and helped.stdout.startswith("usage: " + program),
              "%s --help: %d %r" % (program, helped.returncode, helped.stdout[:60]))
        man = "%s/share/man/man%s/%s.%s.gz" % (prefix, section, program, section)
        with gzip.open(man, "rt") as f:
            page = re.sub(r"\\f[BIR]", "", f.read().replace("\\-", "-"))
        for option in set(re.findall(r"(?<![\w-])--?[a-z][\w-]*", helped.stdout)):
            check(option in page, "%s(%s) does not name %s of --help" % (program, section, option))
        check(program != "pixshow" or (".SH ENVIRONMENT" in page and ".SH FILES" in page
                                       and "usage:" not in page), "pixshow(6): sections")
    docs = os.path.join(prefix, "share/doc/pixshow")
    for folder in (docs, docs + "/docs"):  # the README and the pages beside its pictures
        for name in (n for n in os.listdir(folder) if n.endswith(".md")):
            for link in re.findall(r"\]\(([^)#:]+)", open(os.path.join(folder, name)).read()):
                check(os.path.isfile(os.path.join(folder, link)),
                      "%s links to %s, not installed" % (os.path.relpath(folder + "/" + name, docs), link))

    # The folder's name comes through main()'s quoting for WinMain unchanged.
    missing = os.path.join(a.work, 'no "such" art\\')
    # Without sheets in the folder the installed sample art plays; without a display, one line.
    sample_line = "playing the sample art in %s/share/pixshow/sample\n" % prefix
    for args, backend, said in (
            (["--full"], "", "unknown option '--full'"),
            ([missing], "", '"%s": no such folder' % missing),
            ([], "headless", "headless plays to no screen; pixshow-capture"),
            ([], "x11", "PIXSHOW_BACKEND=x11: unknown backend"),
            ([], "", sample_line + "pixshow: no display: neither DISPLAY nor WAYLAND_DISPLAY")):
        result = run([prefix + "/bin/pixshow"] + args, env=dict(env, PIXSHOW_BACKEND=backend),
                     cwd=a.work)
        check(result.returncode == 2 and not result.stdout and said in result.stderr
              and result.stderr.count("\n") == said.count("\n") + 1,
              "pixshow %s: status %d, %r" % (args, result.returncode, result.stderr))

    pictures = []
    for exe, sample in ((a.capture, a.sample), (prefix + "/bin/pixshow-capture",
                                                prefix + "/share/pixshow/sample")):
        out = os.path.join(a.work, "capture-%d" % len(pictures))
        check(run([exe, "--sheets", sample, "--out", out]).returncode == 0, exe + " failed")
        pictures.append([open(os.path.join(out, "screen-%d.png" % n), "rb").read()
                         if os.path.isfile(os.path.join(out, "screen-%d.png" % n)) else None
                         for n in range(1, 9)])
    check(pictures[0] == pictures[1] and None not in pictures[0],
          "the installed program and art do not give the build tree's eight pictures")


def command_package(a):
    done = run(["cpack", "--config", a.build + "/CPackConfig.cmake", "-G", "DEB;TGZ", "-B", a.work])
    if not check(done.returncode == 0, "cpack: " + done.stdout + done.stderr):
        return
    arch = run(["dpkg", "--print-architecture"]).stdout.strip()
    deb = os.path.join(a.work, "pixshow_%s-1_%s.deb" % (a.version, arch))
    paths = {l.split()[-1][1:] for l in run(["dpkg-deb", "--contents", deb]).stdout.splitlines()}
    with tarfile.open(os.path.join(a.work, "pixshow-%s-Linux.tar.gz" % a.version)) as tar:
        names = set(tar.getnames())
        tar.extractall(a.work + "/tgz")
    for f in FILES:
        check("/usr/" + f in paths, "not in the Debian package: /usr/" + f)
        check("usr/local/" + f in names, "not in the .tar.gz: usr/local/" + f)
    depends = run(["dpkg-deb", "--field", deb, "Depends"]).stdout
    print("Depends: " + depends.strip())
    for library in ("libsdl2-2.0", "libsdl2-ttf", "libpng", "libc6", "libgif", "libavcodec"):
        check(library in depends, "the package does not depend on " + library)
    run(["dpkg-deb", "--extract", deb, a.work + "/deb"])
    for unpacked, prefix in (("deb", "/usr"), ("tgz", "/usr/local")):
        found = exec_line("%s/%s%s/share/applications/pixshow.desktop" % (a.work, unpacked, prefix))
        check(found == "%s/bin/pixshow %%F" % prefix, "%s Exec=%s" % (unpacked, found))
    lint = run(["lintian", "--fail-on", "error", "--tag-display-limit", "0", deb])
    print("lintian:\n" + (lint.stdout.strip() or "(nothing)"), flush=True)
    check(lint.returncode == 0 and not re.search(r"^E: ", lint.stdout, re.M), "lintian: errors")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("command", choices=("install", "package"))
    for option in ("build", "version", "work", "capture", "sample"):
        parser.add_argument("--" + option)
    a = parser.parse_args()
    shutil.rmtree(a.work, ignore_errors=True)
    os.makedirs(a.work)
    (command_install if a.command == "install" else command_package)(a)
    print("\n".join("FAIL: " + p for p in problems) or "PASS")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
