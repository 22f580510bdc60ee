#!/usr/bin/python3
"""The whole journey of a user, driven from outside the real launcher.

Starts AviroLauncher with a fresh profile against the sandbox servers and walks what a user does: sign-in,
installation into a chosen folder (killed with SIGKILL at random moments while it downloads and while it
extracts), starting the sandbox game and quitting while it runs, an update, a launcher update, and the window
on the desktop (its icon without a window manager, its size at 192 dpi). The launcher is reached only through
the keyboard and mouse (xdotool), its profile, its log and the sandbox's control port. Runs under an X server
(--xvfb starts one of its own).

    tst_journey.py --bin BUILD/bin --catalogue BUILD/sandbox-catalogue --tools tests/tools [--keep] [--shots DIR]
"""
import argparse
import contextlib
import hashlib
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

SCREEN_MAIN_BUTTON = (140, 725)
KILL_ROUNDS = 5
LOG_TIMEOUT = 60
PROGRESS_TICK = 0.25  # 7-Zip prints its progress every 200 ms
# The error hint's colour, and where the sign-in page shows the password's hint.
HINT_COLOR = (0xE9, 0x1E, 0x63)
PASSWORD_HINT_AREA = (490, 339, 300, 24)
# A row of pixels through the footer's progress bar, and the colour of its filled part.
PROGRESS_ROW = (342, 714, 588, 1)
PROGRESS_COLOR = (0x03, 0xA9, 0xF4)


class JourneyError(Exception):
    pass


def step(text):
    print("==", text, flush=True)


def run(*args, **kwargs):
    return subprocess.run(args, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs).stdout


def write_json(path, data):
    with open(path, "w") as f:
        json.dump(data, f)


def find_windows(*criteria):
    """The windows xdotool finds. A search that a window being made or destroyed meanwhile holds up (it
    waited for ever now and then) is cut short and counts as finding nothing, so the caller asks again."""
    try:
        return subprocess.run(["xdotool", "search", *criteria], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              text=True, timeout=5).stdout.split()
    except subprocess.TimeoutExpired:
        return []


def md5_of(path):
    with open(path, "rb") as f:
        return hashlib.file_digest(f, "md5").hexdigest()


def tree_digests(root):
    """Relative path -> MD5 of every regular file under root."""
    return {os.path.relpath(os.path.join(folder, name), root): md5_of(os.path.join(folder, name))
            for folder, _, files in os.walk(root) for name in files}


def near(pixel, color, tolerance):
    return all(abs(pixel[i] - color[i]) <= tolerance for i in range(3))


@contextlib.contextmanager
def xvfb():
    """An X server of its own, on a display whose lock and socket are both free: servers in other network
    namespaces share the file system's sockets, and one whose lock another run removed still owns its socket.
    A number that another run takes meanwhile makes the server end at once, and the next one is tried."""
    for number in range(100 + os.getpid() % 200, 400):
        if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists("/tmp/.X11-unix/X%d" % number):
            continue
        server = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                                  stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while not os.path.exists("/tmp/.X11-unix/X%d" % number) and server.poll() is None and time.time() < deadline:
            time.sleep(0.1)
        if server.poll() is None and os.path.exists("/tmp/.X11-unix/X%d" % number):
            break
        server.kill()
        server.wait()
    else:
        raise SystemExit("Xvfb did not start")
    os.environ["DISPLAY"] = ":%d" % number
    os.environ.pop("XAUTHORITY", None)
    try:
        yield
    finally:
        server.kill()
        server.wait()


