# A screen reader's view of the running app, through the accessibility bus.
#   reader_client.py service            a loopback chat service; prints its port
#   reader_client.py walk SECONDS       walks the whole tree again and again
#   reader_client.py check main|menu|settings|alert|heard
#                                       the named window's controls, against the
#                                       rules below; prints each failure
#   reader_client.py dump main|settings what a reader hears: role, name, states
#   reader_client.py point ROLE NAME    the screen point at the middle of the
#                                       main window's first showing ROLE NAME
#   reader_client.py await ROLE NAME    waits (up to 15 s) until it shows
#   reader_client.py listen FILE        writes what the bus tells a reader (text
#                                       added, alerts shown, any other event of
#                                       the app) to FILE, one JSON line each,
#                                       until stopped (at most 300 s)
#   reader_client.py gone ROLE NAME     waits (up to 15 s) until it no longer shows
#   reader_client.py holds NAME TEXT    waits (up to 15 s) until the text field
#                                       NAME holds TEXT
# The waits grow by MOONSHELF_TEST_TIME_SCALE (a sanitized build's factor).
import http.server
import itertools
import json
import os
import socketserver
import sys
import time

APP = "Moonshelf Mac"
# The reply written before each write request, in pieces, as a model streams
# it; and how a reader reads it (numbers, cells by tabs, code as written).
REPLY = ("## Plan\n\nI will write **one** file:\n\n- notes.txt with a greeting\n"
         "- then see [the guide](https://example.com/guide)\n\n"
         "| file | lines |\n|---|---|\n| notes.txt | 1 |\n\n```sh\ncat notes.txt\n```")
REPLY_READ = "Plan\nI will write one file:\nnotes.txt with a greeting\nthen see the guide\nfile\tlines\nnotes.txt\t1\ncat notes.txt"
ERROR = "scripted failure"
WINDOWS = {"main": "Moonshelf Mac", "menu": "Moonshelf Mac", "settings": "Settings"}
# Buttons of every kind: their names are short and tell them apart.
BUTTONS = {"push button", "toggle button", "check box", "radio button", "link"}
# Words that say the opposite of each other in a name and its description.
OPPOSITES = [("show", "hide"), ("open", "close"), ("start", "stop"), ("on", "off")]
# What the marks kept out of the tree are called, were they named.
MARKS = ("Felgrin", "Polish mark")
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
                self.reply(500, "application/json", json.dumps({"error": {"message": ERROR}}).encode())
                return
            pieces = [REPLY[i:i + 24] for i in range(0, len(REPLY), 24)]
            text = [event({"choices": [{"index": 0, "delta": {"content": p}}]}) for p in pieces]
            call = {"index": 0, "id": "call_%d" % n, "type": "function",
                    "function": {"name": "write_file", "arguments": ""}}
            args = json.dumps({"path": "notes.txt", "content": "hello\n"})
            body = event({"choices": [{"index": 0, "delta": {"tool_calls": [call]}}]})
            body += event({"choices": [{"index": 0, "delta": {"tool_calls": [{"index": 0, "function": {"arguments": args}}]}}]})
            body += event({"choices": [{"index": 0, "delta": {}, "finish_reason": "tool_calls"}]})
            body += b"data: [DONE]\n\n"
            # The reply's text a piece at a time, so a reader hears it grow.
            self.reply(200, "text/event-stream", text + [body])

        def reply(self, status, kind, body):
            parts = body if isinstance(body, list) else [body]
            self.send_response(status)
            self.send_header("Content-Type", kind)
            self.send_header("Content-Length", str(sum(len(p) for p in parts)))
            self.end_headers()
            for i, part in enumerate(parts):
                if i:
                    time.sleep(0.12)
                self.wfile.write(part)
                self.wfile.flush()

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


def text_of(acc):
    try:
        return acc.queryText().getText(0, -1)
    except Exception:
        return None


def conversation(tree):
    # The list whose items are the messages.
    for acc, _ in tree:
        if acc.getRoleName() == "list" and any(c.getRoleName() == "list item" and c.name in ("You", "Qirv")
                                               for c in children(acc)):
            return acc
    return None


def messages(tree):
    found = conversation(tree)
    return [(c.name, text_of(c)) for c in children(found) if c.getRoleName() == "list item"] if found else []


def parts(acc):
    # A message's parts, each with its own parts (cells, links), as roles and names.
    return [(c.getRoleName(), c.name, [(g.getRoleName(), g.name, g.description) for g in children(c)])
            for c in children(acc) if c.getRoleName() != "filler"]


def first_reply(tree):
    found = conversation(tree)
    for c in children(found) if found else []:
        if c.name == "Qirv" and any(g.getRoleName() == "heading" for g in children(c)):
            return c
    return None


