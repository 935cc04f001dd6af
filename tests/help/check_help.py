#!/usr/bin/env python3
"""Checks the configurator's help.

  check_help.py sources HELP_DIR
      The sources: every topic is in the project's file list, in the table of
      contents and has a title; every link between topics, every table-of-contents
      and index entry and every anchor they name resolves; pictures are the named
      screenshots of screenshots.txt, each in a figure the build can leave out; the
      text has a Windows-1251 form.

  check_help.py chm HELP_FILE STAGE_DIR
      The compiled help file: an ITSF file whose directory lists 000.htm, every
      topic, the table of contents, the index and every picture the build staged;
      each of them, extracted again (extract_chmLib), equals the staged file; the
      links between the compiled topics resolve inside the help file.

Prints one line per fault and exits 1 when there is any.
"""

import html.parser
import os
import re
import struct
import subprocess
import sys
import tempfile
import urllib.parse

faults = []


def fault(where, message):
    faults.append("%s: %s" % (where, message))


class Page(html.parser.HTMLParser):
    """The parts of a topic or sitemap the checks need."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.links = []      # (attribute, value, line)
        self.anchors = set()
        self.title = ""
        self.h1 = ""
        self.params = []     # sitemap (Name, Local) pairs
        self.shots = []      # images inside <p class="shot">
        self.loose_pictures = []  # lines of images outside one
        self._in = None
        self._stack = []
        self._param = {}

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        line = self.getpos()[0]
        self._stack.append((tag, a))
        if tag in ("title", "h1"):
            self._in = tag
        if tag == "a" and "name" in a:
            self.anchors.add(a["name"])
        if "id" in a:
            self.anchors.add(a["id"])
        for attr in ("href", "src"):
            if attr in a and not (tag == "link" and a.get("rel") != "stylesheet"):
                self.links.append((attr, a[attr], line))
        if tag == "img":
            parent = self._stack[-2] if len(self._stack) > 1 else (None, {})
            if parent[0] == "p" and parent[1].get("class") == "shot":
                self.shots.append((a.get("src", ""), line))
            else:
                self.loose_pictures.append(line)
        if tag == "object":
            self._param = {}
        if tag == "param":
            self._param[a.get("name")] = a.get("value")
            if a.get("name") == "Local":
                self.params.append((self._param.get("Name"), a.get("value"), line))

    def handle_endtag(self, tag):
        if tag in ("title", "h1"):
            self._in = None
        while self._stack:
            if self._stack.pop()[0] == tag:
                break

    def handle_data(self, data):
        if self._in == "title":
            self.title += data
        elif self._in == "h1":
            self.h1 += data


def parse(path, encoding):
    with open(path, "rb") as f:
        data = f.read()
    page = Page()
    page.feed(data.decode(encoding))
    page.close()
    return page, data


def resolve(where, target, pages, files):
    """A link target (file and optional #anchor) relative to the help's root."""
    parts = urllib.parse.urlsplit(target)
    if parts.scheme or parts.netloc:
        fault(where, "%s leaves the help file" % target)
        return
    name = urllib.parse.unquote(parts.path)
    if name and name not in files:
        fault(where, "%s: no such file" % target)
        return
    if parts.fragment:
        page = pages.get(name or where.split(":")[0])
        if page is None or parts.fragment not in page.anchors:
            fault(where, "%s: no such anchor" % target)


def project_files(path, encoding):
    with open(path, encoding=encoding, newline="") as f:
        text = f.read().replace("\r\n", "\n")
    section = None
    files = []
    options = {}
    for line in text.split("\n"):
        if line.startswith("["):
            section = line.strip("[]")
        elif section == "FILES" and line.strip():
            files.append(line.strip())
        elif section == "OPTIONS" and "=" in line:
            key, value = line.split("=", 1)
            options[key] = value
    return options, files


def check_links(folder, encoding, topics, extra_files):
    pages = {}
    for name in topics:
        pages[name], _ = parse(os.path.join(folder, name), encoding)
    files = set(topics) | set(extra_files)
    for name, page in pages.items():
        for attr, value, line in page.links:
            resolve("%s:%d" % (name, line), value, pages, files)
    for sitemap in ("KV4T_Cfg.hhc", "KV4T_Cfg.hhk"):
        page, _ = parse(os.path.join(folder, sitemap), encoding)
        if not page.params:
            fault(sitemap, "no entries")
        for entry, local, line in page.params:
            if not entry:
                fault("%s:%d" % (sitemap, line), "an entry without a name")
            resolve("%s:%d" % (sitemap, line), local, pages, files)
    return pages


def check_sources(folder):
    options, listed = project_files(os.path.join(folder, "KV4T_Cfg.hhp"), "utf-8")
    topics = sorted(n for n in os.listdir(folder) if n.endswith(".htm"))
    if sorted(listed) != topics:
        fault("KV4T_Cfg.hhp", "[FILES] lists %s, the folder holds %s" % (sorted(listed), topics))
    if options.get("Default topic") != "000.htm" or "000.htm" not in topics:
        fault("KV4T_Cfg.hhp", "the default topic must be 000.htm")
    shot_names = set()
    with open(os.path.join(folder, "screenshots.txt"), encoding="utf-8") as f:
        for line in f:
            words = line.split("#", 1)[0].split()
            if words:
                shot_names.add("images/" + words[0])

    for name in os.listdir(folder):
        if not name.endswith((".htm", ".hhc", ".hhk", ".hhp", ".css", ".txt")):
            continue
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            text = f.read()
        for number, line in enumerate(text.split("\n"), 1):
            try:
                line.encode("cp1251")
            except UnicodeEncodeError as e:
                fault("%s:%d" % (name, number), "%r has no Windows-1251 form" % line[e.start:e.end])
        if name.endswith((".htm", ".hhc", ".hhk")) and text.count("charset=utf-8") != 1:
            fault(name, "needs exactly one charset=utf-8 declaration")

    pages = check_links(folder, "utf-8", topics, ["style.css"] + sorted(shot_names))
    toc, _ = parse(os.path.join(folder, "KV4T_Cfg.hhc"), "utf-8")
    in_toc = {urllib.parse.urlsplit(local).path for _, local, _ in toc.params}
    for name, page in pages.items():
        if name not in in_toc:
            fault(name, "not in the table of contents")
        if not page.title.strip():
            fault(name, "no title")
        elif page.title.strip() != page.h1.strip():
            fault(name, "the title %r and the heading %r differ" % (page.title, page.h1))
        for line in page.loose_pictures:
            fault("%s:%d" % (name, line), "a picture outside <p class=\"shot\">")
        for src, line in page.shots:
            if src not in shot_names:
                fault("%s:%d" % (name, line), "%s is not a picture of screenshots.txt" % src)


def enum_chm(path):
    """The names in the help file's directory (enum_chmLib of chmlib)."""
    run = subprocess.run(["enum_chmLib", path], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if run.returncode != 0:
        fault(path, "enum_chmLib failed: %s" % run.stderr.decode(errors="replace"))
        return set()
    names = set()
    for line in run.stdout.decode("latin-1").splitlines():
        found = re.match(r"\s*\d+\s+\d+\s+\d+\s+\S+ (?:file|dir)\s+(/.*)$", line)
        if found:
            names.add(found.group(1))
    return names


def check_chm(path, stage):
    with open(path, "rb") as f:
        header = f.read(0x60)
    # ITSF, version 3, with the directory (ITSP) where the header section table says.
    if len(header) < 0x58 or header[:4] != b"ITSF" or struct.unpack_from("<I", header, 4)[0] != 3:
        fault(path, "not an ITSF version 3 file")
        return
    dir_offset = struct.unpack_from("<Q", header, 0x48)[0]
    with open(path, "rb") as f:
        f.seek(dir_offset)
        if f.read(4) != b"ITSP":
            fault(path, "no ITSP directory at 0x%x" % dir_offset)

    _, listed = project_files(os.path.join(stage, "KV4T_Cfg.hhp"), "cp1251")
    expected = ["000.htm", "KV4T_Cfg.hhc", "KV4T_Cfg.hhk"] + listed
    names = enum_chm(path)
    for name in ["#SYSTEM", "#TOPICS"] + expected:
        if "/" + name not in names:
            fault(path, "the directory does not list /%s" % name)

    with tempfile.TemporaryDirectory() as out:
        run = subprocess.run(["extract_chmLib", path, out], stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE)
        if run.returncode != 0:
            fault(path, "extract_chmLib failed: %s" % run.stderr.decode(errors="replace"))
            return
        for name in expected:
            with open(os.path.join(stage, name), "rb") as f:
                staged = f.read()
            try:
                with open(os.path.join(out, name), "rb") as f:
                    extracted = f.read()
            except OSError:
                continue  # already reported as missing from the directory
            if staged != extracted:
                fault(path, "/%s differs from the staged file" % name)
        topics = [n for n in listed if n.endswith(".htm")]
        check_links(out, "cp1251", topics, [n for n in listed if not n.endswith(".htm")])


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "sources":
        check_sources(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "chm":
        check_chm(sys.argv[2], sys.argv[3])
    else:
        sys.stderr.write(__doc__)
        return 2
    for line in faults:
        print(line)
    print("%s: %d fault(s)" % (sys.argv[1], len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
