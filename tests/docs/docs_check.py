#!/usr/bin/env python3
"""The docs say what the programs do.

Options: every option of pixshow's, pixsheet's (and its commands') and pixshow-capture's --help is in
that program's manual page and in a README table whose first column is "Option...", and neither
names one that no --help has. Keys: the keys of the viewer's F1 help (show/overlay.cpp), the KEYS
entries of pixshow(6) and the first column of the README's "Key..." table are the same. The pages
render without an option run into its text. Every example in the manual pages and docs/ that is a
command of the three programs runs, document by document, in a scratch folder holding the sample
art (as ./ and my-art/); pixshow runs on the display it is given (xdesktop.py with-display) and
must still be playing when the document's commands are done.
"""
import argparse, glob, gzip, os, re, shlex, shutil, signal, subprocess, sys, time

PROGRAMS = ("pixshow", "pixsheet", "pixshow-capture")
OPTION = re.compile(r"(?<![\w-])--?[a-z][\w-]*")
problems = []


def check(ok, message):
    if not ok:
        problems.append(message)


def plain_roff(text):  # the words of a page, without fonts and escapes
    text = re.sub(r"\\f[BIRP]|\\[,/&]", "", text).replace("\\-", "-").replace("\\e", "\\")
    return text


def split_keys(text):  # "Left, Page Up or Backspace" -> keys; prose ("the wheel up") left out
    items = (i.strip(" *`") for i in re.split(r",| or ", re.sub(r"\([^)]*\)", "", text)))
    return {i for i in items if i and not re.search(r"(?<!\d )\b[a-z]{2,}\b", i)}


def f1_keys(source):
    block = re.search(r"HelpLines\[\] = \{(.*?)\};", open(source).read(), re.S).group(1)
    lines = [l for l in re.findall(r'^\s*"(.*)",$', block, re.M)[1:] if not l.startswith("Gamepad")]
    text = re.sub(r",\n", ", ", "\n".join(lines))  # a line ending in a comma goes on
    keys = set()
    for part in re.split(r"\n| {3,}", text):
        if ":" in part:
            keys |= split_keys(part.split(":")[0])
    return keys


def readme_tables(path):  # {first header cell: [first cells of the rows]}
    tables, rows = {}, []
    for line in open(path).read().split("\n") + [""]:
        if line.startswith("|"):
            rows.append([c.strip() for c in line.strip("|").split("|")])
        elif rows:
            if len(rows) > 2:
                tables.setdefault(rows[0][0], []).extend(r[0] for r in rows[2:])
            rows = []
    return tables


def check_options_and_keys(a):
    helps, pages = {}, {}
    for program in PROGRAMS:
        args = [[]] + ([[c] for c in ("info", "export", "import", "check", "palette")]
                       if program == "pixsheet" else [])
        helps[program] = "".join(subprocess.run([getattr(a, program.replace("-", "_"))] + c + ["--help"],
                                                capture_output=True, text=True).stdout for c in args)
        page = glob.glob(os.path.join(a.man, program + ".[16].gz"))[0]
        pages[program] = gzip.open(page, "rt").read()
    everywhere = set()
    for program in PROGRAMS:
        own = [l for l in plain_roff(pages[program]).split("\n")  # not another program's example
               if not l.split() or l.split()[0] not in set(PROGRAMS) - {program}]
        named, paged = set(OPTION.findall(helps[program])), set(OPTION.findall("\n".join(own)))
        everywhere |= named
        for option in named - paged:
            problems.append("%s --help names %s, its manual page does not" % (program, option))
        for option in paged - named:
            problems.append("the manual page of %s names %s, its --help does not" % (program, option))
        for tag in re.findall(r"^\.TP\n(\\fB\\-.*)$", pages[program], re.M):  # "--opt ARG" alone
            check(re.fullmatch(r"--?[\w-]+( [A-Z]+)?(, --?[\w-]+( [A-Z]+)?)*", plain_roff(tag)),
                  "%s's manual page runs an option into its text: %s" % (program, plain_roff(tag)))
        rendered = subprocess.run(["groff", "-man", "-Tutf8", "-P-cbou"], input=pages[program],
                                  capture_output=True, text=True).stdout
        check(not re.search(r"\w/ \w", rendered), "%s's manual page breaks a path" % program)
    tables = readme_tables(a.readme)
    documented = {o for head, cells in tables.items() if head.lower().startswith("option")
                  for c in cells for o in OPTION.findall(" ".join(re.findall(r"`([^`]*)`", c)))}
    for option in everywhere - documented:
        problems.append("%s is in --help, not in the README's options" % option)
    for option in documented - everywhere:
        problems.append("the README's options name %s, which no --help has" % option)

    f1 = f1_keys(a.overlay)
    keys_section = plain_roff(pages["pixshow"].split(".SH KEYS")[1].split(".SH ")[0])
    man = set()
    for tag in re.findall(r"^\.TP\n\.BR? (.*)$", keys_section, re.M):
        man |= split_keys("".join(shlex.split(tag)))
    readme = set()
    for head, cells in tables.items():
        if head.lower().startswith("key"):
            for cell in cells:
                readme |= split_keys(cell.replace("**", ""))
    for where, keys in (("pixshow(6)", man), ("the README's keys", readme)):
        for key in f1 - keys:
            problems.append("the F1 help names %s, %s does not" % (key, where))
        for key in keys - f1:
            problems.append("%s names %s, the F1 help does not" % (where, key))


