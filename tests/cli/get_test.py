#!/usr/bin/env python3
"""vorra get, end to end: pages and movies served on 127.0.0.1 by a small
server of the test's own, captured into a folder, listed, and the failures
(no movies, a page that fails, loops, stalls, hostile names) reported by the
exit status without writing outside the folder."""
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

VORRA = None
FLASH = "application/x-shockwave-flash"
CLSID = "clsid:D27CDB6E-AE6D-11CF-96B8-444553540000"


def obj(movie):
    return '<object classid="%s"><param name="movie" value="%s"></object>' % (CLSID, movie)


def embed(src):
    return '<embed src="%s" type="%s">' % (src, FLASH)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    routes = {}
    stall = threading.Event()
    gate = None  # a Barrier: "gate" movies answer once every party asked

    def log_message(self, *args):
        pass

    def do_GET(self):
        path = urllib.parse.unquote(self.path.split("?")[0].split("#")[0])
        route = self.routes.get(path)
        if route is None:
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        kind, payload, ctype = route
        if kind == "empty":
            self.send_response(204)
            self.end_headers()
            return
        if kind == "redirect":
            self.send_response(302)
            self.send_header("Location", payload)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if kind == "gate":
            Handler.gate.wait(20)
        self.send_response(200)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(payload) + (1000 if kind == "stall" else 0)))
        self.end_headers()
        self.wfile.write(payload)
        self.wfile.flush()
        if kind == "stall":
            Handler.stall.wait(30)


