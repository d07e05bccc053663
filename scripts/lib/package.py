#!/usr/bin/env python3
"""Assembles the release files from what the builds made, byte for byte the
same on every run from the same commit: entries in a fixed order, every time
the commit's, fixed modes and owners.

    package.py VERSION EPOCH ROOT EXE STAGE OUT

VERSION the version (the file VERSION); EPOCH the commit's time (seconds);
ROOT the source tree; EXE the shipped halvok.exe; STAGE the folder that
`cmake --install` filled with halvok-repair's files; OUT the folder that
receives halvok-VERSION-win32.zip, halvok-repair-VERSION-linux-x86_64.tar.gz
and SHA256SUMS.
"""

import gzip
import hashlib
import io
import os
import sys
import tarfile
import time
import zipfile


def windows_text(text, encoding):
    """Text as Windows keeps it: CRLF line ends, in the code page given."""
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode(encoding)


def underline(text):
    """A line "@UNDERLINE@" becomes a row of "=" as long as the line above
    it, whatever the version made of that line."""
    lines = text.split("\n")
    for i, line in enumerate(lines):
        if line == "@UNDERLINE@" and i > 0:
            lines[i] = "=" * len(lines[i - 1])
    return "\n".join(lines)


def win32_zip(path, version, epoch, root, exe):
    top = "halvok-%s/" % version
    read = lambda rel: open(os.path.join(root, rel), encoding="utf-8").read()
    fill = lambda text: underline(text.replace("@VERSION@", version))
    files = [
        ("halvok.exe", open(exe, "rb").read(), 0o755),
        # UTF-8 with a BOM as well: its Russian texts read right on every
        # system, and the program reads such a file itself.
        ("halvok.ini", windows_text(read("docs/halvok.ini"), "utf-8-sig"), 0o644),
        ("LICENSE.txt", windows_text(read("LICENSE"), "ascii"), 0o644),
        ("README.txt", windows_text(fill(read("docs/release/README.txt")), "ascii"), 0o644),
        # UTF-8 with a BOM: Notepad reads it so on every Windows since XP,
        # whatever the system's language.
        ("Rukovodstvo.txt", windows_text(fill(read("docs/release/Rukovodstvo.txt")), "utf-8-sig"),
         0o644),
    ]
    stamp = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(path, "w") as z:
        folder = zipfile.ZipInfo(top, stamp)
        folder.create_system = 3  # modes as Unix keeps them
        folder.external_attr = (0o40755 << 16) | 0x10
        z.writestr(folder, b"")
        for name, data, mode in files:
            info = zipfile.ZipInfo(top + name, stamp)
            info.create_system = 3
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data, compresslevel=9)


def linux_tarball(path, version, epoch, stage):
    top = "halvok-repair-%s" % version
    entries = []
    for folder, dirs, names in os.walk(stage):
        dirs.sort()
        rel = os.path.relpath(folder, stage)
        entries.append((rel, None))
        entries.extend((os.path.join(rel, n), os.path.join(folder, n)) for n in sorted(names))
    with open(path, "wb") as f, \
            gzip.GzipFile(filename="", mode="wb", fileobj=f, mtime=epoch, compresslevel=9) as gz, \
            tarfile.open(fileobj=gz, mode="w", format=tarfile.USTAR_FORMAT) as tar:
        for rel, source in entries:
            info = tarfile.TarInfo(os.path.normpath(os.path.join(top, rel)))
            info.mtime, info.uid, info.gid, info.uname, info.gname = epoch, 0, 0, "root", "root"
            if source is None:
                info.type, info.mode = tarfile.DIRTYPE, 0o755
                tar.addfile(info)
                continue
            data = open(source, "rb").read()
            info.size = len(data)
            info.mode = 0o755 if os.access(source, os.X_OK) else 0o644
            tar.addfile(info, io.BytesIO(data))


def main(argv):
    if len(argv) != 6:
        sys.stderr.write(__doc__)
        return 2
    version, epoch, root, exe, stage, out = argv[0], int(argv[1]), *argv[2:]
    os.makedirs(out, exist_ok=True)
    names = ["halvok-%s-win32.zip" % version, "halvok-repair-%s-linux-x86_64.tar.gz" % version]
    win32_zip(os.path.join(out, names[0]), version, epoch, root, exe)
    linux_tarball(os.path.join(out, names[1]), version, epoch, stage)
    with open(os.path.join(out, "SHA256SUMS"), "w") as sums:
        for name in names:
            digest = hashlib.sha256(open(os.path.join(out, name), "rb").read()).hexdigest()
            sums.write("%s  %s\n" % (digest, name))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
