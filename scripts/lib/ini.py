#!/usr/bin/env python3
"""halvok.ini read as halvok.exe reads it, and keys written back in place.

    ini.py get FILE KEY            prints the value of KEY in [Options]
    ini.py set FILE KEY=VALUE...   writes the keys into [Options]

Reading follows the system's settings-file rules: section and key names
without regard to case, blanks around them and around "=" ignored, the first
[Options] section and the first of duplicate keys in it, the value trimmed
and a pair of quotes around it taken off; lines that begin with ";" are
comments. A missing file or key reads as empty.

Writing changes only the value of the key's line, where the program reads
it (the key's spelling and the blanks before the value stay); a key that is
missing goes after the last line of the section, a missing section at the
end. Every other byte stays, the file's line endings among them (a new line
takes the file's own ending), and a key whose value is already the one given
is not written. The file is written in place: a symbolic link is written
through, hard links stay links to the one file, and its owner and mode stay.
"""

import os
import sys

BLANKS = b" \t"
SECTION = b"options"


def _lines(data):
    """The lines with their endings: [(text, ending)]."""
    out = []
    for raw in data.splitlines(keepends=True):
        text = raw.rstrip(b"\r\n")
        out.append((text, raw[len(text):]))
    return out


def _section_name(text):
    """The name of a section header line, or None."""
    s = text.strip(BLANKS)
    if not s.startswith(b"[") or b"]" not in s:
        return None
    return s[1:s.index(b"]")].strip(BLANKS).lower()


def _key_of(text):
    """The key of a key line (lower case), or None."""
    s = text.lstrip(BLANKS)
    if not s or s.startswith(b";") or b"=" not in s:
        return None
    return s[:s.index(b"=")].rstrip(BLANKS).lower()


def _options(lines):
    """The index range of the first [Options] section's lines, header
    excluded; None when there is none."""
    start = None
    for i, (text, _) in enumerate(lines):
        name = _section_name(text)
        if name is None:
            continue
        if start is not None:
            return start, i
        if name == SECTION:
            start = i + 1
    return None if start is None else (start, len(lines))


def _find(lines, key):
    """The index of the key's line in [Options], or None."""
    span = _options(lines)
    if span is None:
        return None
    for i in range(*span):
        if _key_of(lines[i][0]) == key.lower():
            return i
    return None


BOM = b"\xef\xbb\xbf"


def get(data, key):
    lines = _lines(data[len(BOM):] if data.startswith(BOM) else data)
    i = _find(lines, key)
    if i is None:
        return b""
    text = lines[i][0]
    value = text[text.index(b"=") + 1:].strip(BLANKS)
    if len(value) >= 2 and value[:1] in (b'"', b"'") and value[-1:] == value[:1]:
        value = value[1:-1]
    return value


def set_keys(data, pairs):
    """The file's bytes with the keys set; pairs: [(key, value)] as bytes.
    A UTF-8 BOM at the start stays where it is."""
    if data.startswith(BOM):
        return BOM + set_keys(data[len(BOM):], pairs)
    lines = _lines(data)
    eol = next((e for _, e in lines if e), b"\r\n")
    for key, value in pairs:
        i = _find(lines, key)
        if i is not None and get(b"".join(t + e for t, e in lines), key) == value:
            continue
        if i is not None:
            text, ending = lines[i]
            at = text.index(b"=") + 1
            at += len(text[at:]) - len(text[at:].lstrip(BLANKS))
            lines[i] = (text[:at] + value, ending)
            continue
        span = _options(lines)
        if span is None:
            if lines and not lines[-1][1]:
                lines[-1] = (lines[-1][0], eol)
            lines.append((b"[Options]", eol))
            span = (len(lines), len(lines))
        # After the section's last line that is not blank.
        at = span[1]
        while at > span[0] and not lines[at - 1][0].strip(BLANKS):
            at -= 1
        if at > 0 and not lines[at - 1][1]:
            lines[at - 1] = (lines[at - 1][0], eol)
        lines.insert(at, (key + b"=" + value, eol))
    return b"".join(t + e for t, e in lines)


def write_through(path, data, old=b""):
    """Writes the bytes given into the file a path leads to, in place: the
    same file (through links, hard links kept; made when missing), the new
    bytes first, then the rest cut off. When that fails the old bytes go
    back before the error is raised."""
    fd = os.open(path, os.O_RDWR | os.O_CREAT, 0o644)
    with os.fdopen(fd, "r+b") as f:
        try:
            f.write(data)
            f.truncate()
            f.flush()
            os.fsync(f.fileno())
        except OSError:
            f.seek(0)
            f.write(old)
            f.truncate()
            raise


def main(argv):
    if len(argv) == 3 and argv[0] == "get":
        try:
            data = open(argv[1], "rb").read()
        except FileNotFoundError:
            data = b""
        sys.stdout.buffer.write(get(data, argv[2].encode()) + b"\n")
        return 0
    if len(argv) >= 3 and argv[0] == "set":
        pairs = [tuple(os.fsencode(a).split(b"=", 1)) for a in argv[2:]]
        try:
            data = open(argv[1], "rb").read()
        except FileNotFoundError:
            data = b""
        new = set_keys(data, pairs)
        if new != data:
            write_through(argv[1], new, data)
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
