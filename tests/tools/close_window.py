#!/usr/bin/python3
"""Asks an X11 window to close, as a window manager's close button does (WM_DELETE_WINDOW).

    close_window.py WINDOW_ID
"""
import sys

from Xlib import X, display
from Xlib.protocol import event


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    dpy = display.Display()
    window = dpy.create_resource_object("window", int(sys.argv[1], 0))
    protocols = dpy.intern_atom("WM_PROTOCOLS")
    delete = dpy.intern_atom("WM_DELETE_WINDOW")
    message = event.ClientMessage(window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(message, event_mask=X.NoEventMask)
    dpy.flush()


if __name__ == "__main__":
    main()
