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
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse
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


def expect(condition, failure):
    if not condition:
        raise JourneyError(failure)


def run(*args, **kwargs):
    return subprocess.run(args, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs).stdout


def stop(process):
    process.kill()
    process.wait()


def read(path):
    with open(path, errors="replace") as f:
        return f.read()


def write(path, data):
    """Writes bytes, a text, or anything else as JSON to path, in a folder made if need be."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    data = data if isinstance(data, (bytes, str)) else json.dumps(data)
    with open(path, "wb" if isinstance(data, bytes) else "w") as f:
        f.write(data)


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
        socket = "/tmp/.X11-unix/X%d" % number
        if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists(socket):
            continue
        # Without -noreset the server would forget the root window's properties whenever its last client goes.
        server = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1280x800x24", "-nolisten", "tcp",
                                   "-noreset"], stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while not os.path.exists(socket) and server.poll() is None and time.time() < deadline:
            time.sleep(0.1)
        if server.poll() is None and os.path.exists(socket):
            break
        stop(server)
    else:
        raise SystemExit("Xvfb did not start")
    os.environ["DISPLAY"] = ":%d" % number
    os.environ.pop("XAUTHORITY", None)
    try:
        yield
    finally:
        stop(server)


class Journey:
    def __init__(self, args):
        self.bin, self.catalogue_dir, self.tools = map(os.path.abspath, (args.bin, args.catalogue, args.tools))
        self.shots = args.shots and os.path.abspath(args.shots)
        self.keep = args.keep
        self.work = tempfile.mkdtemp(prefix="aviro-journey-")
        self.home = os.path.join(self.work, "home")
        self.files = os.path.join(self.work, "files")
        self.location = os.path.join(self.home, "Flight Games")
        self.settings = os.path.join(self.home, "config", "VOMO", "Vomo Skyworks.ini")
        self.opened = os.path.join(self.work, "opened.txt")
        self.sandbox = self.launcher = self.window = self.log_path = None
        self.starts = 0
        # The sandbox's files and versions, until make_packages serves larger ones.
        shutil.copytree(os.path.join(self.catalogue_dir, "files"), self.files)
        self.versions = self.catalogue(None)["versions"]["SkyTrainer"]
        # The desktop's opener is ours: it records what the launcher hands to it.
        opener = os.path.join(self.work, "opener", "xdg-open")
        write(opener, '#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s"\n' % self.opened)
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
        while not (result := check()):
            ended = self.launcher is not None and self.launcher.poll() is not None
            if ended or time.time() > deadline:
                raise JourneyError("%s while waiting for %s:\n%s" % (
                    "the launcher ended" if ended else "timed out", what, (detail or self.log_tail)()))
            time.sleep(poll)
        return result

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
            write(os.path.join(product, "SkyTrainer", "Content", "version.dat"), {"V": version, "P": "SkyTrainer"})
            for i in range(tiles):
                write(os.path.join(product, "Data", "tiles-" + version, "t%05d.dat" % i),
                      rng.randbytes(64) + b"x" * 1500)
            write(os.path.join(product, "Data", "scenery-%s.pak" % version), rng.randbytes(big_bytes))
            name = "SkyTrainer_%s.7z" % version.replace(".", "_")
            package = os.path.join(self.files, "packages", name)
            self.unpacked[name] = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(root) for f in fs)
            run("7z", "a", "-mx=1", package, "SkyTrainer", cwd=root)
            note = "notes/%s.json" % version
            write(os.path.join(self.files, note),
                  {"en": "Aviro %s\n- Journey build." % version, "zh-CN": "Aviro %s\n- 旅程版本。" % version})
            return {"version": version, "ispatch": ispatch, "spaceDesc": "40 MB", "file": "packages/" + name,
                    "md5": md5_of(package), "note": note}

        self.versions = [stage("1.2.0.0", 2, 16000, 14 << 20), stage("1.2.1.0", 1, 14000, 6 << 20)]
        self.patch = stage("1.2.2.0", 1, 200, 256 << 10)

    def catalogue(self, versions, launcher_update=False):
        """The sandbox's catalogue serving versions (None: its own) from this run's files."""
        catalogue = json.loads(read(os.path.join(self.catalogue_dir,
                                                 "catalogue-update.json" if launcher_update else "catalogue.json")))
        if versions is not None:
            catalogue["versions"]["SkyTrainer"] = versions
        catalogue.update(baseDir=self.work, filesDir=self.files)
        return catalogue

    def start_sandbox(self):
        write(os.path.join(self.work, "catalogue.json"), self.catalogue(self.versions))
        ports = os.path.join(self.work, "ports.json")
        with open(ports, "w") as out, open(os.path.join(self.work, "sandbox.log"), "w") as err:
            self.sandbox = subprocess.Popen(
                [os.path.join(self.bin, "AviroSandbox"), "--state", os.path.join(self.work, "sandbox"),
                 "--catalogue", os.path.join(self.work, "catalogue.json"), "--any-port"], stdout=out, stderr=err)
        self.wait_for(lambda: os.path.getsize(ports) > 0, "the sandbox's ports", 10)
        self.ports = json.loads(read(ports).splitlines()[0])
        servers = "".join("%s=%s\n" % (key, self.ports[key.lower()])
                          for key in ("Account", "AccountWeb", "Store", "Statistics", "Documents"))
        write(self.settings, "[Servers]\n%sFaq=%s/faq\nCaCertificates=%s\n"
              % (servers, self.ports["documents"], self.ports["ca"]))

    def control(self, method, path, body=None):
        request = urllib.request.Request(
            self.ports["control"] + path, body and json.dumps(body).encode(), method=method)
        with urllib.request.urlopen(request, timeout=10) as reply:
            return json.loads(reply.read() or b"null")

    def package_gets(self, name=""):
        """The GET requests of the file server for packages (whose name ends with name)."""
        return [r for r in self.control("GET", "/requests?server=files")
                if r["method"] == "GET" and "/packages/" in r["path"] and r["path"].endswith(name)]

    # --- the launcher -----------------------------------------------------------------------------------------
    def start(self, page=None):
        """Starts the launcher and waits for its window (and page). An X server that refuses a connection
        now and then, on a busy machine, is asked again; the launcher itself gets no second chance."""
        for attempt in range(3):
            self.starts += 1
            self.log_path = os.path.join(self.work, "launcher-%02d.log" % self.starts)
            with open(self.log_path, "w") as log:
                self.launcher = subprocess.Popen([os.path.join(self.bin, "AviroLauncher")], stdout=log,
                                                 stderr=subprocess.STDOUT, env=self.env)
            try:
                self.window = self.wait_for(lambda: self.windows("--name", "Vomo Skyworks"), "the window", 20)[0]
                break
            except JourneyError:
                if attempt == 2 or "could not connect to display" not in self.log_text():
                    raise
                print("   the X server refused the launcher's connection; starting it again", flush=True)
                time.sleep(1)
        if page:
            self.wait_page(page)

    def windows(self, *criteria):
        """The launcher's windows xdotool finds. A search that a window being made or destroyed meanwhile holds up
        (it waited for ever now and then) is cut short and counts as finding nothing, so the caller asks again."""
        try:
            return subprocess.run(["xdotool", "search", "--pid", str(self.launcher.pid), *criteria], text=True,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=5).stdout.split()
        except subprocess.TimeoutExpired:
            return []

    def log_text(self):
        return read(self.log_path) if self.log_path else ""

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
        """Types text; a tab in it is the Tab key."""
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
        stop(self.launcher)
        self.launcher = None

    def close_window(self):
        """Closes the window as a window manager does; the launcher's exit status."""
        run("/usr/bin/python3", os.path.join(self.tools, "close_window.py"), self.window)
        return self.wait_exit()

    def wait_exit(self):
        with contextlib.suppress(subprocess.TimeoutExpired):
            self.launcher.wait(20)
        expect(self.launcher.poll() is not None, "the launcher did not end:\n" + self.log_tail())
        code, self.launcher = self.launcher.returncode, None
        return code

    def close(self):
        for process in filter(None, (self.launcher, self.sandbox)):
            stop(process)
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
    j.shot("01-signin")
    j.type("pilot@example.com\twrong-password\t" + j.control("GET", "/captcha")["code"])
    # Past the captcha's refresh icon to "Stay signed in", and back to the code.
    j.key("Tab", "Tab", "space", "shift+Tab", "shift+Tab", "Return")
    step("a wrong password: its hint and a new captcha")
    j.wait_log("VomoAccountMng::GetVerifyCode", count=2)
    time.sleep(0.5)
    j.shot("02-signin-wrong")
    expect(any(near(p, HINT_COLOR, 40) for p in j.pixels(*PASSWORD_HINT_AREA)),
           "no hint under the password after a wrong password")
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
    dialog = j.wait_for(lambda: [w for w in j.windows("--onlyvisible", "--name", "选择安装目录|Select")
                                 if w != j.window], "the folder dialog", 20)[0]
    j.shot("04-folder-dialog")
    # The dialog opens in the user's home folder: the folder's name alone chooses it.
    j.type(os.path.basename(j.location), dialog)
    run("xdotool", "windowfocus", "--sync", dialog, "key", "Return")
    # The dialog is modal: until it has gone, the main window takes no keys.
    j.wait_for(lambda: dialog not in j.windows("--onlyvisible"), "the folder dialog's end", 20)
    time.sleep(0.3)
    j.shot("05-install-chosen")