class Journey:
    def __init__(self, args):
        self.bin = os.path.abspath(args.bin)
        self.catalogue_dir = os.path.abspath(args.catalogue)
        self.tools = os.path.abspath(args.tools)
        self.shots = os.path.abspath(args.shots) if args.shots else None
        self.keep = args.keep
        self.work = tempfile.mkdtemp(prefix="aviro-journey-")
        self.home = os.path.join(self.work, "home")
        self.files = os.path.join(self.work, "files")
        self.location = os.path.join(self.home, "Flight Games")
        self.settings = os.path.join(self.home, "config", "VOMO", "Vomo Skyworks.ini")
        self.sandbox = self.launcher = self.window = self.log_path = None
        self.starts = 0
        # The sandbox's files and versions, until make_packages serves larger ones.
        shutil.copytree(os.path.join(self.catalogue_dir, "files"), self.files)
        self.versions = self.catalogue(None)["versions"]["SkyTrainer"]
        # The desktop's opener is ours: it records what the launcher hands to it.
        opener = os.path.join(self.work, "opener", "xdg-open")
        os.makedirs(os.path.dirname(opener))
        with open(opener, "w") as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s"\n' % os.path.join(self.work, "opened.txt"))
        os.chmod(opener, 0o755)
        runtime = os.path.join(self.work, "runtime")
        os.makedirs(runtime, mode=0o700)
        self.env = {k: v for k, v in os.environ.items() if k not in ("QT_QPA_PLATFORM", "QT_QUICK_BACKEND")}
        self.env.update(HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, "config"), XDG_RUNTIME_DIR=runtime,
                        PATH=os.path.dirname(opener) + os.pathsep + self.env.get("PATH", "/usr/bin:/bin"),
                        QT_LOGGING_RULES="qt.qpa.*.debug=false")

    def wait_for(self, check, what, timeout=LOG_TIMEOUT, poll=0.1, detail=None):
        """check's first true result; a failure once the time is up or the launcher has ended."""
        deadline = time.time() + timeout
        while True:
            result = check()
            if result:
                return result
            ended = self.launcher is not None and self.launcher.poll() is not None
            if ended or time.time() > deadline:
                raise JourneyError("%s while waiting for %s:\n%s" % (
                    "the launcher ended" if ended else "timed out", what, (detail or self.log_tail)()))
            time.sleep(poll)

    # --- the served world -------------------------------------------------------------------------------------
    def make_packages(self):
        """Two versions of the game large enough to be interrupted: a full package and a patch, each with many
        small files (the extraction takes seconds) and the full one with a large file (the download does)."""
        step("making the packages")
        base = os.path.join(self.work, "stage-base")
        run("7z", "x", "-y", "-o" + base, os.path.join(self.files, "packages", "SkyTrainer_1_1_0_0.7z"))
        rng = random.Random(7)
        self.unpacked = {}

        def stage(version, ispatch, tiles, big_bytes):
            root = os.path.join(self.work, "stage-" + version)
            product = os.path.join(root, "SkyTrainer")
            if ispatch == 2:
                shutil.copytree(os.path.join(base, "SkyTrainer"), product)
            content = os.path.join(product, "SkyTrainer", "Content")
            os.makedirs(content, exist_ok=True)
            write_json(os.path.join(content, "version.dat"), {"V": version, "P": "SkyTrainer"})
            tiles_dir = os.path.join(product, "Data", "tiles-" + version)
            os.makedirs(tiles_dir)
            for i in range(tiles):
                with open(os.path.join(tiles_dir, "t%05d.dat" % i), "wb") as f:
                    f.write(rng.randbytes(64) + b"x" * 1500)
            if big_bytes:
                with open(os.path.join(product, "Data", "scenery-%s.pak" % version), "wb") as f:
                    f.write(rng.randbytes(big_bytes))
            name = "SkyTrainer_%s.7z" % version.replace(".", "_")
            package = os.path.join(self.files, "packages", name)
            self.unpacked[name] = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(root) for f in fs)
            run("7z", "a", "-mx=1", package, "SkyTrainer", cwd=root)
            shutil.rmtree(root)
            note = "notes/%s.json" % version
            write_json(os.path.join(self.files, note),
                       {"en": "Aviro %s\n- Journey build." % version, "zh-CN": "Aviro %s\n- 旅程版本。" % version})
            return {"version": version, "ispatch": ispatch, "spaceDesc": "40 MB", "file": "packages/" + name,
                    "md5": md5_of(package), "note": note}

        self.versions = [stage("1.2.0.0", 2, 16000, 14 << 20), stage("1.2.1.0", 1, 14000, 6 << 20)]
        self.patch = stage("1.2.2.0", 1, 200, 256 << 10)
        shutil.rmtree(base)

    def catalogue(self, versions, launcher_update=False):
        """The sandbox's catalogue serving versions (None: its own) from this run's files."""
        with open(os.path.join(self.catalogue_dir,
                               "catalogue-update.json" if launcher_update else "catalogue.json")) as f:
            catalogue = json.load(f)
        if versions is not None:
            catalogue["versions"]["SkyTrainer"] = versions
        catalogue.update(baseDir=self.work, filesDir=self.files)
        return catalogue

    def start_sandbox(self):
        write_json(os.path.join(self.work, "catalogue.json"), self.catalogue(self.versions))
        ports = os.path.join(self.work, "ports.json")
        with open(ports, "w") as out, open(os.path.join(self.work, "sandbox.log"), "w") as err:
            self.sandbox = subprocess.Popen(
                [os.path.join(self.bin, "AviroSandbox"), "--state", os.path.join(self.work, "sandbox"),
                 "--catalogue", os.path.join(self.work, "catalogue.json"), "--any-port"], stdout=out, stderr=err)
        self.wait_for(lambda: os.path.getsize(ports) > 0, "the sandbox's ports", 10)
        with open(ports) as f:
            self.ports = json.loads(f.readline())
        os.makedirs(os.path.dirname(self.settings))
        with open(self.settings, "w") as f:
            f.write("[Servers]\n")
            for key, name in (("Account", "account"), ("AccountWeb", "accountweb"), ("Store", "store"),
                              ("Statistics", "statistics"), ("Documents", "documents")):
                f.write("%s=%s\n" % (key, self.ports[name]))
            f.write("Faq=%s/faq\nCaCertificates=%s\n" % (self.ports["documents"], self.ports["ca"]))

    def control(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.ports["control"] + path, data=data, method=method)
        with urllib.request.urlopen(request, timeout=10) as reply:
            return json.loads(reply.read() or b"null")

    def package_gets(self, name=""):
        """The GET requests of the file server for packages (whose name ends with name)."""
        return [r for r in self.control("GET", "/requests?server=files")
                if r["method"] == "GET" and "/packages/" in r["path"] and r["path"].endswith(name)]

    # --- the launcher -----------------------------------------------------------------------------------------
    def start(self, page=None, attempts=3):
        """Starts the launcher and waits for its window (and page). An X server that refuses a connection
        now and then, on a busy machine, is asked again; the launcher itself gets no second chance."""
        for attempt in range(1, attempts + 1):
            self.starts += 1
            self.log_path = os.path.join(self.work, "launcher-%02d.log" % self.starts)
            with open(self.log_path, "w") as log:
                self.launcher = subprocess.Popen([os.path.join(self.bin, "AviroLauncher")], stdout=log,
                                                 stderr=subprocess.STDOUT, env=self.env)
            try:
                self.window = self.wait_for(lambda: find_windows("--pid", str(self.launcher.pid), "--name",
                                                                 "Vomo Skyworks"), "the launcher's window", 20)[0]
                break
            except JourneyError:
                if attempt == attempts or "could not connect to display" not in self.log_text():
                    raise
                print("   the X server refused the launcher's connection; starting it again", flush=True)
                time.sleep(1)
        if page:
            self.wait_page(page)

    def wait_window(self, *names):
        """The first visible window of the launcher other than its main window whose title has one of names."""
        def found():
            return [w for name in names for w in find_windows("--onlyvisible", "--pid", str(self.launcher.pid),
                                                              "--name", name) if w != self.window]
        return self.wait_for(found, "a window named %s" % (names,), 20)[0]

    def log_text(self):
        if not self.log_path:
            return ""
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def log_tail(self, lines=25):
        return "\n".join(self.log_text().splitlines()[-lines:])

    def wait_log(self, text, timeout=LOG_TIMEOUT, count=1):
        def seen():
            log = self.log_text()
            if log.count(text) < count and "GlobalUiOp::showError" in log and "showError" not in text:
                raise JourneyError("the launcher shows an error while waiting for %r:\n%s" % (text, self.log_tail()))
            return log.count(text) >= count
        self.wait_for(seen, repr(text), timeout, 0.05)

    def wait_page(self, page, timeout=LOG_TIMEOUT):
        self.wait_log('LauncherOp::switchPage "%s"' % page, timeout)

    def key(self, *keys):
        run("xdotool", "windowfocus", "--sync", self.window, "key", "--delay", "60", *keys)
        time.sleep(0.3)

    def type(self, text, window=None):
        run("xdotool", "windowfocus", "--sync", window or self.window, "type", "--delay", "30", text)

    def click(self, x, y):
        run("xdotool", "mousemove", str(x), str(y), "sleep", "0.2", "click", "1")
        time.sleep(0.3)

    def shot(self, name):
        if self.shots:
            os.makedirs(self.shots, exist_ok=True)
            time.sleep(0.5)
            run("import", "-window", "root", "-quality", "85", os.path.join(self.shots, name + ".jpg"))

    def kill9(self):
        self.launcher.kill()
        self.launcher.wait()
        self.launcher = None

    def close_window(self):
        run("/usr/bin/python3", os.path.join(self.tools, "close_window.py"), self.window)

    def wait_exit(self, timeout=20):
        try:
            code = self.launcher.wait(timeout)
        except subprocess.TimeoutExpired:
            raise JourneyError("the launcher did not end:\n" + self.log_tail())
        self.launcher = None
        return code

    def stored(self, key):
        """A value of the launcher's store in its INI file (General group)."""
        with open(self.settings, errors="replace") as f:
            return next((line.split("=", 1)[1].strip() for line in f if line.startswith(key + "=")), None)

    def close(self):
        for process in (self.launcher, self.sandbox):
            if process and process.poll() is None:
                process.kill()
                process.wait()
        subprocess.run(["pkill", "-KILL", "-f", os.path.join(self.location, "SkyTrainer")], check=False)
        if self.keep:
            print("work kept in", self.work)
        else:
            shutil.rmtree(self.work, ignore_errors=True)

    # --- what the user sees -----------------------------------------------------------------------------------
    def pixels(self, x, y, width, height):
        """The RGB pixels of a part of the screen."""
        data = run("import", "-window", "root", "-crop", "%dx%d+%d+%d" % (width, height, x, y), "-depth", "8", "rgb:-")
        return [tuple(data[i:i + 3]) for i in range(0, len(data), 3)]

    def bar_fill(self):
        """How much of the footer's progress bar is filled, 0 to 1, as the user sees it."""
        row = self.pixels(*PROGRESS_ROW)
        return sum(near(p, PROGRESS_COLOR, 60) for p in row) / len(row)


