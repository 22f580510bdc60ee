#!/usr/bin/python3
"""The whole journey of a user, driven from outside the real launcher.

Starts AviroLauncher with a fresh profile against the sandbox servers and walks what a user does: sign-in,
installation into a chosen folder (killed with SIGKILL at random moments while it downloads and while it
extracts), settings, starting the sandbox game, an update, quitting while the game runs, a launcher update,
and the window on the desktop (its icon without a window manager, its size at 192 dpi). The launcher is reached only through the keyboard and mouse (xdotool), its profile, its log and the
sandbox's control port. Runs under an X server (xvfb-run gives one).

    tst_journey.py --bin BUILD/bin --catalogue BUILD/sandbox-catalogue --tools tests/tools [--keep] [--shots DIR]
"""
import argparse
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


class JourneyError(Exception):
    pass


def find_windows(*criteria):
    """The windows xdotool finds. A search that a window being made or destroyed meanwhile holds up (it
    waited for ever now and then) is cut short and counts as finding nothing, so the caller asks again."""
    try:
        return subprocess.run(["xdotool", "search", *criteria], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              text=True, timeout=5).stdout.split()
    except subprocess.TimeoutExpired:
        return []


def step(text):
    print("==", text, flush=True)


def md5_of(path):
    digest = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def tree_digests(root):
    """Relative path -> MD5 of every regular file under root."""
    result = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            result[os.path.relpath(path, root)] = md5_of(path)
    return result


def run(*args, **kwargs):
    return subprocess.run(args, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs).stdout


