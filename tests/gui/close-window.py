#!/usr/bin/env python3
"""Asks every top-level window of the X display whose title starts with TITLE to close, as a window manager does when its
close button is pressed: a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW.
   close-window.py TITLE
Prints the number of windows it asked; exit 1 (and the windows there are) when none has that title."""
import ctypes
import subprocess
import sys

title = sys.argv[1]
tree = subprocess.run(['xwininfo', '-root', '-children'], capture_output=True, text=True, check=True).stdout
ids = [int(line.split()[0], 16) for line in tree.splitlines()
       if line.strip().startswith('0x') and (f'"{title}"' in line or f'"{title} ' in line)]
if not ids:
    print(0)
    print(tree)
    sys.exit(1)

x = ctypes.CDLL('libX11.so.6')
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]


class ClientMessage(ctypes.Structure):
    _fields_ = [('type', ctypes.c_int), ('serial', ctypes.c_ulong), ('send_event', ctypes.c_int),
                ('display', ctypes.c_void_p), ('window', ctypes.c_ulong), ('message_type', ctypes.c_ulong),
                ('format', ctypes.c_int), ('data', ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [('xclient', ClientMessage), ('pad', ctypes.c_long * 24)]


x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(XEvent)]
x.XFlush.argtypes = [ctypes.c_void_p]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
display = x.XOpenDisplay(None)
if not display:
    sys.exit('no X display')
protocols = x.XInternAtom(display, b'WM_PROTOCOLS', 0)
delete = x.XInternAtom(display, b'WM_DELETE_WINDOW', 0)
for window in ids:
    e = XEvent()
    e.xclient.type = 33  # ClientMessage
    e.xclient.window = window
    e.xclient.message_type = protocols
    e.xclient.format = 32
    e.xclient.data[0] = delete
    e.xclient.data[1] = 0  # CurrentTime
    x.XSendEvent(display, window, 0, 0, ctypes.byref(e))
x.XFlush(display)
x.XCloseDisplay(display)
print(len(ids))