def sign_in(j):
    step("first start: welcome and the sign-in dialog")
    j.start("Welcome")
    j.wait_log("VomoAccountMng::GetVerifyCode")
    first = j.control("GET", "/captcha")
    j.shot("01-signin")
    j.type("pilot@example.com")
    j.key("Tab")
    j.type("wrong-password")
    j.key("Tab")
    j.type(first["code"])
    # Past the captcha's refresh icon to "Stay signed in", and back to the code.
    j.key("Tab", "Tab", "space", "shift+Tab", "shift+Tab", "Return")
    step("a wrong password: its hint and a new captcha")
    j.wait_log("VomoAccountMng::GetVerifyCode", count=2)
    time.sleep(0.5)
    j.shot("02-signin-wrong")
    if not any(near(p, HINT_COLOR, 40) for p in j.pixels(*PASSWORD_HINT_AREA)):
        raise JourneyError("no hint under the password after a wrong password")
    step("the right password and captcha sign in")
    j.key("shift+Tab", "ctrl+a")
    j.type("secret")
    j.key("Tab", "ctrl+a")
    j.type(j.control("GET", "/captcha")["code"])
    j.key("Return")
    j.wait_page("Intall")


def choose_location(j):
    step("the install page: a folder of the user's choosing")
    os.makedirs(j.location)
    j.shot("03-install")
    # Install, then the link that changes the location.
    j.key("Tab", "Tab", "Tab", "Tab", "Return")
    dialog = j.wait_window("选择安装目录", "Select")
    j.shot("04-folder-dialog")
    # The dialog opens in the user's home folder: the folder's name alone chooses it.
    j.type(os.path.basename(j.location), dialog)
    run("xdotool", "windowfocus", "--sync", dialog, "key", "Return")
    # The dialog is modal: until it has gone, the main window takes no keys.
    j.wait_for(lambda: dialog not in find_windows("--onlyvisible", "--pid", str(j.launcher.pid)),
               "the folder dialog's end", 20)
    time.sleep(0.3)
    j.shot("05-install-chosen")


