#!/usr/bin/env python3
"""A desktop panel for the end-to-end check: a dock window along the bottom of the screen that
reserves its height with _NET_WM_STRUT_PARTIAL, so that the window manager's available area is
smaller than the screen, as under a desktop's task bar. Runs until it is killed.

    panel.py HEIGHT
"""
import ctypes
import ctypes.util
import signal
import sys
import time

x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XDefaultScreen.argtypes = [ctypes.c_void_p]
x11.XDisplayWidth.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XCreateSimpleWindow.restype = ctypes.c_ulong
x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                    ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong,
                                    ctypes.c_ulong]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong,
                                ctypes.c_int, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
x11.XMapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XFlush.argtypes = [ctypes.c_void_p]

XA_ATOM, XA_CARDINAL, PROP_MODE_REPLACE = 4, 6, 0


def main():
    height = int(sys.argv[1]) if len(sys.argv) > 1 else 32
    display = x11.XOpenDisplay(None)
    if not display:
        print("panel: no display", file=sys.stderr)
        return 1
    screen = x11.XDefaultScreen(display)
    width, screen_height = x11.XDisplayWidth(display, screen), x11.XDisplayHeight(display, screen)
    window = x11.XCreateSimpleWindow(display, x11.XDefaultRootWindow(display), 0, screen_height - height,
                                     width, height, 0, 0, 0x303030)
    atom = lambda name: x11.XInternAtom(display, name.encode(), 0)
    dock = (ctypes.c_ulong * 1)(atom("_NET_WM_WINDOW_TYPE_DOCK"))
    x11.XChangeProperty(display, window, atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PROP_MODE_REPLACE,
                        dock, 1)
    # left, right, top, bottom, then the start and end of each along its edge.
    strut = (ctypes.c_ulong * 12)(0, 0, 0, height, 0, 0, 0, 0, 0, 0, 0, width - 1)
    x11.XChangeProperty(display, window, atom("_NET_WM_STRUT_PARTIAL"), XA_CARDINAL, 32,
                        PROP_MODE_REPLACE, strut, 12)
    x11.XChangeProperty(display, window, atom("_NET_WM_STRUT"), XA_CARDINAL, 32, PROP_MODE_REPLACE,
                        strut, 4)
    # Placed where it asks to be, at the bottom, rather than where the window manager would put it.
    hints = (ctypes.c_ulong * 18)(1 | 2 | 4 | 8, 0, screen_height - height, width, height)
    x11.XChangeProperty(display, window, atom("WM_NORMAL_HINTS"), atom("WM_SIZE_HINTS"), 32,
                        PROP_MODE_REPLACE, hints, 18)
    x11.XMapWindow(display, window)
    x11.XFlush(display)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    while True:
        time.sleep(3600)


if __name__ == "__main__":
    sys.exit(main())