def examples(text):  # the command lines of the three programs among a document's example lines
    found = []
    for line in text.split("\n"):
        words = re.sub(r"\s+\(.*\)$", "", line.split("#")[0].strip())
        first, args = (words.split(None, 1) + ["", ""])[:2]
        arguments = args.split()  # options, their values, paths and numbers; not prose
        if (os.path.basename(first) in PROGRAMS and (first in PROGRAMS or "/" in first)
                and all(re.fullmatch(r"-\S*|\S*[./-]\S*|\d+|&", w) or (["-"] + arguments)[i][0] == "-"
                        for i, w in enumerate(arguments))):
            found.append(words)
    return found


def run_examples(a):
    documents = {os.path.basename(p): plain_roff(re.sub(r"\.SH (NAME|SYNOPSIS)\n.*?(?=\.SH )", "",
                                                        gzip.open(p, "rt").read(), flags=re.S))
                 for p in glob.glob(os.path.join(a.man, "*.gz"))}
    for path in sorted(glob.glob(os.path.join(a.docs, "*.md"))):
        blocks = re.findall(r"^```[^\n]*\n(.*?)^```|((?:^    [^\n]*\n)+)", open(path).read(), re.M | re.S)
        documents[os.path.basename(path)] = "\n".join(x + y for x, y in blocks)
    env = dict(os.environ, HOME=a.work, XDG_CONFIG_HOME=a.work + "/config",
               XDG_PICTURES_DIR=a.work + "/pictures")
    for name, text in sorted(documents.items()):
        commands = examples(text)
        if not commands:
            continue
        folder = os.path.join(a.work, name)
        os.makedirs(folder + "/my-art")
        for sheet in glob.glob(a.sample + "/*.pix"):
            for into in (folder, folder + "/my-art"):
                shutil.copy(sheet, into)
        for image, png in ((0, "knight.png"), (1, "archer.png")):  # an artist's own pictures
            subprocess.run([a.pixsheet, "export", "Pieces.pix", "--image", str(image), png],
                           cwd=folder, capture_output=True)
        playing = []
        for command in commands:
            argv = shlex.split(command.rstrip("& "))
            argv[0] = getattr(a, os.path.basename(argv[0]).replace("-", "_"))
            if os.path.basename(argv[0]) == "pixshow":  # plays until ended: still playing is right
                playing.append((command, subprocess.Popen(argv, cwd=folder, env=env,
                                                          stderr=subprocess.PIPE, text=True)))
                time.sleep(3 if command.endswith("&") else 0)
                continue
            done = subprocess.run(argv, cwd=folder, env=env, capture_output=True, text=True,
                                  timeout=300)
            check(done.returncode == 0, "%s: %s: status %d, %s" % (name, command, done.returncode,
                                                                    done.stderr.strip()))
        time.sleep(1 if playing else 0)
        for command, process in playing:
            status = process.poll()
            process.send_signal(signal.SIGTERM)
            error = process.communicate(timeout=30)[1]
            check(status is None, "%s: %s: ended with status %s, %s" % (name, command, status,
                                                                         error.strip()))
        print("%s: %d commands" % (name, len(commands)), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for option in ("pixshow", "pixsheet", "pixshow-capture", "man", "readme", "docs", "overlay",
                   "sample", "work"):
        parser.add_argument("--" + option, required=True)
    a = argparse.Namespace(**{k: os.path.abspath(v) for k, v in vars(parser.parse_args()).items()})
    shutil.rmtree(a.work, ignore_errors=True)
    os.makedirs(a.work)
    check_options_and_keys(a)
    run_examples(a)
    print("\n".join("FAIL: " + p for p in problems) or "PASS")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
