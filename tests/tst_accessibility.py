#!/usr/bin/python3
"""The real launcher as a screen reader sees it: through the AT-SPI tree alone.

Starts AviroLauncher with a fresh profile against the sandbox (the journey's helpers) on an X server and a
session bus of its own, walks the tree on every page and dialog, and fails on an interactive element
without a name, with a wrong role or a wrong enabled state; and signs in, installs and starts the game
through AT-SPI actions (and keys sent through AT-SPI) only.

    tst_accessibility.py --bin BUILD/bin --catalogue BUILD/sandbox-catalogue --tools tests/tools
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tst_journey as journey  # noqa: E402
from tst_journey import JourneyError  # noqa: E402

END, BACKSPACE, ESCAPE = 0xFF57, 0xFF08, 0xFF1B


class Reader:
    """The launcher's tree as an assistive technology reaches it."""

    def __init__(self, j):
        import pyatspi
        from gi.repository import GLib
        self.p, self.GLib, self.j, self.app = pyatspi, GLib, j, None
        # Roles a user acts on or reads a value from; each needs a name.
        self.named = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TEXT,
                      pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_LINK, pyatspi.ROLE_PAGE_TAB,
                      pyatspi.ROLE_PROGRESS_BAR, pyatspi.ROLE_ENTRY}

    def start(self):
        """The launcher, once the registry knows it."""
        self.j.start("Welcome")
        desktop = self.p.Registry.getDesktop(0)

        def registered():
            apps = [desktop.getChildAtIndex(i) for i in range(desktop.childCount)]
            return next((a for a in apps if a is not None and a.get_process_id() == self.j.launcher.pid), None)
        self.app = self.j.wait_for(registered, "the launcher in the AT-SPI registry", 8, 0.2)

    def walk(self, node):
        """Every node under node that is showing, node included. A node that goes away while it is looked at
        (a popup closing) is not there."""
        try:
            if node is None or not node.getState().contains(self.p.STATE_SHOWING):
                return
            children = [node.getChildAtIndex(i) for i in range(node.childCount)]
        except self.GLib.Error:
            return
        yield node
        for child in children:
            yield from self.walk(child)

    def nodes(self, root=None):
        return list(self.walk(root or self.app))

    def find(self, role, name=None, within=None):
        def matching(node):
            try:
                return node.getRole() == role and (name is None or node.name == name)
            except self.GLib.Error:
                return False
        return self.j.wait_for(lambda: next(filter(matching, self.nodes(within)), None),
                               "a showing %s named %r" % (role, name), 20, 0.2, self.dump)

    def enabled(self, node):
        return all(node.getState().contains(state) for state in (self.p.STATE_ENABLED, self.p.STATE_SENSITIVE))

    def dump(self):
        return "\n".join("%s %r %s" % (n.getRoleName(), n.name, "" if self.enabled(n) else "(disabled)")
                         for n in self.nodes())

    def expect(self, condition, fault):
        """A failure naming the fault, with the tree, unless the condition holds."""
        if not condition:
            raise JourneyError(fault + "\n" + self.dump())

    def check(self, where):
        """Every showing interactive element named, links as links, every showing dialog named."""
        p = self.p
        faults = []
        for node in self.nodes():
            role, unnamed = node.getRole(), not node.name.strip()
            # A combo box's shown text is the combo's value, named by the combo.
            in_combo = node.parent is not None and node.parent.getRole() == p.ROLE_COMBO_BOX
            faults += ["%s %s %r: %s" % (where, node.getRoleName(), node.name, fault) for broken, fault in (
                (role in self.named and unnamed and not in_combo, "no name"),
                (role in (p.ROLE_LABEL, p.ROLE_STATIC) and node.getState().contains(p.STATE_FOCUSABLE),
                 "takes the focus but is not a control (a link without its role?)"),
                (role == p.ROLE_DIALOG and unnamed, "a dialog without a name"),
                (role == p.ROLE_PASSWORD_TEXT and "Text" in node.get_interfaces() and node.queryText().getText(0, -1),
                 "the password's text is exposed"),
                (role == p.ROLE_IMAGE and unnamed, "a picture without a text alternative")) if broken]
        self.expect(not faults, "\n".join(faults))

    def act(self, node, action="Press"):
        actions = node.queryAction()
        index = next((i for i in range(actions.nActions) if actions.getName(i) == action), None)
        self.expect(index is not None, "%s %r has no action %s" % (node.getRoleName(), node.name, action))
        actions.doAction(index)
        time.sleep(0.3)

    def type(self, node, text):
        self.act(node, "SetFocus")
        self.p.Registry.generateKeyboardEvent(0, text, self.p.KEY_STRING)
        time.sleep(0.3)

    def key(self, *keysyms):
        for keysym in keysyms:
            self.p.Registry.generateKeyboardEvent(keysym, None, self.p.KEY_SYM)
            time.sleep(0.3)


