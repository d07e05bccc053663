# Runs one case folder through the real halvok.exe under Wine and a display.
#
# A case folder holds:
#   case.txt   what the case shows (lines starting with #) and how the program
#              is started, key=value lines:
#                args=TAIL     the command line after the program's name
#                program=PATH  where halvok.exe is put, within the folder (default:
#                              halvok.exe)
#                fakearc-copy=PATH  a copy of the stand-in archiver at PATH within the
#                              folder (not compared afterwards)
#                code-pages=1251 1252  run the case once on each of these system code
#                              pages (Wine with a Russian, an English locale)
#                drop=P1|P2    paths dropped on the window once it is up
#                closes=yes    the window closes by itself (default: no)
#                close-after=N close the window once the stand-in archiver ran N times
#                exit-code=N   halvok.exe's exit code (default: 0)
#                stdout-blocked=S  halvok-run's output is a full pipe, read only
#                              after S seconds; a window that closes by itself
#                              must be gone by then
#                env.NAME=V    environment for the programs (the stand-in's settings)
#   in/        the folder the program runs in: pages, folders, halvok.ini
#   lines.txt  the result lines the window shows, UTF-8
#   out/       every file of the folder afterwards, byte for byte; for an
#              archive (*.7z), the list of the paths it holds
# {dir} in args, drop, in/halvok.ini and out/ stands for the folder (a Windows
# path); {fakearc} and {7za} for the stand-in and the real archiver. {pad:N}
# in a path (program, args, drop, and the names under in/ and out/) is a name
# of "d"s that makes the path, up to the end of that name, N characters long
# as Windows counts them.
# halvok-run must exit with 0 when every line is Ok and halvok.exe's exit code
# is 0, and with 1 otherwise.
# Usage: run_case.py CASE_DIR BIN_DIR (the test build's bin/, with halvok.exe,
# halvok-run.exe and fakearc.exe). Wine's settings come from the environment.

import fcntl, os, pathlib, re, select, shutil, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xdrop

WINE = os.environ["HALVOK_WINE"]


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def files(top):
    return sorted(os.path.relpath(os.path.join(d, f), top)
                  for d, _, names in os.walk(top) for f in names)


def archive_paths(archive):
    seven = os.environ["HALVOK_7ZA"][2:].replace("\\", "/")
    out = subprocess.run([WINE, seven, "l", "-slt", "-sccUTF-8", winpath(archive)],
                         capture_output=True, check=True).stdout.decode()
    # The first path is the archive's own.
    return sorted([line[7:].strip() for line in out.splitlines() if line.startswith("Path = ")][1:])


def halvok_window(exe, timeout=60):
    end = time.time() + timeout
    while time.time() < end:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", exe],
                               capture_output=True, text=True).stdout.split()
        for wid in found:
            geo = dict(kv.split("=") for kv in subprocess.run(
                ["xdotool", "getwindowgeometry", "--shell", wid], capture_output=True,
                text=True).stdout.split())
            if int(geo["WIDTH"]) > 100:
                return int(wid), int(geo["X"]), int(geo["Y"])
        time.sleep(0.2)
    raise RuntimeError("the window did not appear")


PAD = re.compile(r"\{pad:(\d+)\}")


def padded(text, head=None):
    """text with each {pad:N} filled: the path up to its end is N long. The
    path is head + text, or, without head, starts at the last "Z:" before it
    (with the "\\\\?\\" before that, if any)."""
    while m := PAD.search(text):
        if head is None:
            start = text.rfind("Z:", 0, m.start())
            start -= 4 if text[max(start - 4, 0):start] == "\\\\?\\" else 0
            n = int(m[1]) - (m.start() - start)
        else:
            n = int(m[1]) - len(head) - m.start()
        text = text[:m.start()] + "d" * n + text[m.end():]
    return text


def pad_names(top, head):
    """Fills {pad:N} in the names under top; head is top's Windows path."""
    for d, dirs, names in os.walk(top, topdown=False):
        for name in dirs + names:
            if PAD.search(name):
                rel = os.path.relpath(os.path.join(d, name), top).replace("/", "\\")
                path = padded(rel, head + "\\")
                os.rename(os.path.join(d, name), os.path.join(d, path.rsplit("\\", 1)[-1]))


def run(case, bindir):
    opts = dict(line.split("=", 1) for line in open(os.path.join(case, "case.txt"),
                encoding="utf-8").read().splitlines() if "=" in line and line[0] != "#")
    locales = {"1251": "ru_RU.UTF-8", "1252": "en_US.UTF-8"}
    failed = 0
    for cp in opts.get("code-pages", "").split() or [None]:
        if cp:
            print("on code page %s" % cp)
            opts["env.LC_ALL"] = locales[cp]
        failed |= run_once(case, bindir, opts)
    return failed


