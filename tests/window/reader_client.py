# A screen reader's view of the running app, through the accessibility bus.
#   reader_client.py service            a loopback chat service; prints its port
#   reader_client.py walk SECONDS       walks the whole tree again and again
#   reader_client.py check main|menu|settings
#                                       the named window's controls, against the
#                                       rules below; prints each failure
#   reader_client.py dump main|settings what a reader hears: role, name, states
#   reader_client.py point ROLE NAME    the screen point at the middle of the
#                                       main window's first showing ROLE NAME
#   reader_client.py await ROLE NAME    waits (up to 15 s) until it shows
#   reader_client.py gone ROLE NAME     waits (up to 15 s) until it no longer shows
#   reader_client.py holds NAME TEXT    waits (up to 15 s) until the text field
#                                       NAME holds TEXT
# The waits grow by MOONSHELF_TEST_TIME_SCALE (a sanitized build's factor).
import http.server
import os
import itertools
import json
import socketserver
import sys
import time

APP = "Moonshelf Mac"
WINDOWS = {"main": "Moonshelf Mac", "menu": "Moonshelf Mac", "settings": "Settings"}
# Roles a person acts on; each must carry a name.
CONTROLS = {"push button", "toggle button", "check box", "radio button", "text", "password text", "slider",
            "spin button", "combo box", "menu item", "list item", "page tab", "link"}