def scenario(j):
    reader = Reader(j)
    p = reader.p
    journey.step("the sign-in dialog")
    reader.start()
    j.wait_log("VomoAccountMng::GetVerifyCode")
    dialog = reader.find(p.ROLE_DIALOG, "Login")
    reader.check("sign-in")
    reader.expect(any(n.getRole() == p.ROLE_IMAGE and "New code" in n.name for n in reader.nodes()),
                  "the captcha has no text alternative naming its refresh")

    journey.step("a wrong code: its hint is the description of its field")
    code_field = reader.find(p.ROLE_TEXT, "Verification Code")
    no_hint = code_field.description
    reader.type(reader.find(p.ROLE_TEXT, "Email Address"), "pilot@example.com")
    reader.type(reader.find(p.ROLE_PASSWORD_TEXT, "Password"), "secret")
    reader.check("sign-in, filled in")
    reader.type(code_field, "0000" if j.control("GET", "/captcha")["code"] != "0000" else "1111")
    reader.act(reader.find(p.ROLE_PUSH_BUTTON, "Login", within=dialog))
    j.wait_log("VomoAccountMng::GetVerifyCode", count=2)
    j.wait_for(lambda: code_field.description != no_hint, "the wrong code's hint as its field's description", 10)

    journey.step("signing in through AT-SPI")
    reader.act(code_field, "SetFocus")
    reader.key(END, *[BACKSPACE] * 4)
    reader.type(code_field, j.control("GET", "/captcha")["code"])
    reader.act(reader.find(p.ROLE_PUSH_BUTTON, "Login", within=dialog))
    j.wait_page("Intall")
    reader.check("install page")

    journey.step("installing through AT-SPI: the progress bar gives its value")
    j.control("POST", "/faults", {"server": "files", "path": "/files/packages/*", "method": "GET",
                                  "throttle": 400000})
    reader.act(reader.find(p.ROLE_PUSH_BUTTON, "Install"))
    j.wait_page("Download")
    j.wait_log("Rate:")
    reader.check("download page")
    bar = reader.find(p.ROLE_PROGRESS_BAR)
    value = bar.queryValue()
    reader.expect(value.minimumValue <= value.currentValue <= value.maximumValue and "%" in bar.name,
                  "the progress bar exposes %r and %s of %s..%s" % (
                      bar.name, value.currentValue, value.minimumValue, value.maximumValue))
    j.control("DELETE", "/faults")
    j.wait_page("Run", 120)
    reader.check("run page")

    journey.step("the options menu, the settings and the release notes")
    reader.act(reader.find(p.ROLE_PUSH_BUTTON, "Option"))
    reader.check("options menu")
    for role, name in ((p.ROLE_PUSH_BUTTON, "Settings"), (p.ROLE_LINK, "Release Notes")):
        reader.act(reader.find(role, name))
        reader.find(p.ROLE_DIALOG, name)
        reader.check(name)
        reader.key(ESCAPE)

    journey.step("Start through AT-SPI: it reports itself disabled while the game runs")
    journey.configure_game(j, runMs=4000)
    start_button = reader.find(p.ROLE_PUSH_BUTTON, "Start")
    reader.expect(reader.enabled(start_button), "Start reports itself disabled before the game runs")
    reader.act(start_button)
    j.wait_log("Start Program:")
    time.sleep(0.5)
    reader.expect(not reader.enabled(start_button), "Start reports itself enabled while the game runs")
    journey.wait_game(j, "exit")

    journey.step("an error box is named by its title")
    j.kill9()
    j.control("POST", "/faults", {"server": "store", "path": "/api/v2/launcherversion", "status": 500})
    reader.start()
    reader.find(p.ROLE_DIALOG, "Error")
    reader.check("error box")


def main():
    parser = journey.arguments(__doc__)
    parser.add_argument("--on-bus", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if not args.on_bus:
        # The X server first, so that the session bus, and the AT-SPI registry it starts, know the display the
        # keys go to. The accessibility bus's socket is in the runtime folder (else one path in the home
        # folder, shared by every session of the user): one of our own.
        with journey.xvfb(), tempfile.TemporaryDirectory(prefix="aviro-a11y-") as runtime:
            os.environ["XDG_RUNTIME_DIR"] = runtime
            return subprocess.call(["dbus-run-session", "--", "/usr/bin/python3", os.path.abspath(__file__),
                                    "--on-bus"] + sys.argv[1:])
    import pyatspi
    from gi.repository import Gio, GLib
    pyatspi.Registry.getDesktop(0)
    # What a screen reader does when it starts: programs started from now on serve their trees.
    session = Gio.bus_get_sync(Gio.BusType.SESSION)

    def a11y_bus(interface, method, parameters=None):
        return session.call_sync("org.a11y.Bus", "/org/a11y/bus", interface, method, parameters, None, 0, -1, None)
    a11y_bus("org.freedesktop.DBus.Properties", "Set",
             GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))))
    # An X11 desktop also names the accessibility bus on the root window. Qt reads it there before anything
    # else; asked through the session bus alone, its bridge may talk to the accessibility bus before its
    # connection is up, and then never registers.
    address = a11y_bus("org.a11y.Bus", "GetAddress").unpack()[0]
    subprocess.run(["xprop", "-root", "-f", "AT_SPI_BUS", "8s", "-set", "AT_SPI_BUS", address], check=True)
    j = journey.Journey(args)
    # Installed where the install page proposes.
    j.location = os.path.join(j.home, "Games", "Aviro")
    return journey.verdict(j, [journey.Journey.start_sandbox, scenario], "the launcher through AT-SPI")


if __name__ == "__main__":
    sys.exit(main())
