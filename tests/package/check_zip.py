#!/usr/bin/env python3
"""Checks the portable archive cpack made (cmake/KV4TPackaging.cmake).

  check_zip.py ZIP BIN_DIR SOURCE_DIR VERSION

The archive holds exactly one folder KV4T_Cfg-VERSION with KV4T_Cfg.exe, Pargo.dll,
KV4T_Cfg.CHM, the instrument descriptions of catalog/ and README.txt, and nothing
else; every file reads back intact and equals the build's own (the read-me: the
document of docs/ as Windows shows a text file, with the version filled in).
"""

import os
import sys
import zipfile


def main():
    if len(sys.argv) != 5:
        sys.stderr.write(__doc__)
        return 2
    path, bin_dir, source, version = sys.argv[1:]
    faults = []
    folder = "KV4T_Cfg-%s/" % version
    shipped = ["KV4T_Cfg.exe", "Pargo.dll", "KV4T_Cfg.CHM"] + sorted(
        n for n in os.listdir(os.path.join(source, "catalog")) if n.endswith(".xml"))
    expected = sorted(folder + n for n in shipped + ["README.txt"])

    with zipfile.ZipFile(path) as archive:
        names = sorted(archive.namelist())
        if names != expected:
            faults.append("the archive holds %s, expected %s" % (names, expected))
        bad = archive.testzip()
        if bad:
            faults.append("%s does not read back intact" % bad)
        for name in shipped:
            if folder + name not in names:
                continue
            with open(os.path.join(bin_dir, name), "rb") as f:
                if archive.read(folder + name) != f.read():
                    faults.append("%s differs from the build's" % name)
        if folder + "README.txt" in names:
            with open(os.path.join(source, "docs", "package-readme.txt"), encoding="utf-8") as f:
                text = f.read().replace("@VERSION@", version)
            want = b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode("utf-8")
            readme = archive.read(folder + "README.txt")
            if readme != want:
                faults.append("README.txt is not docs/package-readme.txt with BOM, CRLF and version")
            if version.encode() not in readme:
                faults.append("README.txt does not name the version")

    for line in faults:
        print(line)
    print("zip: %d fault(s)" % len(faults))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