def download_with_kills(j):
    step("install: the download, killed %d times at random moments" % KILL_ROUNDS)
    j.control("DELETE", "/requests")
    j.control("POST", "/faults", {"server": "files", "path": "/files/packages/*", "method": "GET",
                                  "throttle": 3000000})
    names = [os.path.basename(v["file"]) for v in j.versions]
    served = {n: os.path.join(j.files, "packages", n) for n in names}
    cached = {n: os.path.join(j.location, "__DownloadCache__", n) for n in names}
    total = sum(os.path.getsize(p) for p in served.values())
    moments = sorted(random.sample(range(total // 20, total * 9 // 10), KILL_ROUNDS))

    def on_disk():
        return {n: os.path.getsize(cached[n]) if os.path.exists(cached[n]) else 0 for n in names}

    # The folder dialog gave the focus back to "Modify"; Install is before it.
    j.key("shift+Tab", "Return")
    j.wait_page("Download")
    j.wait_log("Rate:")
    time.sleep(0.5)
    fill = j.bar_fill()
    if not 0 < fill < 1:
        raise JourneyError("the download page shows no progress (bar %.2f full)" % fill)
    j.shot("06-download")
    for round_, moment in enumerate(moments, 1):
        def reached():
            if 'switchPage "Setup"' in j.log_text():
                raise JourneyError("the download ended before byte %d" % moment)
            return sum(on_disk().values()) >= moment
        j.wait_for(reached, "byte %d of the download" % moment, poll=0.02)
        j.kill9()
        sizes = on_disk()
        print("   kill -9 at %d bytes: %s" % (sum(sizes.values()), sizes), flush=True)
        for name, size in sizes.items():
            if size:
                with open(served[name], "rb") as a, open(cached[name], "rb") as b:
                    if a.read(size) != b.read():
                        raise JourneyError("%s on disk is not a prefix of the package (%d bytes)" % (name, size))
        j.control("DELETE", "/requests")
        j.start("Download")
        # The interrupted package continues from its bytes on disk; the complete ones are not asked for again.
        interrupted = [n for n, size in sizes.items() if 0 < size < os.path.getsize(served[n])]
        j.wait_for(lambda: all(j.package_gets("/" + n) for n in interrupted),
                   "round %d: %s asked for again" % (round_, interrupted), poll=0.05)
        for name, size in sizes.items():
            ranges = [g["headers"].get("Range") for g in j.package_gets("/" + name)]
            if name in interrupted and ranges[:1] != ["bytes=%d-" % size]:
                raise JourneyError("round %d: %s resumed with %s, not bytes=%d-" % (round_, name, ranges, size))
            if size == os.path.getsize(served[name]) and ranges:
                raise JourneyError("round %d: the complete %s was downloaded again" % (round_, name))
    j.control("DELETE", "/faults")


def extractor_of(launcher_pid, package):
    """The launcher's extractor of that package, or None."""
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % entry) as f:
                parent = int(f.read().rsplit(")", 1)[1].split()[1])
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                arguments = f.read().decode(errors="replace")
        except OSError:
            continue
        if parent == launcher_pid and package in arguments:
            return int(entry)
    return None


def written_by(pid):
    """Bytes the process has written so far (its files and its progress output), or None once it has ended."""
    try:
        with open("/proc/%d/io" % pid) as f:
            return int(next(line for line in f if line.startswith("wchar:")).split()[1])
    except (FileNotFoundError, ProcessLookupError):
        return None
    except PermissionError:
        raise JourneyError("cannot read /proc/%d/io: this test needs the kernel's I/O accounting" % pid)


def extraction_with_kills(j):
    step("install: the extraction, killed %d times at random moments" % KILL_ROUNDS)
    j.wait_page("Setup", 120)
    j.control("DELETE", "/requests")
    first, second = (os.path.basename(v["file"]) for v in j.versions)

    def extracting(name):
        return any("[Start Program]" in line and name in line for line in j.log_text().splitlines())

    fills = []
    first_done = False
    for round_ in range(1, KILL_ROUNDS + 1):
        # The first rounds interrupt the first package; the others the second one, once the first is done.
        target = first if round_ <= 2 and not first_done else second
        extractor = j.wait_for(lambda: extracting(target) and extractor_of(j.launcher.pid, target),
                               "the extraction of %s" % target, poll=0.01)
        started = time.time()
        # The moment is a random share of the extraction's work, whatever the machine's speed. The extractor is
        # held still while the test looks at the screen, so that it cannot finish in the meantime.
        moment = random.uniform(0.1, 0.6) * j.unpacked[target]
        while (written_by(extractor) or 0) < moment:
            if written_by(extractor) is None:
                raise JourneyError("round %d: the extraction of %s ended before the kill" % (round_, target))
            time.sleep(0.01)
        os.kill(extractor, signal.SIGSTOP)
        # 7-Zip reports its progress at most every 200 ms, and on a quick machine the moment can come before its
        # first report: it is held until then and let go for an instant, as a slower disk would have done.
        if time.time() - started < PROGRESS_TICK:
            time.sleep(PROGRESS_TICK - (time.time() - started))
            os.kill(extractor, signal.SIGCONT)
            time.sleep(0.03)
            os.kill(extractor, signal.SIGSTOP)
        try:
            time.sleep(0.5)
            fills.append(j.bar_fill())
            if round_ == 1:
                j.shot("07-setup")
            if 'switchPage "Run"' in j.log_text():
                raise JourneyError("round %d: the installation ended before the kill" % round_)
            if first_done and extracting(first):
                raise JourneyError("round %d: the extracted %s was extracted again" % (round_, first))
            j.kill9()
        finally:
            # Left to itself, as after a real kill: it ends when it next writes to the launcher that is gone.
            with contextlib.suppress(ProcessLookupError):
                os.kill(extractor, signal.SIGCONT)
        first_done = j.versions[0]["md5"] in (j.stored("INSTALL_DONE_LIST") or "")
        print("   kill -9 at %d%% of extracting %s; first package done: %s"
              % (100 * moment / j.unpacked[target], target, first_done), flush=True)
        j.start("Setup")
    j.wait_page("Run", 120)
    if first_done and extracting(first):
        raise JourneyError("the extracted %s was extracted again" % first)
    print("   extraction progress seen: %s" % " ".join("%.2f" % f for f in fills), flush=True)
    if not any(0 < f < 1 for f in fills):
        raise JourneyError("the setup page showed no extraction progress")
    if j.package_gets():
        raise JourneyError("packages downloaded again after the download had ended: %s" % j.package_gets())
    check_installation(j, j.versions)


def check_installation(j, versions):
    step("the installed files are those of the packages")
    reference = os.path.join(j.work, "reference")
    shutil.rmtree(reference, ignore_errors=True)
    for version in versions:
        run("7z", "x", "-y", "-aoa", "-o" + reference, os.path.join(j.files, version["file"]))
    expected = tree_digests(os.path.join(reference, "SkyTrainer"))
    actual = {k: v for k, v in tree_digests(os.path.join(j.location, "SkyTrainer")).items()
              if not k.startswith("sandbox-game")}
    differ = sorted(k for k in set(expected) | set(actual) if expected.get(k) != actual.get(k))
    if differ:
        raise JourneyError("installed files missing, extra or different: %s" % differ[:10])
    shutil.rmtree(reference)


def game_log(j, event):
    """The sandbox game's log entries of that event."""
    path = os.path.join(j.location, "SkyTrainer", "sandbox-game.log")
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return [e for e in map(json.loads, filter(str.strip, f)) if e["event"] == event]


def wait_game(j, event, count=1):
    """The count-th entry of that event in the game's log, once it is there."""
    return j.wait_for(lambda: game_log(j, event)[count - 1:], "the game's %s (%d)" % (event, count), 30)[0]


def configure_game(j, **config):
    write_json(os.path.join(j.location, "SkyTrainer", "sandbox-game.json"), config)


def game(j):
    step("the game: Start with the keyboard, and again with the mouse once the game has ended")
    j.close_window()
    j.wait_exit()
    j.start("Run")
    j.wait_log('Get Version:  "%s"' % j.versions[-1]["version"])
    j.shot("08-run")
    configure_game(j, runMs=2000)
    # Past the account button and Option to Start.
    j.key("Tab", "Tab", "Tab", "Return")
    wait_game(j, "exit")
    step("closing the window while the game runs ends the launcher and the game")
    configure_game(j, runMs=120000)
    time.sleep(1)
    j.click(*SCREEN_MAIN_BUTTON)
    game = wait_game(j, "start", count=2)
    wait_game(j, "received", count=3)
    j.close_window()
    code = j.wait_exit()
    if code != 0:
        raise JourneyError("the launcher ended with %d when closed while the game ran:\n%s" % (code, j.log_tail()))
    j.wait_for(lambda: not os.path.exists("/proc/%d" % game["pid"]), "the game's end with the launcher's", 10)


def update(j):
    step("a newer patch in the store: Update installs it and ends on Run")
    j.control("POST", "/catalogue", j.catalogue(j.versions + [j.patch]))
    j.start("Update")
    j.shot("10-update")
    j.click(*SCREEN_MAIN_BUTTON)
    j.wait_page("Run", 120)
    check_installation(j, j.versions + [j.patch])
    j.shot("11-updated")
    j.kill9()


def launcher_update(j):
    step("a newer launcher: its download, its setup handed to the desktop, and the launcher quits")
    j.control("POST", "/catalogue", j.catalogue(j.versions + [j.patch], launcher_update=True))
    j.start("UpdateLauncher")
    j.shot("12-update-launcher")
    j.click(*SCREEN_MAIN_BUTTON)
    j.wait_page("SetupLauncher")
    j.shot("13-setup-launcher")
    j.click(*SCREEN_MAIN_BUTTON)
    code = j.wait_exit()
    opened = os.path.join(j.work, "opened.txt")
    if code != 0 or not os.path.exists(opened):
        raise JourneyError("the setup was not handed to the desktop (exit %s):\n%s" % (code, j.log_tail()))
    with open(opened) as f:
        setup = f.read().strip()
    setup = urllib.request.url2pathname(setup[len("file://"):]) if setup.startswith("file://") else setup
    newest = max(j.catalogue(None, launcher_update=True)["launchers"], key=lambda l: l["version"])
    if md5_of(setup) != newest["md5"]:
        raise JourneyError("the setup handed over (%s) is not the newest launcher's" % setup)


def desktop(j):
    step("the desktop: the window's icon without a window manager, and twice the size at Xft.dpi 192")
    from Xlib import Xatom, display

    def started_size():
        j.start()
        size = run("xdotool", "getwindowgeometry", j.window).decode().split("Geometry:")[1].split()[0]
        icons = run("xprop", "-id", j.window, "_NET_WM_ICON").decode()
        j.kill9()
        return size, icons

    size, icons = started_size()
    for side in (16, 32, 48):
        if "Icon (%d x %d)" % (side, side) not in icons:
            raise JourneyError("the window's icon has no %dx%d picture:\n%s" % (side, side, icons[:200]))
    if size != "1280x800":
        raise JourneyError("at 96 dpi the window is %s" % size)
    # Held open while the launcher starts: the X server forgets the root's properties when its last client goes.
    x = display.Display()
    resources = x.intern_atom("RESOURCE_MANAGER")
    x.screen().root.change_property(resources, Xatom.STRING, 8, b"Xft.dpi:\t192\n")
    x.sync()
    try:
        size = started_size()[0]
        if size != "2560x1600":
            raise JourneyError("at 192 dpi the window is %s, not 2560x1600" % size)
    finally:
        x.screen().root.delete_property(resources)
        x.close()


def check_logs(j):
    step("no QML warning in any of the launcher's logs")
    for name in sorted(n for n in os.listdir(j.work) if n.startswith("launcher-")):
        with open(os.path.join(j.work, name), errors="replace") as f:
            warnings = [line for line in f if "qrc:/" in line or "QQmlApplicationEngine" in line]
        if warnings:
            raise JourneyError("%s has QML warnings:\n%s" % (name, "".join(warnings[:10])))


def arguments(doc):
    parser = argparse.ArgumentParser(description=doc, formatter_class=argparse.RawDescriptionHelpFormatter)
    for name in ("--bin", "--catalogue", "--tools"):
        parser.add_argument(name, required=True)
    parser.add_argument("--shots")
    parser.add_argument("--keep", action="store_true")
    return parser


def verdict(j, steps, what):
    """Runs the steps on j, then checks its logs; the exit status."""
    try:
        for each in steps:
            each(j)
        check_logs(j)
    except JourneyError as error:
        print("FAIL:", error, flush=True)
        return 1
    finally:
        j.close()
    print("PASS:", what, flush=True)
    return 0


def main():
    parser = arguments(__doc__)
    parser.add_argument("--xvfb", action="store_true", help="run on an X server of its own (Xvfb)")
    args = parser.parse_args()
    with xvfb() if args.xvfb else contextlib.nullcontext():
        return verdict(Journey(args), [Journey.make_packages, Journey.start_sandbox, sign_in, choose_location,
                                       download_with_kills, extraction_with_kills, game, update, launcher_update,
                                       desktop], "the journey")


if __name__ == "__main__":
    sys.exit(main())
