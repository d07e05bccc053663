# The settings file as scripts/run reads and writes it (scripts/lib/ini.py):
# read as the program reads it, keys written back in place: through a
# symbolic link, into the one file that hard links share.
import os, sys, tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../scripts/lib"))
import ini

# (file, key, value read)
READS = [
    (b"[Options]\r\nArc=C:\\7z.exe\r\n", b"Arc", b"C:\\7z.exe"),
    (b"[options]\r\n  ARC  =  C:\\Program Files\\7-Zip\\7z.exe \t\r\n", b"Arc",
     b"C:\\Program Files\\7-Zip\\7z.exe"),
    (b"[Options]\nArc=first\nArc=second\n", b"Arc", b"first"),
    (b"[Other]\nArc=no\n[ Options ]\nArc=yes\n[Options]\nArc=later\n", b"Arc", b"yes"),
    (b"[Options]\n;Arc=comment\nCom=\"7za a \"%s.7z\"\"\n", b"Com", b'7za a "%s.7z"'),
    (b"[Options]\n;Arc=comment\n", b"Arc", b""),
    (b"Arc=outside\n[Options]\nArcx=1\n", b"Arc", b""),
    (b"\xef\xbb\xbf[Options]\r\nArc=C:\\\xd0\x9f\r\n", b"Arc", b"C:\\\xd0\x9f"),
]

# (file, keys set, file afterwards)
WRITES = [
    (b"[Options]\r\nposx = 10\r\nbArc=1\r\n", [(b"PosX", b"20"), (b"bArc", b"1")],
     b"[Options]\r\nposx = 20\r\nbArc=1\r\n"),
    (b"[Options]\nArc=a\n\n[Next]\nx=1\n", [(b"PosY", b"3")],
     b"[Options]\nArc=a\nPosY=3\n\n[Next]\nx=1\n"),
    (b"; mine\nx=1", [(b"bMSIE", b"0")], b"; mine\nx=1\n[Options]\nbMSIE=0\n"),
    (b"", [(b"bMSIE", b"0")], b"[Options]\r\nbMSIE=0\r\n"),
    (b"[Options]\nPosX=1\nPosX=9\n", [(b"POSX", b"2")], b"[Options]\nPosX=2\nPosX=9\n"),
    (b"\xef\xbb\xbf[Options]\r\nbArc=1\r\n", [(b"bArc", b"0"), (b"PosX", b"5")],
     b"\xef\xbb\xbf[Options]\r\nbArc=0\r\nPosX=5\r\n"),
]


def main():
    fails = 0
    for data, key, want in READS:
        got = ini.get(data, key)
        if got != want:
            print("FAILED: get %r from %r: %r, expected %r" % (key, data, got, want))
            fails += 1
    for data, pairs, want in WRITES:
        got = ini.set_keys(data, pairs)
        if got != want:
            print("FAILED: set %r in %r: %r, expected %r" % (pairs, data, got, want))
            fails += 1
    with tempfile.TemporaryDirectory() as d:
        mine, other, link = (os.path.join(d, n) for n in ("mine.ini", "other.ini", "link.ini"))
        with open(mine, "wb") as f:
            f.write(b"[Options]\r\nArc=C:\\7z.exe\r\nPosX=1\r\n")
        os.chmod(mine, 0o640)
        os.link(mine, other)
        os.symlink("mine.ini", link)
        ini.main(["set", link, "PosX=250"])
        want = b"[Options]\r\nArc=C:\\7z.exe\r\nPosX=250\r\n"
        if not (os.path.islink(link) and os.path.samefile(mine, other)
                and open(other, "rb").read() == want and os.stat(mine).st_mode & 0o777 == 0o640):
            print("FAILED: set through a link into a file with two names, in place")
            fails += 1
    print("ini table: %d failed" % fails)
    return 1 if fails else 0


if __name__ == "__main__":
    sys.exit(main())
