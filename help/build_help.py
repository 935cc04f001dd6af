#!/usr/bin/env python3
"""Builds the configurator's help file KV4T_Cfg.CHM from the sources in this folder.

The sources are UTF-8. The help viewer reads the table of contents, the index and the
project's title in the code page of the help file's language (Russian: Windows-1251),
so every file is staged in Windows-1251 with its charset declaration changed to match;
a character that Windows-1251 cannot hold stops the build.

Screenshots of the program's windows come from the folders given with --screenshots
(saved there by the end-to-end run of the Windows program). screenshots.txt names, for
each picture the topics show, the screenshot files that may stand for it. A figure
(<p class="shot"> holding one <img>) whose screenshot is not there is left out of the
staged topic, so the help builds, complete but for that picture, before any
screenshot exists.

The instrument description example of docs/instrument-files.md (its ```xml example
block) replaces the marker <!--#include-example--> in the topics.

Staged files are rewritten only when their content changes, and chmcmd runs only then
(or when the help file is missing), so the build can run this on every build.

  build_help.py --source DIR --stage DIR --output FILE [--example MD]
                [--screenshots DIR ...] [--chmcmd PROGRAM]
"""

import argparse
import html
import os
import re
import shutil
import subprocess
import sys

PROJECT = "KV4T_Cfg.hhp"
CHARSET_SOURCE = "charset=utf-8"
CHARSET_STAGED = "charset=windows-1251"
EXAMPLE_MARKER = "<!--#include-example-->"
SHOT = re.compile(r'[ \t]*<p class="shot"><img src="images/([A-Za-z0-9_.-]+)"[^>]*></p>\n?')


def fail(message):
    sys.stderr.write("build_help: %s\n" % message)
    sys.exit(1)


def read_screenshot_map(path):
    """screenshots.txt: '<image> <candidate file> [<candidate file> ...]' per line."""
    names = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].split()
            if not line:
                continue
            if len(line) < 2:
                fail("%s:%d: an image needs at least one screenshot file" % (path, number))
            names[line[0]] = line[1:]
    return names


def find_screenshot(candidates, folders):
    for name in candidates:
        for folder in folders:
            path = os.path.join(folder, name)
            if os.path.isfile(path):
                return path
    return None


def example_block(markdown_path):
    with open(markdown_path, encoding="utf-8") as f:
        text = f.read()
    found = re.search(r"^```xml example\n(.*?)^```", text, re.S | re.M)
    if not found:
        fail("%s: no ```xml example block" % markdown_path)
    return found.group(1)


def to_cp1251(text, where):
    try:
        return text.encode("cp1251")
    except UnicodeEncodeError as e:
        line = text.count("\n", 0, e.start) + 1
        fail("%s:%d: %r has no Windows-1251 form; write it as an HTML entity"
             % (where, line, text[e.start:e.end]))


def stage_text(name, text, shots, example):
    """The staged form of one source file: figures resolved, example inserted, the
    charset declaration switched to Windows-1251."""
    if name.endswith(".htm"):
        def figure(match):
            return match.group(0) if match.group(1) in shots else ""
        text = SHOT.sub(figure, text)
        if EXAMPLE_MARKER in text:
            text = text.replace(EXAMPLE_MARKER, html.escape(example, quote=False).rstrip("\n"))
    if name.endswith((".htm", ".hhc", ".hhk")):
        if text.count(CHARSET_SOURCE) != 1:
            fail("%s: needs exactly one '%s' declaration" % (name, CHARSET_SOURCE))
        text = text.replace(CHARSET_SOURCE, CHARSET_STAGED)
    return text


def write_if_changed(path, data):
    if os.path.isfile(path):
        with open(path, "rb") as f:
            if f.read() == data:
                return False
    with open(path, "wb") as f:
        f.write(data)
    return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--stage", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--example")
    parser.add_argument("--screenshots", nargs="*", default=[])
    parser.add_argument("--chmcmd", default="chmcmd")
    args = parser.parse_args()

    shot_map = read_screenshot_map(os.path.join(args.source, "screenshots.txt"))
    shots = {}
    for image, candidates in shot_map.items():
        found = find_screenshot(candidates, args.screenshots)
        if found:
            shots[image] = found
    example = example_block(args.example) if args.example else ""

    os.makedirs(os.path.join(args.stage, "images"), exist_ok=True)
    changed = False
    staged = set()
    for name in sorted(os.listdir(args.source)):
        if not name.endswith((".htm", ".hhc", ".hhk", ".hhp", ".css")):
            continue
        with open(os.path.join(args.source, name), encoding="utf-8") as f:
            text = f.read()
        text = stage_text(name, text, shots, example)
        if name == PROJECT:
            # The pictures and the style sheet are named in the project, so the help
            # file holds them whether or not a topic's link is found by the compiler.
            extra = ["style.css"] + ["images/" + image for image in sorted(shots)]
            text = text.rstrip("\n") + "\n" + "\n".join(extra) + "\n"
        data = to_cp1251(text.replace("\n", "\r\n"), name)
        changed |= write_if_changed(os.path.join(args.stage, name), data)
        staged.add(name)

    for image, path in shots.items():
        with open(path, "rb") as f:
            changed |= write_if_changed(os.path.join(args.stage, "images", image), f.read())
        staged.add("images/" + image)
    # Files of an earlier build that are no longer sources (a topic renamed, a
    # screenshot gone) must not reach the help file.
    for folder in ("", "images"):
        for name in os.listdir(os.path.join(args.stage, folder)):
            rel = os.path.join(folder, name) if folder else name
            path = os.path.join(args.stage, rel)
            if os.path.isfile(path) and rel not in staged and not rel.endswith(".CHM"):
                os.remove(path)
                changed = True

    missing = sorted(set(shot_map) - set(shots))
    with open(os.path.join(args.stage, "screenshots-missing.txt"), "w", encoding="utf-8") as f:
        f.write("".join(image + "\n" for image in missing))

    compiled = os.path.join(args.stage, "KV4T_Cfg.CHM")
    if changed or not os.path.isfile(compiled) or not os.path.isfile(args.output):
        if os.path.exists(compiled):
            os.remove(compiled)
        run = subprocess.run([args.chmcmd, "--no-html-scan", PROJECT], cwd=args.stage,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        # chmcmd reports some failures only in its output, with an empty file and
        # status 0: the file's signature tells.
        ok = run.returncode == 0 and os.path.isfile(compiled)
        if ok:
            with open(compiled, "rb") as f:
                ok = f.read(4) == b"ITSF"
        if not ok:
            sys.stderr.write(run.stdout)
            fail("chmcmd did not make a help file")
        os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
        tmp = args.output + ".tmp"
        shutil.copyfile(compiled, tmp)
        os.replace(tmp, args.output)
        print("build_help: %s%s" % (args.output,
              " (without the screenshots %s)" % ", ".join(missing) if missing else ""))


if __name__ == "__main__":
    main()
