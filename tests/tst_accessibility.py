#!/usr/bin/python3
"""The real launcher as a screen reader sees it: through the AT-SPI tree alone.

Starts AviroLauncher with a fresh profile against the sandbox (the journey's helpers) on an X server and a
session bus of its own, walks the tree on every page and dialog, and fails on an interactive element
without a name, with a wrong role or a wrong enabled state; and signs in, installs and starts the game
through AT-SPI actions (and keys sent through AT-SPI) only.

    tst_accessibility.py --bin BUILD/bin --catalogue BUILD/sandbox-catalogue --tools tests/tools
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tst_journey as journey  # noqa: E402


class A11yError(Exception):
    pass


def roles():
    """Roles a user acts on or reads a value from; each needs a name."""
    import pyatspi
    return {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TEXT,
            pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_LINK, pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_PROGRESS_BAR,
            pyatspi.ROLE_ENTRY}


def walk(node):
    """Every node under node that is showing, node included. A node that goes away while it is looked at
    (a popup closing) is not there."""
    import pyatspi
    from gi.repository import GLib
    try:
        if node is None or not node.getState().contains(pyatspi.STATE_SHOWING):
            return
        children = [node.getChildAtIndex(i) for i in range(node.childCount)]
    except GLib.Error:
        return
    yield node
    for child in children:
        yield from walk(child)


def enabled(node):
    import pyatspi
    states = node.getState()
    return states.contains(pyatspi.STATE_ENABLED) and states.contains(pyatspi.STATE_SENSITIVE)


class Reader:
    """The launcher's tree as an assistive technology reaches it."""

    def __init__(self, j):
        import pyatspi
        from gi.repository import GLib
        self.pyatspi = pyatspi
        self.GLib = GLib
        self.j = j
        self.app = None

    def find_app(self):
        desktop = self.pyatspi.Registry.getDesktop(0)
        deadline = time.time() + 8
        while time.time() < deadline:
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                if app is not None and app.get_process_id() == self.j.launcher.pid:
                    self.app = app
                    return True
            time.sleep(0.2)
        return False

    def nodes(self, root=None):
        return list(walk(root or self.app))

    def find(self, role, name=None, timeout=20, within=None):
        deadline = time.time() + timeout
        while time.time() < deadline:
            for node in self.nodes(within):
                try:
                    if node.getRole() == role and (name is None or node.name == name):
                        return node
                except self.GLib.Error:
                    continue
            time.sleep(0.2)
        raise A11yError("no %s named %r showing:\n%s" % (self.pyatspi.roleToString(role) if hasattr(
            self.pyatspi, "roleToString") else role, name, self.dump()))

    def dump(self):
        return "\n".join("%s %r %s" % (n.getRoleName(), n.name, "" if enabled(n) else "(disabled)")
                         for n in self.nodes())

    def check(self, where):
        """Every showing interactive element named, links as links, every showing dialog named."""
        p = self.pyatspi
        faults = []
        for node in self.nodes():
            role = node.getRole()
            label = "%s %s %r" % (where, node.getRoleName(), node.name)
            # A combo box's shown text is the combo's value, named by the combo.
            in_combo = node.parent is not None and node.parent.getRole() == p.ROLE_COMBO_BOX
            if role in roles() and not node.name.strip() and not in_combo:
                faults.append(label + ": no name")
            if role in (p.ROLE_LABEL, p.ROLE_STATIC) and node.getState().contains(p.STATE_FOCUSABLE):
                faults.append(label + ": takes the focus but is not a control (a link without its role?)")
            if role == p.ROLE_DIALOG and not node.name.strip():
                faults.append(label + ": a dialog without a name")
            if role == p.ROLE_PASSWORD_TEXT and "Text" in node.get_interfaces() and \
                    node.queryText().getText(0, -1):
                faults.append(label + ": the password's text is exposed")
            if role == p.ROLE_IMAGE and node.getState().contains(p.STATE_SHOWING) and not node.name.strip():
                faults.append(label + ": a picture without a text alternative")
        if faults:
            raise A11yError("\n".join(faults) + "\n" + self.dump())

    def act(self, node, action="Press"):
        actions = node.queryAction()
        for i in range(actions.nActions):
            if actions.getName(i) == action:
                actions.doAction(i)
                time.sleep(0.3)
                return
        raise A11yError("%s %r has no action %s" % (node.getRoleName(), node.name, action))

    def type(self, node, text):
        self.act(node, "SetFocus")
        self.pyatspi.Registry.generateKeyboardEvent(0, text, self.pyatspi.KEY_STRING)
        time.sleep(0.3)

    def key(self, keysym):
        self.pyatspi.Registry.generateKeyboardEvent(keysym, None, self.pyatspi.KEY_SYM)
        time.sleep(0.3)


