#!/usr/bin/python3
"""Asks an X11 window to close, as a window manager's close button does (WM_DELETE_WINDOW).

    close_window.py WINDOW_ID
"""
import sys

from Xlib import X, display
from Xlib.protocol import event
from Xlib.support import unix_connect


def _like_xcb(get_socket):
    """Connects as the launcher's X library does: the abstract socket first, the file system's after. X servers in
    other network namespaces may use the same display number; only the abstract socket is the launcher's own."""
    def connect(dname, protocol, host, dno):
        if not host or host == "unix":
            try:
                return unix_connect._get_unix_socket("\0/tmp/.X11-unix/X%d" % dno)
            except OSError:
                pass
        return get_socket(dname, protocol, host, dno)
    return connect


unix_connect.get_socket = _like_xcb(unix_connect.get_socket)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    dpy = display.Display()
    window = dpy.create_resource_object("window", int(sys.argv[1], 0))
    protocols = dpy.intern_atom("WM_PROTOCOLS")
    delete = dpy.intern_atom("WM_DELETE_WINDOW")
    message = event.ClientMessage(window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(message, event_mask=X.NoEventMask)
    # A round trip, so that the server has handled the request before this client goes.
    dpy.sync()
    dpy.close()


if __name__ == "__main__":
    main()
