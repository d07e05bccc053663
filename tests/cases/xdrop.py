"""Drops files on an X window the way a file manager does (the XDND protocol):
Wine turns the drop into WM_DROPFILES for a window that accepts files."""
import ctypes as C
import time
import urllib.parse

X = C.CDLL("libX11.so.6")
X.XOpenDisplay.restype = C.c_void_p
X.XInternAtom.restype = C.c_ulong
X.XDefaultRootWindow.restype = C.c_ulong
X.XCreateSimpleWindow.restype = C.c_ulong
X.XInternAtom.argtypes = [C.c_void_p, C.c_char_p, C.c_int]
X.XCreateSimpleWindow.argtypes = [C.c_void_p, C.c_ulong] + [C.c_int] * 4 + [C.c_uint] + [C.c_ulong] * 2
X.XSetSelectionOwner.argtypes = [C.c_void_p, C.c_ulong, C.c_ulong, C.c_ulong]
X.XSendEvent.argtypes = [C.c_void_p, C.c_ulong, C.c_int, C.c_long, C.c_void_p]
X.XChangeProperty.argtypes = [C.c_void_p, C.c_ulong, C.c_ulong, C.c_ulong, C.c_int, C.c_int,
                              C.c_char_p, C.c_int]
X.XPending.argtypes = X.XFlush.argtypes = X.XCloseDisplay.argtypes = [C.c_void_p]
X.XDefaultRootWindow.argtypes = [C.c_void_p]
X.XNextEvent.argtypes = [C.c_void_p, C.c_void_p]

CLIENT_MESSAGE, SELECTION_REQUEST, SELECTION_NOTIFY = 33, 30, 31


class ClientMessage(C.Structure):
    _fields_ = [("type", C.c_int), ("serial", C.c_ulong), ("send_event", C.c_int),
                ("display", C.c_void_p), ("window", C.c_ulong), ("message_type", C.c_ulong),
                ("format", C.c_int), ("l", C.c_long * 5)]


class SelectionRequest(C.Structure):
    _fields_ = [("type", C.c_int), ("serial", C.c_ulong), ("send_event", C.c_int),
                ("display", C.c_void_p), ("owner", C.c_ulong), ("requestor", C.c_ulong),
                ("selection", C.c_ulong), ("target", C.c_ulong), ("property", C.c_ulong),
                ("time", C.c_ulong)]


class SelectionNotify(C.Structure):
    _fields_ = [("type", C.c_int), ("serial", C.c_ulong), ("send_event", C.c_int),
                ("display", C.c_void_p), ("requestor", C.c_ulong), ("selection", C.c_ulong),
                ("target", C.c_ulong), ("property", C.c_ulong), ("time", C.c_ulong)]


def drop(window, x, y, paths, timeout=20.0):
    """Drops the Linux paths at root position (x, y) on the X window; True once
    the target has said it finished."""
    dpy = C.c_void_p(X.XOpenDisplay(None))
    atom = lambda name: X.XInternAtom(dpy, name.encode(), 0)
    uris = "".join("file://" + urllib.parse.quote(p) + "\r\n" for p in paths).encode()
    src = X.XCreateSimpleWindow(dpy, X.XDefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0)
    X.XSetSelectionOwner(dpy, atom("XdndSelection"), src, 0)

    def send(kind, *l):
        ev = ClientMessage(type=CLIENT_MESSAGE, window=window, message_type=atom(kind), format=32)
        ev.l[:len(l)] = l
        X.XSendEvent(dpy, window, 0, 0, C.byref(ev))
        X.XFlush(dpy)

    send("XdndEnter", src, 5 << 24, atom("text/uri-list"))
    send("XdndPosition", src, 0, (x << 16) | y, 0, atom("XdndActionCopy"))
    event, deadline, dropped = (C.c_long * 24)(), time.time() + timeout, False
    while time.time() < deadline:
        if not X.XPending(dpy):
            time.sleep(0.002)
            continue
        X.XNextEvent(dpy, event)
        kind = event[0] & 0xFFFFFFFF  # the int type, without the padding after it
        if kind == SELECTION_REQUEST:  # the target asks for the names
            req = SelectionRequest.from_buffer(event)
            X.XChangeProperty(dpy, req.requestor, req.property, req.target, 8, 0, uris, len(uris))
            note = SelectionNotify(type=SELECTION_NOTIFY, requestor=req.requestor,
                                   selection=req.selection, target=req.target,
                                   property=req.property, time=req.time)
            X.XSendEvent(dpy, req.requestor, 0, 0, C.byref(note))
            X.XFlush(dpy)
        elif kind == CLIENT_MESSAGE:
            msg = ClientMessage.from_buffer(event)
            if msg.message_type == atom("XdndStatus") and not dropped:
                send("XdndDrop", src, 0, 0)
                dropped = True
            elif msg.message_type == atom("XdndFinished"):
                break
    else:
        dropped = False
    X.XCloseDisplay(dpy)
    return dropped