def heard_replies():
    # Each reply's text rebuilt from what the bus told as it grew: an insert
    # at the start begins a reply (unless it replaces what was just taken
    # from there). With how many inserts it came.
    replies = []
    replacing = False
    for e in heard():
        if e["role"] != "list item" or e["name"] != "Qirv" or not e["type"].startswith("object:text-changed"):
            continue
        if e["type"].endswith("insert"):
            if (e["detail1"] == 0 and not replacing) or not replies:
                replies.append(["", 0])
            text = replies[-1][0]
            replies[-1] = [text[:e["detail1"]] + e["text"] + text[e["detail1"]:], replies[-1][1] + 1]
        elif replies:
            text = replies[-1][0]
            replies[-1][0] = text[:e["detail1"]] + text[e["detail1"] + e["detail2"]:]
        replacing = e["type"].endswith("delete") and e["detail1"] == 0
    return replies


def heard():
    with open(os.environ["OUT"] + "/reader-heard.jsonl") as f:
        return [json.loads(line) for line in f]


def check(which):
    import pyatspi
    rounds = int(os.environ.get("ROUNDS", "6"))
    w = None if which == "heard" else window(pyatspi, "main" if which == "alert" else which)
    if w is None and which != "heard":
        print("FAIL: no %s window in the tree" % which)
        return 1
    tree = list(nodes(w)) if w is not None else []
    failures = []
    shown = [(acc, states(pyatspi, acc)) for acc, _ in tree]
    for acc, st in shown:
        if acc.getRoleName() in CONTROLS and "showing" in st and not acc.name.strip():
            failures.append("a %s has no name (help text %r)" % (acc.getRoleName(), acc.description))

    def parent_of(acc):
        try:
            return acc.parent
        except Exception:
            return None

    def message_of(acc):
        # The message a control lies in (a reply's Retry, a link in its
        # text), if any: a reader hears it as that message's own.
        for _ in range(12):
            acc = parent_of(acc)
            if acc is None:
                return None
            if acc.getRoleName() == "list item" and acc.name in ("You", "Qirv"):
                return acc
        return None

    def clashing_names():
        # A name repeated in three or more like containers is a row's own
        # action (each session's button), and so is one in each of several
        # messages; twice elsewhere, or twice in one place or one message,
        # two controls a reader cannot tell apart.
        places, in_messages = {}, {}
        for acc, st in shown:
            if acc.getRoleName() in BUTTONS and "showing" in st and acc.name.strip():
                message = message_of(acc)
                if message is None:
                    places.setdefault(acc.name, []).append(parent_of(acc))
                else:
                    in_messages.setdefault(acc.name, []).append(message)
        return sorted({name for name, parents in places.items()
                       if len(parents) > 1 and (len(parents) < 3 or len(set(map(id, parents))) < len(parents))} |
                      {name for name, messages in in_messages.items() if len(set(map(id, messages))) < len(messages)})

    def long_names():
        return sorted(a.name for a, st in shown if a.getRoleName() in BUTTONS and "showing" in st and
                      (len(a.name.split()) > 6 or ". " in a.name or a.name.rstrip().endswith(".")))

    def disagreeing():
        found = []
        for a, st in shown:
            if a.getRoleName() not in CONTROLS or "showing" not in st or not a.description:
                continue
            first_name = (a.name.split() or [""])[0].lower()
            first_desc = (a.description.split() or [""])[0].lower()
            if any({first_name, first_desc} == {x, y} for x, y in OPPOSITES):
                found.append((a.name, a.description))
        return found

    general = [
        ("names short (a word or a few, not a sentence)", long_names, []),
        ("no two controls share a name", clashing_names, []),
        ("a name and its description do not say opposite things", disagreeing, []),
    ]

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
            # The conversation, as a reader reads it: each round's message,
            # then the reply that asked to write (the last one still live).
            ("every message is read in order, as who wrote it and its text", lambda: messages(tree),
             [("You", "round 1")] + [m for r in range(2, rounds + 1) for m in (("You", "round %d" % r), ("Qirv", REPLY_READ))]),
            ("the messages are read without taking the keyboard (it stays on the card or the composer)",
             lambda: [c.name for c in children(conversation(tree)) if c.getRoleName() == "list item"
                      and {"focusable", "focused"} & states(pyatspi, c)] if conversation(tree) else None, []),
            ("a reply's parts are read as a reader reads them: headings, items, cells, links, code",
             lambda: parts(first_reply(tree)) if first_reply(tree) else None,
             [("heading", "Plan", []), ("paragraph", "", []), ("list item", "notes.txt with a greeting", []),
              ("list item", "then see the guide", [("link", "the guide", "https://example.com/guide")]),
              ("table", "", [("table cell", "file", ""), ("table cell", "lines", ""), ("table cell", "notes.txt", ""),
                             ("table cell", "1", "")]),
              ("section", "sh", []), ("label", "write_file", [])]),
            ("the approval card reads which tool, what it writes, then its buttons",
             lambda: [(a.description.split("\n")[:2], a.description.split("\n")[-1],
                       [c.name for c, _ in nodes(a) if c.getRoleName() == "push button"])
                      for a in find(tree, "dialog", "Approval required")],
             [(["write_file", "write notes.txt"], "hello", ["Deny", "Allow writes this session", "Approve"])]),
            ("the open session is the selected row",
             lambda: [a.name for a, st in shown if a.getRoleName() == "list item" and "selected" in st], ["round 1"]),
            # A table in a message's text is part of what it says, with no
            # caption to name it by.
            ("every list and tree is named",
             lambda: [a.getRoleName() for a, st in shown if a.getRoleName() in ("list", "tree", "tree table", "table")
                      and "showing" in st and not a.name.strip() and message_of(a) is None], []),
            # The card holds the keyboard now: no row of a list may say it has it.
            ("no row reports the focus while the keyboard is elsewhere",
             lambda: [a.name for a, st in shown if a.getRoleName() in ("list item", "table cell", "tree item")
                      and "focused" in st], []),
            ("the panel buttons say whether their panel is on",
             lambda: [(a.name, "checked" in states(pyatspi, a)) for n in ("Sidebar", "Files", "Tools")
                      for a in find(tree, "check box", n)],
             [("Sidebar", True), ("Files", False), ("Tools", False)]),
        ],
        "alert": [
            ("the error sheet is an alert with the error's words and its button",
             lambda: [(a.description, [c.name for c, _ in nodes(a) if c.getRoleName() == "push button"
                                       and "showing" in states(pyatspi, c)])
                      for a, st in shown if a.getRoleName() == "alert"],
             [("Ovu API error 500: scripted failure", ["Retry", "OK"])]),
        ],
        # What a reader listening on the bus was told while the person worked.
        "heard": [
            ("each reply's words came as it grew, and add up to its text",
             lambda: [(text, inserts >= 3) for text, inserts in heard_replies()], [(REPLY_READ, True)] * (rounds - 1)),
            ("each error's words came when its sheet showed",
             lambda: sorted({(e["name"], e["description"]) for e in heard()
                             if e["role"] == "alert" and e["type"] == "object:state-changed:showing" and e["detail1"]}),
             [("Something went wrong", "Ovu API error 500: scripted failure")]),
            ("an error sheet for each failure",
             lambda: sum(1 for e in heard() if e["role"] == "alert" and e["detail1"]) >= rounds, True),
            # A finished reply shows the crew mark: it must tell the bus nothing.
            ("no mark kept out of the tree told the bus anything",
             lambda: [(e["type"], e["role"], e["name"]) for e in heard()
                      if any(m in (e["name"] or "") + (e["description"] or "") for m in MARKS)][:5], []),
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
    for what, got, expected in rules[which] + (general if which != "menu" else []):
        found = got()
        if found != expected:
            failures.append("%s: expected %r, found %r" % (what, expected, found))
    for f in failures:
        print("FAIL (%s window): %s" % (which, f))
    return 1 if failures else 0


def listen(path, seconds=300):
    import pyatspi
    import signal
    out = open(path, "a", buffering=1)

    def heard(event):
        try:
            src = event.source
            record = {"type": event.type, "role": src.getRoleName(), "name": src.name,
                      "description": src.description, "detail1": event.detail1, "detail2": event.detail2,
                      "text": event.any_data if isinstance(event.any_data, str) else None}
        except Exception:
            return
        out.write(json.dumps(record) + "\n")

    def stop(*_):
        pyatspi.Registry.stop()
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGALRM, stop)
    signal.alarm(int(seconds * float(os.environ.get("MOONSHELF_TEST_TIME_SCALE", "1"))))
    # Every event of the app: the checks pick text added and alerts shown,
    # and look for any that came from a mark kept out of the tree.
    pyatspi.Registry.registerEventListener(heard, "object:", "window:")
    pyatspi.Registry.start()


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


