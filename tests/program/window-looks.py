"""Helpers of the window-looks run of the program under a virtual X server without a window manager.

  same-outside A.png B.png [X Y W H]  the two screenshots are equal everywhere (outside the rectangle)
  wm-state WINDOW iconic|normal       sets the window's WM_STATE as a window manager does when it iconifies
                                      or restores the window

WM_STATE is written through Xlib."""
import ctypes
import sys

from screenshot import decode


def same_outside(first, second, hole):
    w1, h1, a = decode(first)
    w2, h2, b = decode(second)
    if (w1, h1) != (w2, h2):
        sys.exit(f"{first} and {second} differ in size")
    hx, hy, hw, hh = hole
    differing = 0
    box = None
    for y in range(h1):
        row = y * w1 * 3
        if a[row:row + w1 * 3] == b[row:row + w1 * 3]:
            continue
        for x in range(w1):
            if hx <= x < hx + hw and hy <= y < hy + hh:
                continue
            i = row + x * 3
            if a[i:i + 3] != b[i:i + 3]:
                differing += 1
                box = (x, y, x, y) if box is None else (min(box[0], x), min(box[1], y), max(box[2], x),
                                                         max(box[3], y))
    if differing:
        sys.exit(f"{second} differs from {first} in {differing} pixels, within {box}")


def wm_state(window, state):
    xlib = ctypes.CDLL("libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XInternAtom.restype = ctypes.c_ulong
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong,
                                     ctypes.c_int, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
    xlib.XFlush.argtypes = [ctypes.c_void_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = xlib.XOpenDisplay(None)
    if not display:
        sys.exit("no X display")
    atom = xlib.XInternAtom(display, b"WM_STATE", 0)
    # ICCCM: NormalState 1, IconicState 3; no icon window. Format 32 data is passed as C longs.
    data = (ctypes.c_long * 2)({"normal": 1, "iconic": 3}[state], 0)
    xlib.XChangeProperty(display, window, atom, atom, 32, 0, data, 2)
    xlib.XFlush(display)
    xlib.XCloseDisplay(display)


if sys.argv[1] == "same-outside":
    hole = tuple(int(v) for v in sys.argv[4:8]) if len(sys.argv) >= 8 else (0, 0, 0, 0)
    same_outside(sys.argv[2], sys.argv[3], hole)
elif sys.argv[1] == "wm-state":
    wm_state(int(sys.argv[2], 0), sys.argv[3])
else:
    sys.exit(f"unknown command {sys.argv[1]}")