def service():
    # Odd requests fail with a 500 (the error sheet); even ones ask to write a
    # file (the approval card), so a denial brings the next failure.
    counter = itertools.count()

    def event(obj):
        return b"data: " + json.dumps(obj).encode() + b"\n\n"

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_POST(self):
            self.rfile.read(int(self.headers.get("Content-Length", 0)))
            n = next(counter)
            if n % 2 == 0:
                self.reply(500, "application/json", json.dumps({"error": {"message": "scripted failure"}}).encode())
                return
            call = {"index": 0, "id": "call_%d" % n, "type": "function",
                    "function": {"name": "write_file", "arguments": ""}}
            args = json.dumps({"path": "notes.txt", "content": "hello\n"})
            body = event({"choices": [{"index": 0, "delta": {"tool_calls": [call]}}]})
            body += event({"choices": [{"index": 0, "delta": {"tool_calls": [{"index": 0, "function": {"arguments": args}}]}}]})
            body += event({"choices": [{"index": 0, "delta": {}, "finish_reason": "tool_calls"}]})
            body += b"data: [DONE]\n\n"
            self.reply(200, "text/event-stream", body)

        def reply(self, status, kind, body):
            self.send_response(status)
            self.send_header("Content-Type", kind)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

    class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
        daemon_threads = True

    server = Server(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


def application(pyatspi, wait=20.0):
    deadline = time.time() + wait
    while time.time() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is not None and app.name == APP:
                    return app
            except Exception:
                pass
        time.sleep(0.1)
    return None


def nodes(acc, depth=0):
    # Depth first; a node that went away while being read is skipped, as a
    # reader would.
    try:
        count = acc.childCount
    except Exception:
        return
    yield acc, depth
    for i in range(count):
        try:
            child = acc.getChildAtIndex(i)
        except Exception:
            continue
        if child is not None:
            yield from nodes(child, depth + 1)


def states(pyatspi, acc):
    return {pyatspi.stateToString(s) for s in acc.getState().getStates()}


def window(pyatspi, which):
    app = application(pyatspi)
    if app is None:
        return None
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w is not None and w.name == WINDOWS[which] and "showing" in states(pyatspi, w):
            return w
    return None


def walk(seconds):
    import pyatspi
    import signal
    deadline = time.time() + seconds
    walks = 0

    def stop(*_):
        print("walks %d" % walks, file=sys.stderr)
        sys.exit(0)
    signal.signal(signal.SIGTERM, stop)
    while time.time() < deadline:
        app = application(pyatspi, 2)
        if app is not None:
            for acc, _ in nodes(app):
                try:
                    acc.name, acc.getRoleName(), acc.getState()
                except Exception:
                    pass
            walks += 1
    print("walks %d" % walks, file=sys.stderr)


def children(acc):
    return [acc.getChildAtIndex(i) for i in range(acc.childCount)]


def find(tree, role, name):
    return [acc for acc, _ in tree if acc.getRoleName() == role and acc.name == name]


def check(which):
    import pyatspi
    w = window(pyatspi, which)
    if w is None:
        print("FAIL: no %s window in the tree" % which)
        return 1
    tree = list(nodes(w))
    failures = []
    shown = [(acc, states(pyatspi, acc)) for acc, _ in tree]
    for acc, st in shown:
        if acc.getRoleName() in CONTROLS and "showing" in st and not acc.name.strip():
            failures.append("a %s has no name (help text %r)" % (acc.getRoleName(), acc.description))

    def radios(group):
        found = find(tree, "panel", group) + find(tree, "filler", group)
        if not found:
            return None
        return [(c.name, "checked" in states(pyatspi, c)) for c in children(found[0]) if c.getRoleName() == "radio button"]

    # Each rule: what a reader must find, and what it finds.
    rules = {
        "menu": [
            ("a session row's menu is in the tree while open",
             lambda: [(a.name, sorted({c.getRoleName() for c in children(a)})) for a in find(tree, "popup menu", "Session actions")],
             [("Session actions", ["menu item", "separator"])]),
        ],
        "main": [
            ("no crew mark", lambda: [a.description for a, _ in tree if a.description == "Felgrin"], []),
            ("the Ready chrome reads as its text and Retry",
             lambda: sorted({tuple((c.getRoleName(), c.name) for c in children(a))
                             for a in find(tree, "filler", "Ready for your next message")}),
             [(("label", "Ready"), ("push button", "Retry"))]),
            ("the live status stands alone beside the reply",
             lambda: [sorted(c.getRoleName() for c in children(a.parent)
                             if c.getRoleName() != "label" and "showing" in states(pyatspi, c))
                      for a in find(tree, "label", "Waiting for approval\u2026")],
             [[]]),
            ("the open session is the selected row",
             lambda: [a.name for a, st in shown if a.getRoleName() == "list item" and "selected" in st], ["round 1"]),
            ("the panel buttons say whether their panel is on",
             lambda: [(a.name, "checked" in states(pyatspi, a)) for n in ("Sidebar", "Files", "Tools")
                      for a in find(tree, "check box", n)],
             [("Sidebar", True), ("Files", False), ("Tools", False)]),
        ],
        "settings": [
            ("the tool guard is a group of three choices, Ask chosen", lambda: radios("Tool guard"),
             [("Ask", True), ("Balanced", False), ("YOLO", False)]),
            ("exactly the model in use is chosen",
             lambda: [a.name for a, st in shown if a.getRoleName() == "check box" and "checked" in st
                      and a.name.startswith("Qirv")],
             ["Qirv 4.5"]),
            ("the step buttons say what they change",
             lambda: sorted(a.name for a, _ in tree if a.name.startswith(("Decrement", "Increment"))),
             ["Decrement Max tool iterations", "Decrement Shell timeout", "Increment Max tool iterations",
              "Increment Shell timeout"]),
        ],
    }
    for what, got, expected in rules[which]:
        found = got()
        if found != expected:
            failures.append("%s: expected %r, found %r" % (what, expected, found))
    for f in failures:
        print("FAIL (%s window): %s" % (which, f))
    return 1 if failures else 0


def showing(pyatspi, role, name):
    w = window(pyatspi, "main")
    for acc, _ in nodes(w) if w is not None else []:
        try:
            if acc.getRoleName() == role and acc.name == name and "showing" in states(pyatspi, acc):
                return acc
        except Exception:
            pass  # gone while being read
    return None


def point(role, name):
    import pyatspi
    acc = showing(pyatspi, role, name)
    if acc is None:
        return 1
    box = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    print(box.x + box.width // 2, box.y + box.height // 2)
    return 0


def text_of(acc):
    try:
        text = acc.queryText()
        return text.getText(0, text.characterCount)
    except Exception:
        return None


def wait_until(what, test):
    deadline = time.time() + 15 * float(os.environ.get("MOONSHELF_TEST_TIME_SCALE", "1"))
    while time.time() < deadline:
        if test():
            return 0
        time.sleep(0.1)
    return what


def dump(which):
    import pyatspi
    w = window(pyatspi, which)
    if w is None:
        return 1
    keep = ("focusable", "focused", "checked", "selected", "expanded", "sensitive")
    for acc, depth in nodes(w):
        st = states(pyatspi, acc)
        if "showing" not in st or (acc.getRoleName() == "filler" and not acc.name):
            continue
        print("%s[%s] %r %s" % ("  " * depth, acc.getRoleName(), acc.name,
                                 ",".join(s for s in keep if s in st)))
    return 0


if __name__ == "__main__":
    command = sys.argv[1]
    if command == "service":
        service()
    elif command == "walk":
        walk(float(sys.argv[2]))
    elif command == "check":
        sys.exit(check(sys.argv[2]))
    elif command in ("await", "gone", "holds"):
        import pyatspi
        role, name = (sys.argv[2], sys.argv[3]) if command != "holds" else ("text", sys.argv[2])
        if command == "await":
            sys.exit(wait_until("%s %r did not show" % (role, name), lambda: showing(pyatspi, role, name)))
        if command == "gone":
            sys.exit(wait_until("%s %r did not go" % (role, name), lambda: not showing(pyatspi, role, name)))
        field = lambda: showing(pyatspi, role, name)
        sys.exit(wait_until("%s %r does not hold %r" % (role, name, sys.argv[3]),
                            lambda: field() is not None and text_of(field()) == sys.argv[3]))
    elif command == "point":
        sys.exit(point(sys.argv[2], sys.argv[3]))
    elif command == "dump":
        sys.exit(dump(sys.argv[2]))
    else:
        sys.exit("unknown command " + command)