def download_with_kills(j):
    step("install: the download, killed %d times at random moments" % KILL_ROUNDS)
    j.control("DELETE", "/requests")
    j.control("POST", "/faults", {"server": "files", "path": "/files/packages/*", "method": "GET",
                                  "throttle": 3000000})
    served = {os.path.basename(v["file"]): os.path.join(j.files, v["file"]) for v in j.versions}
    cached = {n: os.path.join(j.location, "__DownloadCache__", n) for n in served}
    full = {n: os.path.getsize(p) for n, p in served.items()}
    moments = sorted(random.sample(range(sum(full.values()) // 20, sum(full.values()) * 9 // 10), KILL_ROUNDS))

    def on_disk():
        return {n: os.path.getsize(cached[n]) for n in served if os.path.exists(cached[n])}

    # The folder dialog gave the focus back to "Modify"; Install is before it.
    j.key("shift+Tab", "Return")
    j.wait_page("Download")
    j.wait_log("Rate:")
    time.sleep(0.5)
    fill = j.bar_fill()
    expect(0 < fill < 1, "the download page shows no progress (bar %.2f full)" % fill)
    j.shot("06-download")
    for round_, moment in enumerate(moments, 1):
        def reached():
            expect('switchPage "Setup"' not in j.log_text(), "the download ended before byte %d" % moment)
            return sum(on_disk().values()) >= moment
        j.wait_for(reached, "byte %d of the download" % moment, poll=0.02)
        j.kill9()
        sizes = on_disk()
        print("   kill -9 at %d bytes: %s" % (sum(sizes.values()), sizes), flush=True)
        for name, size in sizes.items():
            with open(served[name], "rb") as a, open(cached[name], "rb") as b:
                expect(a.read(size) == b.read(), "%s on disk is not a prefix of the package (%d bytes)" % (name, size))
        j.control("DELETE", "/requests")
        j.start("Download")
        # The interrupted packages continue from their bytes on disk; the complete ones are not asked for again.
        interrupted = [n for n, size in sizes.items() if 0 < size < full[n]]
        j.wait_for(lambda: all(j.package_gets("/" + n) for n in interrupted),
                   "round %d: %s asked for again" % (round_, interrupted), poll=0.05)
        resumed = {n: ["bytes=%d-" % size] if n in interrupted else [] for n, size in sizes.items() if size}
        first_ranges = {n: [g["headers"].get("Range") for g in j.package_gets("/" + n)][:1] for n in resumed}
        expect(first_ranges == resumed,
               "round %d: the packages' first ranges asked for are %s, not %s" % (round_, first_ranges, resumed))
    j.control("DELETE", "/faults")


def extractor_of(parent, package):
    """The process ids of the extractors of that package that parent started."""
    return subprocess.run(["pgrep", "-P", str(parent), "-f", package], capture_output=True, text=True).stdout.split()


def written_by(pid):
    """Bytes the process has written so far (its files and its progress output), or None once it has ended."""
    with contextlib.suppress(FileNotFoundError, ProcessLookupError), open("/proc/%d/io" % pid) as f:
        return int(next(line for line in f if line.startswith("wchar:")).split()[1])


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
        extractor = int(j.wait_for(lambda: extracting(target) and extractor_of(j.launcher.pid, target),
                                   "the extraction of %s" % target, poll=0.01)[0])
        started = time.time()
        # The moment is a random share of the extraction's work, whatever the machine's speed. The extractor is
        # held still while the test looks at the screen, so that it cannot finish in the meantime.
        moment = random.uniform(0.1, 0.6) * j.unpacked[target]
        while (written_by(extractor) or 0) < moment:
            expect(written_by(extractor) is not None,
                   "round %d: the extraction of %s ended before the kill" % (round_, target))
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
            expect('switchPage "Run"' not in j.log_text(), "round %d: the installation ended before the kill" % round_)
            expect(not (first_done and extracting(first)),
                   "round %d: the extracted %s was extracted again" % (round_, first))
            j.kill9()
        finally:
            # Left to itself, as after a real kill: it ends when it next writes to the launcher that is gone.
            with contextlib.suppress(ProcessLookupError):
                os.kill(extractor, signal.SIGCONT)
        first_done = re.search("^INSTALL_DONE_LIST=.*" + j.versions[0]["md5"], read(j.settings), re.M) is not None
        print("   kill -9 at %d%% of extracting %s; first package done: %s"
              % (100 * moment / j.unpacked[target], target, first_done), flush=True)
        j.start("Setup")
    j.wait_page("Run", 120)
    expect(not (first_done and extracting(first)), "the extracted %s was extracted again" % first)
    print("   extraction progress seen: %s" % " ".join("%.2f" % f for f in fills), flush=True)
    expect(any(0 < f < 1 for f in fills), "the setup page showed no extraction progress")
    downloads = j.package_gets()
    expect(not downloads, "packages downloaded again after the download had ended: %s" % downloads)
    check_installation(j, j.versions)


def check_installation(j, versions):
    step("the installed files are those of the packages")
    with tempfile.TemporaryDirectory(dir=j.work) as reference:
        for version in versions:
            run("7z", "x", "-y", "-aoa", "-o" + reference, os.path.join(j.files, version["file"]))
        expected = tree_digests(os.path.join(reference, "SkyTrainer"))
    actual = {k: v for k, v in tree_digests(os.path.join(j.location, "SkyTrainer")).items()
              if not k.startswith("sandbox-game")}
    differ = sorted(k for k in set(expected) | set(actual) if expected.get(k) != actual.get(k))
    expect(not differ, "installed files missing, extra or different: %s" % differ[:10])


def wait_game(j, event, count=1):
    """The count-th entry of that event in the sandbox game's log, once it is there."""
    path = os.path.join(j.location, "SkyTrainer", "sandbox-game.log")

    def entries():
        lines = read(path).splitlines() if os.path.exists(path) else []
        return [e for e in map(json.loads, filter(str.strip, lines)) if e["event"] == event][count - 1:]
    return j.wait_for(entries, "the game's %s (%d)" % (event, count), 30)[0]


def configure_game(j, **config):
    write(os.path.join(j.location, "SkyTrainer", "sandbox-game.json"), config)


def game(j):
    step("the game: Start with the keyboard, and again with the mouse once the game has ended")
    j.close_window()
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
    pid = wait_game(j, "start", count=2)["pid"]
    wait_game(j, "received", count=3)
    code = j.close_window()
    expect(code == 0, "the launcher ended with %d when closed while the game ran:\n%s" % (code, j.log_tail()))
    j.wait_for(lambda: not os.path.exists("/proc/%d" % pid), "the game's end with the launcher's", 10)


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
    expect(code == 0 and os.path.exists(j.opened),
           "the setup was not handed to the desktop (exit %s):\n%s" % (code, j.log_tail()))
    setup = urllib.request.url2pathname(urllib.parse.urlparse(read(j.opened).strip()).path)
    newest = max(j.catalogue(None, launcher_update=True)["launchers"], key=lambda l: l["version"])
    expect(md5_of(setup) == newest["md5"], "the setup handed over (%s) is not the newest launcher's" % setup)


def desktop(j):
    step("the desktop: the window's icon without a window manager, and twice the size at Xft.dpi 192")

    def window():
        """The window's size and the sizes of its icon's pictures."""
        j.start()
        size = run("xdotool", "getwindowgeometry", j.window).decode().split("Geometry:")[1].split()[0]
        icons = set(re.findall(r"Icon \((\d+ x \d+)\)", run("xprop", "-id", j.window, "_NET_WM_ICON").decode()))
        j.kill9()
        return size, icons

    size, icons = window()
    expect(size == "1280x800" and {"16 x 16", "32 x 32", "48 x 48"} <= icons,
           "at 96 dpi the window is %s, its icon's pictures %s" % (size, sorted(icons)))
    run("xprop", "-root", "-f", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER", "Xft.dpi:\t192\n")
    try:
        size = window()[0]
        expect(size == "2560x1600", "at 192 dpi the window is %s, not 2560x1600" % size)
    finally:
        run("xprop", "-root", "-remove", "RESOURCE_MANAGER")


def check_logs(j):
    step("no QML warning in any of the launcher's logs")
    for name in sorted(n for n in os.listdir(j.work) if n.startswith("launcher-")):
        warnings = [line for line in read(os.path.join(j.work, name)).splitlines(True)
                    if "qrc:/" in line or "QQmlApplicationEngine" in line]
        expect(not warnings, "%s has QML warnings:\n%s" % (name, "".join(warnings[:10])))


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
        for each in steps + [check_logs]:
            each(j)
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
