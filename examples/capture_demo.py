#!/usr/bin/env python3
"""Captures the demo pages with `vorra get`: serves the built demo site on
127.0.0.1 (an ephemeral port; the page's absolute address is written in as
it is served) and saves their movies into a folder beside it: demo.html
(with its framed page) first, then scripted.html, whose movie a script writes.
Served, every movie the pages name must arrive, or the exit status is 1.

usage: capture_demo.py VORRA DEMO_DIR OUT_DIR [--local]
  --local  reads the pages as local paths instead, without a server (the
           rooted and absolute addresses then find nothing)."""
import functools
import io
import http.server
import os
import subprocess
import sys
import threading


class DemoHandler(http.server.SimpleHTTPRequestHandler):
    base = ""

    def log_message(self, *args):
        pass

    def send_head(self):
        path = self.translate_path(self.path)
        if not path.endswith(".html") or not os.path.isfile(path):
            return super().send_head()
        with open(path, "rb") as f:
            body = f.read().replace(b"@BASE@", self.base.encode())
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        return io.BytesIO(body)


# The movies that each page names, as saved (a movie named twice is saved once).
DEMO_MOVIES = ["relative.swf", "rooted.swf", "climb.swf", "absolute.swf", "Case.SWF", "untyped.swf",
               "framed.swf"]
SCRIPTED_MOVIES = ["written.swf"]


def capture(vorra, address, out):
    print("vorra get %s --out %s" % (address, out), flush=True)
    return subprocess.call([vorra, "get", address, "--out", out])


def main():
    args = [a for a in sys.argv[1:] if a != "--local"]
    if len(args) != 3:
        sys.exit(__doc__)
    vorra, demo, out = (os.path.abspath(a) for a in args)
    pages = os.path.join(demo, "site", "pages")
    server = None
    if "--local" in sys.argv:
        base = pages
    else:
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(DemoHandler, directory=demo))
        DemoHandler.base = "http://127.0.0.1:%d" % server.server_address[1]
        threading.Thread(target=server.serve_forever, daemon=True).start()
        base = DemoHandler.base + "/site/pages"
    rc = capture(vorra, base + "/demo.html", out)
    scripted = capture(vorra, base + "/scripted.html", out)
    if rc == 0:
        rc = scripted
    if server:
        server.shutdown()
        server.server_close()
        saved = set(os.listdir(out)) if os.path.isdir(out) else set()
        missing = [m for m in DEMO_MOVIES + SCRIPTED_MOVIES if m not in saved]
        if missing:
            print("missing: %s" % ", ".join(missing))
            rc = rc or 1
    if os.path.isdir(out):
        print("\nThe movies went to %s:" % out)
        for name in sorted(os.listdir(out)):
            print("  %s (%d bytes)" % (name, os.path.getsize(os.path.join(out, name))))
        print("Inspect them with: %s swfinfo %s/*.swf" % (vorra, out))
    sys.exit(rc)


if __name__ == "__main__":
    main()