def run_once(case, bindir, opts):
    work = tempfile.mkdtemp(prefix="hv-case-")
    names = {"{dir}": winpath(work), "{fakearc}": winpath(os.path.join(bindir, "fakearc.exe")),
             "{7za}": os.environ.get("HALVOK_7ZA", "")}

    def fill(data):  # bytes or text
        for name, value in names.items():
            data = data.replace(*((name, value) if isinstance(data, str) else
                                  (name.encode(), value.encode("cp1251"))))
        return padded(data) if isinstance(data, str) else data

    shutil.copytree(os.path.join(case, "in"), work, dirs_exist_ok=True)
    pad_names(work, winpath(work))
    exe = os.path.join(work, padded(opts.get("program", "halvok.exe"), winpath(work) + "\\"))
    os.makedirs(os.path.dirname(exe), exist_ok=True)
    shutil.copy(os.path.join(bindir, "halvok.exe"), exe)
    kept = [os.path.relpath(exe, work)]  # not compared afterwards
    if "fakearc-copy" in opts:
        kept.append(opts["fakearc-copy"])
        os.makedirs(os.path.dirname(os.path.join(work, kept[-1])), exist_ok=True)
        shutil.copy(os.path.join(bindir, "fakearc.exe"), os.path.join(work, kept[-1]))
    ini = pathlib.Path(work, "halvok.ini")
    if ini.exists():
        ini.write_bytes(fill(ini.read_bytes()))
    log = os.path.join(work, "arc.log")
    env = dict(os.environ, HALVOK_FAKEARC_LOG=winpath(log))
    env.update((k[4:], v) for k, v in opts.items() if k.startswith("env."))
    want = open(os.path.join(case, "lines.txt"), encoding="utf-8").read().splitlines()
    run_exe = os.path.join(bindir, "halvok-run.exe")

    args = [WINE, run_exe, "--watch", winpath(exe)]
    args += [fill(opts["args"])] if "args" in opts else []
    blocked = float(opts.get("stdout-blocked", 0))
    stdout = subprocess.PIPE
    if blocked:  # a pipe of one page, full before halvok-run writes to it
        read_end, stdout = os.pipe()
        fcntl.fcntl(stdout, 1031, 4096)  # F_SETPIPE_SZ
        os.write(stdout, b"." * 4095 + b"\n")
    proc = subprocess.Popen(args, stdout=stdout, stderr=subprocess.PIPE, env=env)
    pid = proc.stderr.readline().split()[-1].decode()
    errors = []
    if blocked:
        os.close(stdout)
        time.sleep(blocked)
        if opts.get("closes") == "yes" and subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--classname", os.path.basename(exe)],
                capture_output=True).stdout.strip():
            errors.append("the window was held while halvok-run's output was blocked")
        proc.stdout = os.fdopen(read_end, "rb")
        proc.stdout.readline()  # the pipe's filling
    if "drop" in opts:
        wid, x, y = halvok_window(os.path.basename(exe))
        paths = [fill(p)[2:].replace("\\", "/") for p in opts["drop"].split("|")]
        assert xdrop.drop(wid, x + 40, y + 40, paths), "the drop was not taken"
    lines = []
    # A line that never comes fails the case within a minute, not at the
    # suite's time limit; the window is then closed as below.
    end = time.time() + 60
    while len(lines) < len(want) and select.select([proc.stdout], [], [], max(end - time.time(), 0))[0]:
        if not (line := proc.stdout.readline()):
            break
        lines.append(line.decode().rstrip("\r\n"))
    archived = lambda: os.path.exists(log) and open(log, "rb").read().count(b"\n")
    while "close-after" in opts and archived() < int(opts["close-after"]):
        time.sleep(0.1)
    caption = None
    try:  # a window that closes itself does it at once
        proc.wait(timeout=0 if "close-after" in opts else 20 if opts.get("closes") == "yes" else 2)
    except subprocess.TimeoutExpired:
        wid = str(halvok_window(os.path.basename(exe))[0])
        caption = subprocess.run(["xdotool", "getwindowname", wid], capture_output=True,
                                 text=True).stdout.strip()
        subprocess.run([WINE, run_exe, "--close", pid], check=True)
        proc.wait(timeout=60)
    lines += [l.decode().rstrip("\r\n") for l in proc.stdout.readlines()]

    if lines != want:
        errors.append("lines: %r, expected %r" % (lines, want))
    if caption and "close-after" not in opts and caption != "Перетащите каталог в окно":
        errors.append("the caption at the end: " + caption)
    code = opts.get("exit-code", "0")
    status = proc.stderr.read().decode()
    if re.search(r"exit code (\d+)", status) is None or re.search(r"exit code (\d+)", status)[1] != code:
        errors.append("halvok-run: " + status)
    ok = any(want) and all(l.endswith(" [Ok]") for l in want if l) and code == "0"
    if proc.returncode != (0 if ok else 1):
        errors.append("halvok-run's exit status: %d" % proc.returncode)
    if (caption is None) != (opts.get("closes") == "yes"):
        errors.append("the window %s by itself" % ("did not close" if caption else "closed"))
    expected_dir = os.path.join(case, "out")
    got = [f for f in files(work) if f not in kept]
    # The expected files by the names they take here, {pad:N} filled.
    expected_files = {padded(f.replace("/", "\\"), winpath(work) + "\\").replace("\\", "/"): f
                      for f in files(expected_dir)}
    if got != sorted(expected_files):
        errors.append("files: %r, expected %r" % (got, sorted(expected_files)))
    for f in set(got) & set(expected_files):
        expected = fill(open(os.path.join(expected_dir, expected_files[f]), "rb").read())
        if f.endswith(".7z"):
            actual = "".join(p + "\n" for p in archive_paths(os.path.join(work, f))).encode()
        else:
            actual = open(os.path.join(work, f), "rb").read()
        if actual != expected:
            errors.append("%s: %r, expected %r" % (f, actual[:400], expected[:400]))
    if errors:
        print("case %s failed; its folder is kept: %s" % (os.path.basename(case), work))
        print("\n".join(errors))
        return 1
    shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(run(sys.argv[1], sys.argv[2]))
