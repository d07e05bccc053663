# Drops files on an X window the way a file manager does (the XDND protocol):
# Wine turns the drop into WM_DROPFILES for a window that accepts files.
import ctypes as C
import time
import urllib.parse

X = C.CDLL("libX11.so.6")
P, L, I = C.c_void_p, C.c_ulong, C.c_int
for name, res, args in [("XOpenDisplay", P, [P]), ("XInternAtom", L, [P, C.c_char_p, I]),
                        ("XDefaultRootWindow", L, [P]),
                        ("XCreateSimpleWindow", L, [P, L, I, I, I, I, I, L, L]),
                        ("XSetSelectionOwner", I, [P, L, L, L]), ("XSendEvent", I, [P, L, I, L, P]),
                        ("XChangeProperty", I, [P, L, L, L, I, I, C.c_char_p, I]),
                        ("XPending", I, [P]), ("XNextEvent", I, [P, P]), ("XFlush", I, [P]),
                        ("XCloseDisplay", I, [P])]:
    getattr(X, name).restype, getattr(X, name).argtypes = res, args

# An XEvent as 24 longs. Every kind starts with type, serial, send_event and
# display; then a client message has window, message type, format and five
# longs of data; a selection request owner, requestor, selection, target,
# property and time; a selection notice the same without the owner.
CLIENT_MESSAGE, SELECTION_REQUEST, SELECTION_NOTIFY = 33, 30, 31


def drop(window, x, y, paths, timeout=20.0):
    """Drops the Linux paths at root position (x, y) on the X window; True once
    the target has said it finished."""
    dpy = X.XOpenDisplay(None)
    atom = lambda name: X.XInternAtom(dpy, name.encode(), 0)
    uris = "".join("file://" + urllib.parse.quote(p) + "\r\n" for p in paths).encode()
    src = X.XCreateSimpleWindow(dpy, X.XDefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0)
    X.XSetSelectionOwner(dpy, atom("XdndSelection"), src, 0)

    def send(to, event):
        X.XSendEvent(dpy, to, 0, 0, (C.c_long * 24)(*event))
        X.XFlush(dpy)

    def message(kind, *data):  # format 32
        send(window, [CLIENT_MESSAGE, 0, 0, 0, window, atom(kind), 32, *data])

    message("XdndEnter", src, 5 << 24, atom("text/uri-list"))
    message("XdndPosition", src, 0, (x << 16) | y, 0, atom("XdndActionCopy"))
    event, deadline, dropped = (C.c_long * 24)(), time.time() + timeout, False
    while time.time() < deadline:
        if not X.XPending(dpy):
            time.sleep(0.002)
            continue
        X.XNextEvent(dpy, event)
        kind = event[0] & 0xFFFFFFFF  # the int type, without the padding after it
        if kind == SELECTION_REQUEST:  # the target asks for the names
            requestor, selection, target, prop, when = event[5:10]
            X.XChangeProperty(dpy, requestor, prop, target, 8, 0, uris, len(uris))
            send(requestor, [SELECTION_NOTIFY, 0, 0, 0, requestor, selection, target, prop, when])
        elif kind == CLIENT_MESSAGE and event[5] == atom("XdndStatus") and not dropped:
            message("XdndDrop", src, 0, 0)
            dropped = True
        elif kind == CLIENT_MESSAGE and event[5] == atom("XdndFinished"):
            break
    else:
        dropped = False
    X.XCloseDisplay(dpy)
    return dropped
