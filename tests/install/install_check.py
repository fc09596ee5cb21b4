#!/usr/bin/env python3
"""The installed pixshow and its packages, from a release build.

install: cmake --install into a fresh prefix; every file in place; the programs hardened
(hardening-check); their --help, --version (with the commit) and bad command lines (no display
reached); pixshow's manual page has ENVIRONMENT and FILES; every link of the installed README and
docs leads to an installed file; the desktop entry takes dropped folders; the installed
pixshow-capture on it gives the build tree's pictures. package: CPack's Debian package and .tar.gz
hold every file, each desktop entry names its prefix, the package depends on the programs'
libraries, and lintian finds no error. reproducible: see command_reproducible.
"""
import argparse, gzip, os, re, shutil, subprocess, sys, tarfile, tempfile

SHEETS = ["ports.pix", "button.pix", "Divadude.pix", "WarTiles.pix", "Pieces.pix", "Borders.pix"]
MAN = {"pixshow": "6", "pixsheet": "1", "pixshow-capture": "1"}
FILES = (["bin/" + p for p in MAN] + ["share/pixshow/sample/" + s for s in SHEETS]
         + ["share/man/man%s/%s.%s.gz" % (s, p, s) for p, s in MAN.items()]
         + ["share/applications/pixshow.desktop", "share/icons/hicolor/scalable/apps/pixshow.svg"]
         + ["share/icons/hicolor/%dx%d/apps/pixshow.png" % (n, n) for n in (48, 64, 128, 256)]
         + ["share/doc/pixshow/" + d for d in
            ("README.md", "CHANGELOG.md", "LICENSE", "LICENSE.DejaVu", "copyright", "changelog.Debian.gz",
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
    # PIE, stack protector, fortify, full RELRO, bind now; control-flow protection where the C
    # library's start files have it too (not Debian 12's): else the program's own code is seen to.
    start = run(["gcc", "-print-file-name=Scrt1.o"]).stdout.strip()
    cet = "IBT, SHSTK" in run(["readelf", "-n", start]).stdout
    for program in MAN:
        path = os.path.join(prefix, "bin", program)
        hardened = run(["hardening-check"] + ([] if cet else ["--nocfprotection"]) + [path])
        check(hardened.returncode == 0, "hardening-check: " + hardened.stdout + hardened.stderr)
        check(cet or "endbr64" in run(["objdump", "-d", path]).stdout, program + ": no -fcf-protection")
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
        check(version.returncode == 0 and re.fullmatch(r"%s %s \(([0-9a-f]{7}|unknown)\)\n" % (
            re.escape(named), re.escape(a.version)), version.stdout),
              "%s --version: %d %r" % (program, version.returncode, version.stdout))
        helped = run([exe, "--help"], env=env)
        check(helped.returncode == 0 and helped.stdout.startswith("usage: " + program),
              "%s --help: %d %r" % (program, helped.returncode, helped.stdout[:60]))
        man = "%s/share/man/man%s/%s.%s.gz" % (prefix, section, program, section)
        with gzip.open(man, "rt") as f:
            page = re.sub(r"\\f[BIR]", "", f.read().replace("\\-", "-"))
        check(program != "pixshow" or (".SH ENVIRONMENT" in page and ".SH FILES" in page
                                       and "usage:" not in page), "pixshow(6): sections")
    docs = os.path.join(prefix, "share/doc/pixshow")
    for folder in (docs, docs + "/docs"):  # the README and the pages beside its pictures
        for name in (n for n in os.listdir(folder) if n.endswith(".md")):
            for link in re.findall(r"\]\((?!\w+:)([^)#]+)", open(os.path.join(folder, name)).read()):
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


def scratch_folder():
    """A folder for the second build, removed when this script ends, even killed: a watcher
    outside this process tree waits for its pipe to close, then ends the build's process groups
    (their ids come down the pipe) and removes the folder."""
    folder = tempfile.mkdtemp(prefix="pixshow-rebuild-")
    read, write = os.pipe()
    subprocess.Popen(["setsid", "-f", "sh", "-c", 'while read g; do gs="$gs $g"; done; for g in $gs; do '
                      'kill -TERM -- -$g; sleep 2; kill -KILL -- -$g; done 2>/dev/null; rm -rf "$0"',
                      folder], stdin=read, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(read)
    return folder, os.fdopen(write, "w", buffering=1)


def command_reproducible(a):
    """A second release build of these sources (a copy, with the commit's name and time) in another
    folder, later: its .deb, .tar.gz, Windows zip and web files are the first's, byte for byte
    (diffoscope tells how they differ)."""
    folder, watcher = scratch_folder()
    try:
        source, build = folder + "/source", folder + "/build"
        listed = run(["git", "-C", a.source, "ls-files", "-z", "--cached", "--others", "--exclude-standard"])
        for name in filter(None, listed.stdout.split("\0")):
            if os.path.isfile(os.path.join(a.source, name)):
                os.makedirs(os.path.dirname(os.path.join(source, name)), exist_ok=True)
                shutil.copy2(os.path.join(a.source, name), os.path.join(source, name))
        with open(source + "/cmake/commit.txt", "w") as f:
            f.write(run(["git", "-C", a.source, "log", "-1", "--format=%H %ct"]).stdout)
        for step in (["cmake", "-S", source, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DPIXSHOW_TESTS=OFF"],
                     ["cmake", "--build", build, "-j%d" % (os.cpu_count() or 2)],
                     ["cpack", "--config", build + "/CPackConfig.cmake", "-G", "DEB;TGZ", "-B", build + "/packages"],
                     ["cpack", "--config", a.build + "/CPackConfig.cmake", "-G", "DEB;TGZ", "-B", folder + "/first"]):
            process = subprocess.Popen(step, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                       start_new_session=True)
            watcher.write("%d\n" % process.pid)
            output = process.communicate()[0]
            if not check(process.returncode == 0, "%s: %s" % (" ".join(step[:3]), output[-3000:])):
                return
        pairs = [(os.path.join(folder, "first", n), os.path.join(build, "packages", n))
                 for n in os.listdir(build + "/packages") if n.endswith((".deb", ".tar.gz"))]
        pairs.append((a.zip, os.path.join(build, os.path.basename(a.zip))))
        for root, _, names in os.walk(build + "/web"):
            pairs += [(os.path.join(a.web, os.path.relpath(root, build + "/web"), n), os.path.join(root, n))
                      for n in names]
        check(len(pairs) > 4, "the second build made no packages")
        for first, second in pairs:
            same = os.path.isfile(first) and open(first, "rb").read() == open(second, "rb").read()
            if not check(same, "%s differs between the two builds" % os.path.basename(second)):
                told = run(["diffoscope", "--text", "-", "--max-report-size", "40000", first, second])
                print(told.stdout[:40000] + told.stderr[-2000:])
        print("compared %d files" % len(pairs))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("command", choices=("install", "package", "reproducible"))
    for option in ("build", "version", "work", "capture", "sample", "source", "zip", "web"):
        parser.add_argument("--" + option)
    a = parser.parse_args()
    shutil.rmtree(a.work, ignore_errors=True)
    os.makedirs(a.work)
    {"install": command_install, "package": command_package,
     "reproducible": command_reproducible}[a.command](a)
    print("\n".join("FAIL: " + p for p in problems) or "PASS")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
