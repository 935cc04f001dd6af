#!/usr/bin/env python3
"""Checks every #include of the project's own sources against the table of layers
(layers.txt beside this script): a folder includes only itself, common/, the
generated headers and the folders under it. Prints one line per forbidden include,
FILE:LINE: the include and the rule it breaks, and exits 1 if there is any.

    check_layering.py [--root SOURCE_DIR] [--table layers.txt]
"""
import argparse
import os
import re
import sys

SOURCE_SUFFIXES = (".c", ".cc", ".cpp", ".h", ".hpp", ".inc", ".rc", ".rh")
INCLUDE = re.compile(r'^\s*#\s*include\s*(?:"([^"]+)"|<([^>]+)>)')
# Folders of the source tree that hold no sources of ours.
SKIPPED_FOLDERS = {"build", "docs", "scripts", "cmake"}


def read_table(path):
    """Returns (under, generated, exceptions): under maps a folder to the folders
    directly under it (None for "*"); exceptions maps (file, header) to its line."""
    under, generated, exceptions = {}, set(), {}
    problems = []
    with open(path, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            text = line.split("#", 1)[0].strip()
            if not text:
                continue
            key, sep, value = text.partition(":")
            key, words = key.strip(), value.split()
            if not sep or not key:
                problems.append(f"{path}:{number}: not 'folder: folders...'")
            elif key == "generated":
                generated.update(words)
            elif key == "exception":
                if len(words) != 2:
                    problems.append(f"{path}:{number}: an exception names a file and a header")
                else:
                    exceptions[(words[0], words[1])] = number
            elif key in under:
                problems.append(f"{path}:{number}: {key}/ has a line already")
            else:
                under[key] = None if words == ["*"] else words
    for folder, lower in under.items():
        for name in lower or []:
            if name not in under:
                problems.append(f"{path}: {folder}/ stands on {name}/, which has no line")
    return under, generated, exceptions, problems


def allowed_folders(under):
    """Each folder's reach: itself, common/ and everything below it (None: any)."""
    reach = {}

    def walk(folder, seen):
        if folder in reach:
            return reach[folder]
        if folder in seen:
            raise ValueError(f"the layers go round: {' -> '.join(seen + [folder])}")
        lower = under[folder]
        if lower is None:
            reach[folder] = None
            return None
        found = {folder, "common"}
        for name in lower:
            below = walk(name, seen + [folder])
            found |= set(under) if below is None else below
        reach[folder] = found
        return found

    for folder in under:
        walk(folder, [])
    return reach


def source_files(root):
    for top in sorted(os.listdir(root)):
        if top.startswith(".") or top in SKIPPED_FOLDERS or not os.path.isdir(os.path.join(root, top)):
            continue
        for folder, subfolders, files in os.walk(os.path.join(root, top)):
            subfolders[:] = sorted(d for d in subfolders if not d.startswith("."))
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")


def resolve(root, including, header, quoted):
    """The included file's path from the root, or None when it is not ours (a
    system header). A quoted include is looked for beside the including file first."""
    candidates = []
    if quoted:
        candidates.append(os.path.join(os.path.dirname(including), header))
    candidates.append(header)
    for candidate in candidates:
        path = os.path.normpath(candidate).replace(os.sep, "/")
        if not path.startswith("../") and os.path.isfile(os.path.join(root, path)):
            return path
    return None


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.normpath(os.path.join(here, "..", "..")))
    parser.add_argument("--table", default=os.path.join(here, "layers.txt"))
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    table = os.path.relpath(os.path.abspath(args.table), root)

    under, generated, exceptions, faults = read_table(args.table)
    if not faults:
        try:
            reach = allowed_folders(under)
        except ValueError as error:
            faults.append(f"{table}: {error}")
    if faults:
        print("\n".join(faults))
        return 1

    used_exceptions = set()
    files = 0
    for path in source_files(root):
        files += 1
        folder = path.split("/", 1)[0]
        if folder not in under:
            faults.append(f"{path}: {folder}/ has no line in {table}: place it among the layers")
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                quoted = match.group(1) is not None
                header = match.group(1) or match.group(2)
                target = resolve(root, path, header, quoted)
                if target is None:
                    if quoted and header not in generated:
                        faults.append(f"{path}:{number}: #include \"{header}\": no such header of ours "
                                      f"(nor one of the generated headers in {table})")
                    continue
                target_folder = target.split("/", 1)[0]
                if reach[folder] is None or target_folder in reach[folder]:
                    continue
                if (path, target) in exceptions:
                    used_exceptions.add((path, target))
                    continue
                may = ", ".join(f"{name}/" for name in sorted(reach[folder]))
                faults.append(f"{path}:{number}: #include \"{header}\": {folder}/ may not include "
                              f"{target_folder}/ (rule in {table}: {folder}/ includes only {may})")
    for (path, target), number in sorted(exceptions.items()):
        if (path, target) not in used_exceptions:
            faults.append(f"{table}:{number}: the exception {path} -> {target} matches no include: "
                          f"take it out")
    for fault in faults:
        print(fault)
    print(f"layering: {files} files checked, {len(faults)} forbidden includes")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
