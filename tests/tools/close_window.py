#!/usr/bin/python3
"""Asks an X11 window to close, as a window manager's close button does (WM_DELETE_WINDOW).

    close_window.py WINDOW_ID
"""
import contextlib
import sys

from Xlib import X, display
from Xlib.protocol import event
from Xlib.support import unix_connect

by_path = unix_connect.get_socket


def like_xcb(dname, protocol, host, dno):
    """Connects as the launcher's X library does: the abstract socket first, the file system's after. X servers in
    other network namespaces may use the same display number; only the abstract socket is the launcher's own."""
    if not host or host == "unix":
        with contextlib.suppress(OSError):
            return unix_connect._get_unix_socket("\0/tmp/.X11-unix/X%d" % dno)
    return by_path(dname, protocol, host, dno)


unix_connect.get_socket = like_xcb


if len(sys.argv) != 2:
    sys.exit(__doc__)
dpy = display.Display()
window = dpy.create_resource_object("window", int(sys.argv[1], 0))
window.send_event(event.ClientMessage(window=window, client_type=dpy.intern_atom("WM_PROTOCOLS"),
                                      data=(32, [dpy.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0])),
                  event_mask=X.NoEventMask)
# A round trip, so that the server has handled the request before this client goes (its end closes the
# connection).
dpy.sync()