def wait_until(what, test):
    deadline = time.time() + 15 * float(os.environ.get("MOONSHELF_TEST_TIME_SCALE", "1"))
    while time.time() < deadline:
        if test():
            return 0
        time.sleep(0.1)
    return what


def said(acc):
    # The text of what a reader reads as text (not of the controls).
    if acc.getRoleName() in CONTROLS - {"list item", "link"}:
        return ""
    try:
        text = acc.queryText().getText(0, -1)
    except Exception:
        return ""
    return " text=%r" % (text if len(text) < 80 else text[:77] + "...") if text else ""


def listed(acc):
    try:
        return acc.parent.getRoleName() == "list" and acc.getRoleName() == "list item"
    except Exception:
        return False


def dump(which):
    import pyatspi
    w = window(pyatspi, which)
    if w is None:
        return 1
    keep = ("focusable", "focused", "checked", "selected", "expanded", "sensitive", "showing")
    for acc, depth in nodes(w):
        st = states(pyatspi, acc)
        # Rows scrolled away are listed too: a reader reaches them.
        if ("showing" not in st and depth > 0 and not listed(acc)) or (acc.getRoleName() == "filler" and not acc.name):
            continue
        print("%s[%s] %r %s%s" % ("  " * depth, acc.getRoleName(), acc.name,
                                   ",".join(s for s in keep if s in st), said(acc)))
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
    elif command == "listen":
        listen(sys.argv[2])
    elif command == "point":
        sys.exit(point(sys.argv[2], sys.argv[3]))
    elif command == "dump":
        sys.exit(dump(sys.argv[2]))
    else:
        sys.exit("unknown command " + command)