class Journey:
    def __init__(self, args):
        self.bin = os.path.abspath(args.bin)
        self.catalogue_dir = os.path.abspath(args.catalogue)
        self.tools = os.path.abspath(args.tools)
        self.shots = os.path.abspath(args.shots) if args.shots else None
        self.work = tempfile.mkdtemp(prefix="aviro-journey-")
        self.keep = args.keep
        self.home = os.path.join(self.work, "home")
        self.files = os.path.join(self.work, "files")
        self.location = os.path.join(self.home, "Flight Games")
        self.settings = os.path.join(self.home, "config", "VOMO", "Vomo Skyworks.ini")
        self.sandbox = None
        self.launcher = None
        self.window = None
        self.log_path = None
        self.starts = 0
        self.ports = {}

    # --- the served world -------------------------------------------------------------------------------------
    def make_packages(self):
        """Two versions of the game large enough to be interrupted: a full package and a patch, each with many
        small files (the extraction takes seconds) and the full one with a large file (the download does)."""
        shutil.copytree(os.path.join(self.catalogue_dir, "files"), self.files)
        base = os.path.join(self.work, "stage-base")
        os.makedirs(base)
        run("7z", "x", "-y", "-o" + base, os.path.join(self.files, "packages", "SkyTrainer_1_1_0_0.7z"))
        rng = random.Random(7)
        self.versions = []
        self.unpacked = {}

        def stage(version, ispatch, tiles, big_bytes):
            root = os.path.join(self.work, "stage-" + version)
            product = os.path.join(root, "SkyTrainer")
            if ispatch == 2:
                shutil.copytree(os.path.join(base, "SkyTrainer"), product)
            content = os.path.join(product, "SkyTrainer", "Content")
            os.makedirs(content, exist_ok=True)
            with open(os.path.join(content, "version.dat"), "w") as f:
                f.write('{"V": "%s", "P": "SkyTrainer"}\n' % version)
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
            with open(os.path.join(self.files, note), "w") as f:
                json.dump({"en": "Aviro %s\n- Journey build." % version, "zh-CN": "Aviro %s\n- 旅程版本。" % version}, f)
            return {"version": version, "ispatch": ispatch, "spaceDesc": "40 MB", "file": "packages/" + name,
                    "md5": md5_of(package), "note": note}

        self.versions = [stage("1.2.0.0", 2, 16000, 14 << 20), stage("1.2.1.0", 1, 14000, 6 << 20)]
        self.patch = stage("1.2.2.0", 1, 200, 256 << 10)
        shutil.rmtree(base)

    def catalogue(self, versions, launcher_update=False):
        with open(os.path.join(self.catalogue_dir,
                               "catalogue-update.json" if launcher_update else "catalogue.json")) as f:
            catalogue = json.load(f)
        catalogue["versions"]["SkyTrainer"] = versions
        catalogue["baseDir"] = self.work
        catalogue["filesDir"] = self.files
        return catalogue

    def start_sandbox(self):
        with open(os.path.join(self.work, "catalogue.json"), "w") as f:
            json.dump(self.catalogue(self.versions), f)
        ports = os.path.join(self.work, "ports.json")
        with open(ports, "w") as out, open(os.path.join(self.work, "sandbox.log"), "w") as err:
            self.sandbox = subprocess.Popen(
                [os.path.join(self.bin, "AviroSandbox"), "--state", os.path.join(self.work, "sandbox"),
                 "--catalogue", os.path.join(self.work, "catalogue.json"), "--any-port"], stdout=out, stderr=err)
        for _ in range(100):
            if os.path.getsize(ports) > 0:
                break
            time.sleep(0.1)
        with open(ports) as f:
            self.ports = json.loads(f.readline())

    def control(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.ports["control"] + path, data=data, method=method)
        with urllib.request.urlopen(request, timeout=10) as reply:
            return json.loads(reply.read() or b"null")

    def file_requests(self):
        return [r for r in self.control("GET", "/requests?server=files") if "/packages/" in r["path"]]

    # --- the launcher -----------------------------------------------------------------------------------------
    def write_profile(self):
        os.makedirs(os.path.dirname(self.settings), exist_ok=True)
        with open(self.settings, "w") as f:
            f.write("[Servers]\n")
            for key, name in (("Account", "account"), ("AccountWeb", "accountweb"), ("Store", "store"),
                              ("Statistics", "statistics"), ("Documents", "documents")):
                f.write("%s=%s\n" % (key, self.ports[name]))
            f.write("Faq=%s/faq\nCaCertificates=%s\n" % (self.ports["documents"], self.ports["ca"]))

    def launcher_env(self):
        env = dict(os.environ)
        runtime = os.path.join(self.work, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        # The desktop's opener is ours: it records what the launcher hands to it.
        opener = os.path.join(self.work, "opener")
        os.makedirs(opener, exist_ok=True)
        with open(os.path.join(opener, "xdg-open"), "w") as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s"\n' % os.path.join(self.work, "opened.txt"))
        os.chmod(os.path.join(opener, "xdg-open"), 0o755)
        env.update(HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, "config"), XDG_RUNTIME_DIR=runtime,
                   PATH=opener + os.pathsep + env.get("PATH", "/usr/bin:/bin"), QT_LOGGING_RULES="qt.qpa.*.debug=false")
        for name in ("QT_QPA_PLATFORM", "QT_QUICK_BACKEND"):
            env.pop(name, None)
        return env

    def start(self, page=None, attempts=3):
        """Starts the launcher and waits for its window (and page). An X server that refuses a connection
        now and then, on a busy machine, is asked again; the launcher itself gets no second chance."""
        for attempt in range(attempts):
            try:
                return self.start_once(page)
            except JourneyError:
                if attempt + 1 == attempts or "could not connect to display" not in self.log_text():
                    raise
                print("   the X server refused the launcher's connection; starting it again", flush=True)
                time.sleep(1)

    def start_once(self, page):
        self.starts += 1
        self.log_path = os.path.join(self.work, "launcher-%02d.log" % self.starts)
        with open(self.log_path, "w") as log:
            self.launcher = subprocess.Popen([os.path.join(self.bin, "AviroLauncher")], stdout=log,
                                             stderr=subprocess.STDOUT, env=self.launcher_env())
        deadline = time.time() + 20
        while time.time() < deadline:
            found = find_windows("--pid", str(self.launcher.pid), "--name", "Vomo Skyworks")
            if found:
                self.window = found[0]
                if page:
                    self.wait_page(page)
                return
            if self.launcher.poll() is not None:
                break
            time.sleep(0.1)
        raise JourneyError("the launcher did not open its window:\n" + self.log_tail())

    def wait_window(self, *names):
        """The first visible window of the launcher other than its main window whose title has one of names."""
        deadline = time.time() + 20
        while time.time() < deadline:
            for name in names:
                found = find_windows("--onlyvisible", "--pid", str(self.launcher.pid), "--name", name)
                found = [w for w in found if w != self.window]
                if found:
                    return found[0]
            time.sleep(0.1)
        raise JourneyError("no window named %s" % (names,))

    def log_text(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def log_tail(self, lines=25):
        return "\n".join(self.log_text().splitlines()[-lines:])

    def wait_log(self, text, timeout=LOG_TIMEOUT, count=1):
        deadline = time.time() + timeout
        while time.time() < deadline:
            log = self.log_text()
            if log.count(text) >= count:
                return log
            if "GlobalUiOp::showError" in log and "showError" not in text:
                raise JourneyError("the launcher shows an error while waiting for %r:\n%s" % (text, self.log_tail()))
            if self.launcher.poll() is not None:
                raise JourneyError("the launcher ended while waiting for %r:\n%s" % (text, self.log_tail()))
            time.sleep(0.05)
        raise JourneyError("timed out waiting for %r:\n%s" % (text, self.log_tail()))

    def wait_page(self, page, timeout=LOG_TIMEOUT):
        self.wait_log('LauncherOp::switchPage "%s"' % page, timeout)

    def key(self, *keys):
        run("xdotool", "windowfocus", "--sync", self.window, "key", "--delay", "60", *keys)
        time.sleep(0.3)

    def type(self, text):
        run("xdotool", "windowfocus", "--sync", self.window, "type", "--delay", "30", text)

    def click(self, x, y):
        run("xdotool", "mousemove", str(x), str(y), "sleep", "0.2", "click", "1")
        time.sleep(0.3)

    def shot(self, name):
        if self.shots:
            os.makedirs(self.shots, exist_ok=True)
            time.sleep(0.5)
            run("import", "-window", "root", "-quality", "85", os.path.join(self.shots, name + ".jpg"))

    def kill9(self):
        self.launcher.send_signal(signal.SIGKILL)
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
            for line in f:
                if line.startswith(key + "="):
                    return line.split("=", 1)[1].strip()
        return None

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

    def shows_color(self, area, color, tolerance=40):
        return any(near(p, color, tolerance) for p in self.pixels(*area))

    def bar_fill(self):
        """How much of the footer's progress bar is filled, 0 to 1, as the user sees it."""
        row = self.pixels(*PROGRESS_ROW)
        return sum(near(p, PROGRESS_COLOR, 60) for p in row) / len(row)


def near(pixel, color, tolerance):
    return all(abs(pixel[i] - color[i]) <= tolerance for i in range(3))


# The error hint's colour, and where the sign-in page shows the password's hint.
HINT_COLOR = (0xE9, 0x1E, 0x63)
PASSWORD_HINT_AREA = (490, 339, 300, 24)
# A row of pixels through the footer's progress bar, and the colour of its filled part.
PROGRESS_ROW = (342, 714, 588, 1)
PROGRESS_COLOR = (0x03, 0xA9, 0xF4)


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
    second = j.control("GET", "/captcha")
    if second["srandom"] == first["srandom"]:
        raise JourneyError("the captcha was not renewed after a failed sign-in")
    time.sleep(0.5)
    j.shot("02-signin-wrong")
    if not j.shows_color(PASSWORD_HINT_AREA, HINT_COLOR):
        raise JourneyError("no hint under the password after a wrong password")
    step("the right password and captcha sign in")
    j.key("shift+Tab", "ctrl+a")
    j.type("secret")
    j.key("Tab", "ctrl+a")
    j.type(second["code"])
    j.key("Return")
    j.wait_page("Intall")
    if j.stored("IS_AUTO_LOGIN") != "true":
        raise JourneyError("'Stay signed in' was not stored")


def choose_location(j):
    step("the install page: a folder of the user's choosing")
    os.makedirs(j.location)
    j.shot("03-install")
    # Install, then the link that changes the location.
    j.key("Tab", "Tab", "Tab", "Tab", "Return")
    dialog = j.wait_window("选择安装目录", "Select")
    j.shot("04-folder-dialog")
    # The dialog opens in the user's home folder: the folder's name alone chooses it.
    run("xdotool", "windowfocus", "--sync", dialog, "type", "--delay", "20", os.path.basename(j.location))
    run("xdotool", "windowfocus", "--sync", dialog, "key", "Return")
    # The dialog is modal: until it has gone, the main window takes no keys.
    deadline = time.time() + 20
    while dialog in find_windows("--onlyvisible", "--pid", str(j.launcher.pid)):
        if time.time() > deadline:
            raise JourneyError("the folder dialog did not close")
        time.sleep(0.1)
    time.sleep(0.3)
    j.shot("05-install-chosen")


def partial_sizes(j):
    """Bytes on disk of each package of the installation, by file name."""
    cache = os.path.join(j.location, "__DownloadCache__")
    sizes = {}
    for version in j.versions:
        name = os.path.basename(version["file"])
        path = os.path.join(cache, name)
        sizes[name] = os.path.getsize(path) if os.path.exists(path) else 0
    return sizes


def check_prefix(j, name, size):
    served = os.path.join(j.files, "packages", name)
    with open(served, "rb") as a, open(os.path.join(j.location, "__DownloadCache__", name), "rb") as b:
        if a.read(size) != b.read():
            raise JourneyError("%s on disk is not a prefix of the package (%d bytes)" % (name, size))


def download_with_kills(j):
    step("install: the download, killed %d times at random moments" % KILL_ROUNDS)
    j.control("DELETE", "/requests")
    j.control("POST", "/faults", {"server": "files", "path": "/files/packages/*", "method": "GET",
                                  "throttle": 3000000})
    total = sum(os.path.getsize(os.path.join(j.files, v["file"])) for v in j.versions)
    moments = sorted(random.sample(range(total // 20, total * 9 // 10), KILL_ROUNDS))
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
        deadline = time.time() + LOG_TIMEOUT
        while sum(partial_sizes(j).values()) < moment:
            if time.time() > deadline or "switchPage \"Setup\"" in j.log_text():
                raise JourneyError("the download did not reach byte %d:\n%s" % (moment, j.log_tail()))
            time.sleep(0.02)
        j.kill9()
        sizes = partial_sizes(j)
        print("   kill -9 at %d bytes: %s" % (sum(sizes.values()), sizes), flush=True)
        for name, size in sizes.items():
            if size:
                check_prefix(j, name, size)
        j.control("DELETE", "/requests")
        j.start("Download")
        # The interrupted package continues from its bytes on disk; the complete ones are not asked for again.
        interrupted = [n for n, size in sizes.items()
                       if 0 < size < os.path.getsize(os.path.join(j.files, "packages", n))]
        deadline = time.time() + LOG_TIMEOUT
        while not all(any(r["method"] == "GET" and r["path"].endswith("/" + n) for r in j.file_requests())
                      for n in interrupted):
            if time.time() > deadline:
                raise JourneyError("round %d: %s not asked for again:\n%s" % (round_, interrupted, j.log_tail()))
            time.sleep(0.05)
        for name, size in sizes.items():
            full = os.path.getsize(os.path.join(j.files, "packages", name))
            gets = [r for r in j.file_requests() if r["method"] == "GET" and r["path"].endswith("/" + name)]
            if 0 < size < full:
                expected = "bytes=%d-" % size
                if not gets or gets[0]["headers"].get("Range") != expected:
                    raise JourneyError("round %d: %s resumed with %s, not %s" % (
                        round_, name, [g["headers"].get("Range") for g in gets], expected))
            elif size == full and gets:
                raise JourneyError("round %d: the complete %s was downloaded again" % (round_, name))
    j.control("DELETE", "/faults")


def extractor_of(launcher_pid, package):
    """The launcher's extractor of that package, or None."""
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    arguments = f.read().decode(errors="replace")
            except OSError:
                continue
            if int(fields[1]) == launcher_pid and package in arguments:
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
    first_md5 = j.versions[0]["md5"]

    def extracting(name):
        return any("[Start Program]" in line and name in line for line in j.log_text().splitlines())

    fills = []
    first_done = False
    for round_ in range(1, KILL_ROUNDS + 1):
        # The first rounds interrupt the first package; the others the second one, once the first is done.
        target = first if round_ <= 2 and not first_done else second
        deadline = time.time() + LOG_TIMEOUT
        extractor = None
        while extractor is None:
            if time.time() > deadline or j.launcher.poll() is not None:
                raise JourneyError("the extraction of %s did not start:\n%s" % (target, j.log_tail()))
            if extracting(target):
                extractor = extractor_of(j.launcher.pid, target)
            time.sleep(0.01)
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
            try:
                os.kill(extractor, signal.SIGCONT)
            except ProcessLookupError:
                pass
        first_done = first_md5 in (j.stored("INSTALL_DONE_LIST") or "")
        print("   kill -9 at %d%% of extracting %s; first package done: %s"
              % (100 * moment / j.unpacked[target], target, first_done), flush=True)
        j.start("Setup")
    j.wait_page("Run", 120)
    if first_done and extracting(first):
        raise JourneyError("the extracted %s was extracted again" % first)
    print("   extraction progress seen: %s" % " ".join("%.2f" % f for f in fills), flush=True)
    if not any(0 < f < 1 for f in fills):
        raise JourneyError("the setup page showed no extraction progress")
    gets = [r["path"] for r in j.file_requests() if r["method"] == "GET"]
    if gets:
        raise JourneyError("packages downloaded again after the download had ended: %s" % gets)


def check_installation(j, versions):
    step("the installed files are those of the packages")
    reference = os.path.join(j.work, "reference")
    shutil.rmtree(reference, ignore_errors=True)
    for version in versions:
        run("7z", "x", "-y", "-aoa", "-o" + reference, os.path.join(j.files, version["file"]))
    expected = tree_digests(os.path.join(reference, "SkyTrainer"))
    actual = tree_digests(os.path.join(j.location, "SkyTrainer"))
    actual = {k: v for k, v in actual.items() if not k.startswith("sandbox-game")}
    if expected != actual:
        missing = sorted(set(expected) - set(actual))[:5]
        extra = sorted(set(actual) - set(expected))[:5]
        wrong = sorted(k for k in expected if k in actual and expected[k] != actual[k])[:5]
        raise JourneyError("installed files differ: missing %s, extra %s, different %s" % (missing, extra, wrong))
    shutil.rmtree(reference)


def game_log(j):
    path = os.path.join(j.location, "SkyTrainer", "sandbox-game.log")
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return [json.loads(line) for line in f if line.strip()]


def wait_game(j, event, count=1, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        found = [e for e in game_log(j) if e["event"] == event]
        if len(found) >= count:
            return found[count - 1]
        time.sleep(0.1)
    raise JourneyError("the game did not %s (%d):\n%s" % (event, count, j.log_tail()))


def wait_reports(j, predicate, what, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        reports = j.control("GET", "/reports")
        if predicate(reports):
            return reports
        time.sleep(0.2)
    raise JourneyError("the statistics server has not recorded %s: %s" % (what, json.dumps(reports)[:2000]))


def events(reports):
    """The events of every report that the statistics server could verify and decode."""
    for report in reports:
        if report.get("signValid") and report.get("decoded"):
            batch = report["events"]
            yield from batch if isinstance(batch, list) else [batch]


def online_states(reports):
    return [e["eventValue"]["onlineState"] for e in events(reports)
            if isinstance(e, dict) and isinstance(e.get("eventValue"), dict) and "onlineState" in e["eventValue"]]


def settings_and_game(j):
    step("the settings: image quality, window mode and language")
    j.close_window()
    j.wait_exit()
    j.start("Run")
    j.wait_log('Get Version:  "%s"' % j.versions[-1]["version"])
    j.shot("08-run")
    j.control("DELETE", "/reports")
    # Option, which opens its menu on Settings; in the dialog each combo takes the focus in turn and the
    # arrows choose.
    j.key("Tab", "Tab", "Return")
    j.key("Return")
    time.sleep(0.5)
    j.key("Tab", "Down", "Tab", "Down", "Down", "Down", "Down", "Tab", "Tab", "Down", "Down")
    j.shot("09-settings")
    j.key("Escape")
    step("Start: the game gets exactly those settings, reports, and ends")
    with open(os.path.join(j.location, "SkyTrainer", "sandbox-game.json"), "w") as f:
        json.dump({"runMs": 2000, "report": [{"type": "JourneyFlight", "minutes": 42}]}, f)
    # The closed dialog gave the focus back to Option; Start is next.
    j.key("Tab", "Return")
    j.wait_log("Start Program:")
    reply = next(e["data"] for e in iter(lambda: wait_game(j, "received"), None)
                 if e["data"].get("cmd") == "settingReq")
    wanted = {"imageQuality": 3, "windowMode": 2, "language": "zh-CN"}
    got = {k: reply.get(k) for k in wanted}
    if got != wanted:
        raise JourneyError("the game got the settings %s, not %s" % (got, wanted))
    wait_game(j, "exit")
    reports = wait_reports(j, lambda r: online_states(r) == [True, False] and "JourneyFlight" in json.dumps(r),
                           "the online/offline pair and the game's report")
    flight = [e for e in events(reports) if e.get("type") == "JourneyFlight"]
    stamp = {"appCode": "SkyTrainer", "appVer": j.versions[-1]["version"], "userAccount": "pilot@example.com"}
    if len(flight) != 1 or any(flight[0].get(k) != v for k, v in stamp.items()) or flight[0].get("minutes") != 42:
        raise JourneyError("the game's report was not recorded once with its stamp: %s" % flight)
    return reports


def quit_while_game_runs(j):
    step("Start is enabled again; quitting the launcher while the game runs")
    with open(os.path.join(j.location, "SkyTrainer", "sandbox-game.json"), "w") as f:
        json.dump({"runMs": 120000}, f)
    j.control("DELETE", "/reports")
    time.sleep(1)
    j.click(*SCREEN_MAIN_BUTTON)
    game = wait_game(j, "start", count=2)
    wait_game(j, "received", count=3)
    j.close_window()
    code = j.wait_exit()
    if code != 0:
        raise JourneyError("the launcher ended with %d when closed while the game ran:\n%s" % (code, j.log_tail()))
    deadline = time.time() + 10
    while os.path.exists("/proc/%d" % game["pid"]) and time.time() < deadline:
        time.sleep(0.1)
    if os.path.exists("/proc/%d" % game["pid"]):
        raise JourneyError("the game still runs after the launcher ended")
    if False not in online_states(j.control("GET", "/reports")) and \
            "no answer before the launcher's end" not in j.log_text():
        raise JourneyError("the offline report was neither sent nor logged as failed:\n" + j.log_tail())


def update(j):
    step("a newer patch in the store: Update downloads only the patch and ends on Run")
    catalogue = j.catalogue(j.versions + [j.patch])
    j.control("POST", "/catalogue", catalogue)
    j.control("DELETE", "/requests")
    j.start("Update")
    j.shot("10-update")
    j.click(*SCREEN_MAIN_BUTTON)
    j.wait_page("Run", 120)
    gets = sorted({r["path"] for r in j.file_requests() if r["method"] == "GET"})
    if gets != ["/" + j.patch["file"].replace("packages/", "files/packages/")]:
        raise JourneyError("the update downloaded %s" % gets)
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
    newest = max(j.catalogue([], launcher_update=True)["launchers"], key=lambda l: l["version"])
    if md5_of(setup) != newest["md5"]:
        raise JourneyError("the setup handed over (%s) is not the newest launcher's" % setup)


def window_size(j):
    geometry = run("xdotool", "getwindowgeometry", j.window).decode()
    return geometry.split("Geometry:")[1].split()[0]


def desktop(j):
    step("the desktop: the window's icon without a window manager, and twice the size at Xft.dpi 192")
    from Xlib import Xatom, display
    j.start()
    icons = run("xprop", "-id", j.window, "_NET_WM_ICON").decode()
    for size in (16, 32, 48):
        if "Icon (%d x %d)" % (size, size) not in icons:
            raise JourneyError("the window's icon has no %dx%d picture:\n%s" % (size, size, icons[:200]))
    if window_size(j) != "1280x800":
        raise JourneyError("at 96 dpi the window is %s" % window_size(j))
    j.kill9()
    # Held open while the launcher starts: the X server forgets the root's properties when its last client goes.
    x = display.Display()
    resources = x.intern_atom("RESOURCE_MANAGER")
    x.screen().root.change_property(resources, Xatom.STRING, 8, b"Xft.dpi:\t192\n")
    x.sync()
    try:
        j.start()
        if window_size(j) != "2560x1600":
            raise JourneyError("at 192 dpi the window is %s, not 2560x1600" % window_size(j))
        j.kill9()
    finally:
        x.screen().root.delete_property(resources)
        x.close()


def check_logs(j):
    step("no QML warning in any of the launcher's logs")
    for name in sorted(os.listdir(j.work)):
        if name.startswith("launcher-"):
            with open(os.path.join(j.work, name), errors="replace") as f:
                warnings = [line for line in f if "qrc:/" in line or "QQmlApplicationEngine" in line]
            if warnings:
                raise JourneyError("%s has QML warnings:\n%s" % (name, "".join(warnings[:10])))


def start_xvfb():
    """An X server on a display number it picks itself, so that runs beside others never share one."""
    read, write = os.pipe()
    log = open(os.path.join(tempfile.gettempdir(), "aviro-journey-xvfb-%d.log" % os.getpid()), "w")
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                              pass_fds=(write,), stderr=log)
    os.close(write)
    with os.fdopen(read) as f:
        display = f.readline().strip()
    if not display:
        raise SystemExit("Xvfb did not start")
    os.environ["DISPLAY"] = ":" + display
    os.environ.pop("XAUTHORITY", None)
    return server


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--catalogue", required=True)
    parser.add_argument("--tools", required=True)
    parser.add_argument("--shots")
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("--xvfb", action="store_true", help="run on an X server of its own (Xvfb)")
    args = parser.parse_args()
    server = start_xvfb() if args.xvfb else None
    j = Journey(args)
    try:
        step("making the packages and starting the sandbox")
        j.make_packages()
        j.start_sandbox()
        j.write_profile()
        sign_in(j)
        choose_location(j)
        download_with_kills(j)
        extraction_with_kills(j)
        check_installation(j, j.versions)
        settings_and_game(j)
        quit_while_game_runs(j)
        update(j)
        launcher_update(j)
        desktop(j)
        check_logs(j)
    except Exception as error:
        print("FAIL:", error, flush=True)
        if not isinstance(error, JourneyError):
            raise
        return 1
    finally:
        j.close()
        if server:
            server.kill()
            server.wait()
    print("PASS: the journey", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