def start(j, reader):
    """The launcher, once the registry knows it."""
    j.start("Welcome")
    if not reader.find_app():
        raise A11yError("the launcher never appeared in the AT-SPI registry:\n" + j.log_tail())


def scenario(j):
    p = __import__("pyatspi")
    reader = Reader(j)
    journey.step("the sign-in dialog")
    start(j, reader)
    j.wait_log("VomoAccountMng::GetVerifyCode")
    dialog = reader.find(p.ROLE_DIALOG, "Login")
    reader.check("sign-in")
    captcha = [n for n in reader.nodes() if n.getRole() == p.ROLE_IMAGE and "New code" in n.name]
    if not captcha:
        raise A11yError("the captcha has no text alternative naming its refresh:\n" + reader.dump())

    journey.step("a wrong code: its hint is the description of its field")
    code_field = reader.find(p.ROLE_TEXT, "Verification Code")
    no_hint = code_field.description
    reader.type(reader.find(p.ROLE_TEXT, "Email Address"), "pilot@example.com")
    password = reader.find(p.ROLE_PASSWORD_TEXT, "Password")
    reader.type(password, "secret")
    reader.check("sign-in, filled in")
    reader.type(code_field, "0000" if j.control("GET", "/captcha")["code"] != "0000" else "1111")
    reader.act(reader.find(p.ROLE_PUSH_BUTTON, "Login", within=dialog))
    j.wait_log("VomoAccountMng::GetVerifyCode", count=2)
    deadline = time.time() + 10
    while code_field.description == no_hint:
        if time.time() > deadline:
            raise A11yError("the wrong code's hint is not the description of its field")
        time.sleep(0.2)

    journey.step("signing in through AT-SPI")
    reader.act(code_field, "SetFocus")
    reader.key(0xFF57)  # End
    for _ in range(4):
        reader.key(0xFF08)  # BackSpace
    reader.type(code_field, j.control("GET", "/captcha")["code"])
    reader.act(reader.find(p.ROLE_PUSH_BUTTON, "Login", within=dialog))
    j.wait_page("Intall")
    reader.check("install page")

    journey.step("installing through AT-SPI: the account cannot change while it downloads")
    j.control("POST", "/faults", {"server": "files", "path": "/files/packages/*", "method": "GET",
                                  "throttle": 400000})
    reader.act(reader.find(p.ROLE_PUSH_BUTTON, "Install"))
    j.wait_page("Download")
    j.wait_log("Rate:")
    reader.check("download page")
    account = reader.find(p.ROLE_PUSH_BUTTON, "pilot@example.com")
    if enabled(account):
        raise A11yError("the account button reports itself enabled while the game downloads")
    bar = reader.find(p.ROLE_PROGRESS_BAR)
    value = bar.queryValue()
    if not value.minimumValue <= value.currentValue <= value.maximumValue or "%" not in bar.name:
        raise A11yError("the progress bar exposes %r and %s of %s..%s" % (
            bar.name, value.currentValue, value.minimumValue, value.maximumValue))
    j.control("DELETE", "/faults")
    j.wait_page("Run", 120)
    reader.check("run page")

    journey.step("the options menu, the settings and the release notes")
    reader.act(reader.find(p.ROLE_PUSH_BUTTON, "Option"))
    reader.check("options menu")
    reader.act(reader.find(p.ROLE_PUSH_BUTTON, "Settings"))
    reader.find(p.ROLE_DIALOG, "Settings")
    reader.check("settings")
    reader.key(0xFF1B)  # Escape
    reader.act(reader.find(p.ROLE_LINK, "Release Notes"))
    reader.find(p.ROLE_DIALOG, "Release Notes")
    reader.check("release notes")
    reader.key(0xFF1B)

    journey.step("Start through AT-SPI: it reports itself disabled while the game runs")
    with open(os.path.join(j.location, "SkyTrainer", "sandbox-game.json"), "w") as f:
        json.dump({"runMs": 4000}, f)
    start_button = reader.find(p.ROLE_PUSH_BUTTON, "Start")
    if not enabled(start_button):
        raise A11yError("Start reports itself disabled before the game runs")
    reader.act(start_button)
    j.wait_log("Start Program:")
    time.sleep(0.5)
    if enabled(start_button):
        raise A11yError("Start reports itself enabled while the game runs")
    journey.wait_game(j, "exit")

    journey.step("an error box is named by its title")
    j.kill9()
    j.control("POST", "/faults", {"server": "store", "path": "/api/v2/launcherversion", "status": 500})
    start(j, reader)
    reader.find(p.ROLE_DIALOG, "Error")
    reader.check("error box")
    j.control("DELETE", "/faults")