class Get(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="vorra-get-")
        root = self.tmp.name
        self.home = os.path.join(root, "home")
        self.app = os.path.join(root, "app")
        self.out = os.path.join(root, "box", "out")
        for d in (self.home, self.app, os.path.dirname(self.out)):
            os.makedirs(d)
        self.vorra = os.path.join(self.app, "vorra")
        shutil.copy2(VORRA, self.vorra)
        Handler.routes = {}
        Handler.stall.clear()
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.base = "http://127.0.0.1:%d" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def tearDown(self):
        Handler.stall.set()
        self.server.shutdown()
        self.server.server_close()
        self.tmp.cleanup()

    def serve(self, path, body, ctype="text/html", kind="data"):
        Handler.routes[path] = (kind, body if isinstance(body, bytes) else body.encode(), ctype)

    def run_vorra(self, *args, env=None, timeout=60):
        e = dict(os.environ, VORRA_HOME=self.home)
        e.update(env or {})
        p = subprocess.run([self.vorra, "get", *args], capture_output=True, text=True, timeout=timeout, env=e)
        return p.returncode, p.stdout, p.stderr

    def files(self, folder):
        found = []
        for d, _, names in os.walk(folder):
            found += [os.path.relpath(os.path.join(d, n), folder) for n in names]
        return sorted(found)

    def test_captures_every_kind_of_address_into_the_folder(self):
        self.serve("/a/b/page.html", "<html><body>" + obj("rel.swf") + obj("/root.swf") + embed("../up.swf")
                   + embed(self.base + "/abs/Abs.swf") + embed("Upper/CASE.SWF") + obj("rel.swf") + "</body></html>")
        for path in ("/a/b/rel.swf", "/root.swf", "/a/up.swf", "/abs/Abs.swf", "/a/b/upper/case.swf"):
            self.serve(path, b"FWS\x09" + path.encode(), FLASH)
        rc, out, err = self.run_vorra(self.base + "/a/b/page.html", "--out", self.out)
        self.assertEqual(rc, 0, err)
        self.assertEqual(self.files(self.out), ["Abs.swf", "CASE.SWF", "rel.swf", "root.swf", "up.swf"])
        with open(os.path.join(self.out, "CASE.SWF"), "rb") as f:
            self.assertEqual(f.read(), b"FWS\x09/a/b/upper/case.swf")  # found only in lower case
        lines = out.splitlines()
        self.assertEqual(len(lines), 6)  # the repeated movie shares its file
        self.assertEqual(lines[0], os.path.join(self.out, "rel.swf"))
        self.assertIn("6 of 6 movies saved", err)

    def test_two_runs_into_one_folder_keep_every_file_they_report(self):
        self.serve("/p.html", obj("m.swf"))
        self.serve("/m.swf", b"FWS\x09m", FLASH, kind="gate")
        Handler.gate = threading.Barrier(2)  # both runs have chosen m.swf before either saves it
        e = dict(os.environ, VORRA_HOME=self.home)
        runs = [subprocess.Popen([self.vorra, "get", self.base + "/p.html", "--out", self.out],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=e) for _ in range(2)]
        outs = [r.communicate(timeout=60) for r in runs]
        self.assertEqual([r.returncode for r in runs], [0, 0], outs)
        reported = sorted(o.strip() for o, _ in outs)
        self.assertEqual(reported, [os.path.join(self.out, "m.swf"), os.path.join(self.out, "m1.swf")])
        self.assertEqual(self.files(self.out), ["m.swf", "m1.swf"])

    def test_timeout_ends_a_movie_that_never_finishes(self):
        self.serve("/p.html", obj("slow.swf"))
        self.serve("/slow.swf", b"FWS\x09", FLASH, kind="stall")
        start = time.monotonic()
        rc, out, err = self.run_vorra(self.base + "/p.html", "--out", self.out, "--timeout", "1", "--json")
        self.assertEqual(rc, 1, err)
        self.assertIsNone(json.loads(out)["file"])  # nothing was saved
        self.assertLess(time.monotonic() - start, 15)
        self.assertIn("timed out", err)
        self.assertEqual(self.files(self.out), [])
        rc, _, _ = self.run_vorra(self.base + "/p.html", "--timeout", "soon")
        self.assertEqual(rc, 2)

    def test_list_and_json(self):
        self.serve("/p.html", obj("m.swf") + embed("n.swf"))
        self.serve("/m.swf", b"FWS", FLASH)
        self.serve("/n.swf", b"FWS", FLASH)
        rc, out, err = self.run_vorra(self.base + "/p.html", "--out", self.out, "--list", "--json")
        self.assertEqual(rc, 0, err)
        objs = [json.loads(line) for line in out.splitlines()]
        self.assertEqual(objs, [{"name": "m.swf", "url": self.base + "/m.swf", "file": None, "ok": True},
                                {"name": "n.swf", "url": self.base + "/n.swf", "file": None, "ok": True}])
        self.assertFalse(os.path.exists(self.out))  # listing writes nothing
        rc, out, _ = self.run_vorra(self.base + "/p.html", "--list")
        self.assertEqual(out.splitlines(), ["m.swf\t" + self.base + "/m.swf", "n.swf\t" + self.base + "/n.swf"])
        rc, out, err = self.run_vorra(self.base + "/p.html", "--out", self.out, "--json")
        self.assertEqual(rc, 0, err)
        objs = [json.loads(line) for line in out.splitlines()]
        self.assertEqual([o["file"] for o in objs], [os.path.join(self.out, "m.swf"), os.path.join(self.out, "n.swf")])
        self.assertTrue(all(o["ok"] for o in objs))

    def test_frames_are_captured_after_the_page_and_no_scripts_is_accepted(self):
        self.serve("/p/top.html", '<frameset><frame src="menu.html"><frame src="../q/main.html"></frameset>')
        self.serve("/p/menu.html", "<p>menu</p>")
        self.serve("/q/main.html", '<embed src="Movie.swf?v=2">' + embed("/p/top.swf"))
        for path in ("/q/Movie.swf", "/p/top.swf"):
            self.serve(path, b"FWS\x09" + path.encode(), FLASH)
        rc, out, err = self.run_vorra(self.base + "/p/top.html", "--out", self.out, "--no-scripts", "--json")
        self.assertEqual(rc, 0, err)
        self.assertEqual([json.loads(line)["url"] for line in out.splitlines()],
                         [self.base + "/q/Movie.swf?v=2", self.base + "/p/top.swf"])
        self.assertEqual(self.files(self.out), ["Movie.swf", "top.swf"])

    def test_default_folder_and_never_over_existing_files(self):
        self.serve("/p.html", embed("m.swf"))
        self.serve("/m.swf", b"FWS new", FLASH)
        rc, out, err = self.run_vorra(self.base + "/p.html")
        self.assertEqual(rc, 0, err)
        self.assertEqual(out.strip(), os.path.join(self.app, "Flash Files", "m.swf"))
        rc, out, err = self.run_vorra(self.base + "/p.html")
        self.assertEqual(out.strip(), os.path.join(self.app, "Flash Files", "m1.swf"))

    def test_exit_status_for_no_movies_failed_pages_and_failed_movies(self):
        self.serve("/none.html", "<p>nothing here</p>" + '<embed src="x.swf" type="video/mp4">')
        self.assertEqual(self.run_vorra(self.base + "/none.html", "--out", self.out)[0], 2)
        rc, _, err = self.run_vorra(self.base + "/missing.html", "--out", self.out)
        self.assertEqual(rc, 1)
        self.assertIn("cannot load", err)
        self.serve("/loop", self.base + "/loop", kind="redirect")
        self.assertEqual(self.run_vorra(self.base + "/loop", "--out", self.out)[0], 1)
        self.serve("/bin.html", bytes(range(256)) * 64)
        self.assertEqual(self.run_vorra(self.base + "/bin.html", "--out", self.out)[0], 2)
        self.serve("/half.html", embed("ok.swf") + embed("gone.swf"))
        self.serve("/ok.swf", b"FWS", FLASH)
        rc, out, err = self.run_vorra(self.base + "/half.html", "--out", self.out, "--json")
        self.assertEqual(rc, 1)
        self.assertEqual([json.loads(line)["ok"] for line in out.splitlines()], [True, False])
        self.assertEqual(self.files(self.out), ["ok.swf"])
        self.assertEqual(self.run_vorra()[0], 2)  # usage

    def test_what_is_not_a_movie_is_kept_but_not_reported_saved(self):
        self.serve("/p.html", embed("none.swf") + embed("empty.swf") + embed("error.swf") + embed("good.swf"))
        self.serve("/none.swf", b"", kind="empty")
        self.serve("/empty.swf", b"", FLASH)
        self.serve("/error.swf", "<html><h1>Sorry, no such movie</h1></html>")
        self.serve("/good.swf", b"CWS\x0a", FLASH)
        rc, out, err = self.run_vorra(self.base + "/p.html", "--out", self.out, "--json")
        self.assertEqual(rc, 1)
        objs = [json.loads(line) for line in out.splitlines()]
        self.assertEqual([o["ok"] for o in objs], [False, False, False, True])
        self.assertEqual(["error" in o for o in objs], [True, True, True, False])
        self.assertIn("web page", objs[2]["error"])
        with open(objs[2]["file"], "rb") as f:
            self.assertIn(b"Sorry", f.read())  # kept for the user to look at
        self.assertIn("1 of 4 movies saved", err)
        self.assertEqual(err.count("is kept, but"), 3, err)

    def test_folder_problems_are_named_before_the_page_loads(self):
        self.serve("/p.html", embed("m.swf"))
        blocker = os.path.join(os.path.dirname(self.out), "file")
        with open(blocker, "w") as f:
            f.write("x")
        rc, _, err = self.run_vorra(self.base + "/p.html", "--out", blocker)
        self.assertEqual(rc, 1)
        self.assertIn("folder " + blocker + "/: not a folder", err)
        rc, _, err = self.run_vorra(self.base + "/p.html", "--out", os.path.join(blocker, "sub"))
        self.assertEqual(rc, 1)
        self.assertIn(os.path.join(blocker, "sub") + "/: not a folder", err)

    def test_a_page_that_never_finishes_times_out(self):
        self.serve("/slow.html", embed("a.swf"), kind="stall")
        start = time.monotonic()
        rc, _, err = self.run_vorra(self.base + "/slow.html", "--out", self.out, env={"VORRA_PAGE_TIMEOUT": "1"})
        self.assertEqual(rc, 1)
        self.assertLess(time.monotonic() - start, 20)
        self.assertEqual(self.files(self.out), [])

    def test_hostile_names_stay_inside_the_folder(self):
        values = ["..", ".", "/", "%2e%2e", "../..", "a/..", "sub/", "q&quot;uote.swf", "sp ace.swf",
                  "\u00c4rger.swf", "m.swf?v=1#x", "m.swf#frag", "..\\..\\evil.swf", "c:..", "/..;"]
        self.serve("/h/p.html", "".join(embed(v) for v in values), "text/html; charset=utf-8")
        for p in ("/h/sp ace.swf", "/h/\u00c4rger.swf", "/h/m.swf"):
            self.serve(p, b"FWS", FLASH)
        box = os.path.dirname(self.out)
        before = self.files(box)
        rc, out, err = self.run_vorra(self.base + "/h/p.html", "--out", self.out, "--json")
        self.assertEqual(rc, 1)  # some of them cannot be fetched
        outside = [f for f in self.files(box) if f not in before and not f.startswith("out" + os.sep)]
        self.assertEqual(outside, [])
        for line in out.splitlines():
            o = json.loads(line)
            if o["file"] is not None:  # null: nothing was saved
                self.assertEqual(os.path.dirname(os.path.normpath(o["file"])), self.out, o)
        self.assertIn("sp ace.swf", self.files(self.out))
        self.assertIn("m.swf", self.files(self.out))
        self.assertIn("\u00c4rger.swf", self.files(self.out))


if __name__ == "__main__":
    VORRA = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