def start_xvfb():
    """An X server on a display whose lock and socket are both free. The display counts (through the
    accessibility bus's address it carries) and a lock that another run removed would let two servers share
    a number, so the socket is looked at too."""
    for number in range(100 + os.getpid() % 200, 400):
        if not os.path.exists("/tmp/.X%d-lock" % number) and not os.path.exists("/tmp/.X11-unix/X%d" % number):
            break
    server = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                              stderr=subprocess.DEVNULL)
    deadline = time.time() + 20
    while not os.path.exists("/tmp/.X11-unix/X%d" % number):
        if time.time() > deadline or server.poll() is not None:
            raise SystemExit("Xvfb did not start on :%d" % number)
        time.sleep(0.1)
    os.environ["DISPLAY"] = ":%d" % number
    os.environ.pop("XAUTHORITY", None)
    return server


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--catalogue", required=True)
    parser.add_argument("--tools", required=True)
    parser.add_argument("--on-bus", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if not args.on_bus:
        # The X server first, so that the session bus, and the AT-SPI registry it starts, know the display
        # the keys go to.
        server = start_xvfb()
        # The accessibility bus's socket is in the runtime folder (else one path in the home folder, shared
        # by every session of the user): one of our own.
        runtime = tempfile.mkdtemp(prefix="aviro-a11y-")
        os.environ["XDG_RUNTIME_DIR"] = runtime
        try:
            return subprocess.call(["dbus-run-session", "--", "/usr/bin/python3", os.path.abspath(__file__),
                                    "--on-bus"] + sys.argv[1:])
        finally:
            server.kill()
            server.wait()
            shutil.rmtree(runtime, ignore_errors=True)
    import pyatspi
    from gi.repository import Gio, GLib
    pyatspi.Registry.getDesktop(0)
    # What a screen reader does when it starts: programs started from now on serve their trees.
    session = Gio.bus_get_sync(Gio.BusType.SESSION)
    session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                      GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))),
                      None, 0, -1, None)
    # An X11 desktop also names the accessibility bus on the root window. Qt reads it there before anything
    # else; asked through the session bus alone, its bridge may talk to the accessibility bus before its
    # connection is up, and then never registers.
    address = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None, None, 0, -1,
                                None).unpack()[0]
    subprocess.run(["xprop", "-root", "-f", "AT_SPI_BUS", "8s", "-set", "AT_SPI_BUS", address], check=True)
    args.shots = None
    args.keep = False
    j = journey.Journey(args)
    # Installed where the install page proposes.
    j.location = os.path.join(j.home, "Games", "Aviro")
    try:
        shutil.copytree(os.path.join(j.catalogue_dir, "files"), j.files)
        with open(os.path.join(j.catalogue_dir, "catalogue.json")) as f:
            j.versions = json.load(f)["versions"]["SkyTrainer"]
        j.start_sandbox()
        j.write_profile()
        scenario(j)
        journey.check_logs(j)
    except (A11yError, journey.JourneyError) as error:
        print("FAIL:", error, flush=True)
        return 1
    finally:
        j.close()
    print("PASS: the launcher through AT-SPI", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
