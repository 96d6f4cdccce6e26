#!/usr/bin/env python3
"""vorra fetch and vorra cache, end to end: movies served on 127.0.0.1 by
Python's own HTTP server, downloaded, found in the cache and cleared."""
import http.server
import json
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from swfmaker import body, movie, tag

VORRA = None


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class FetchAndCache(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="vorra-cli-")
        root = self.tmp.name
        self.site = os.path.join(root, "site")
        self.home = os.path.join(root, "home")
        self.app = os.path.join(root, "app")
        for d in (self.site, self.home, self.app):
            os.mkdir(d)
        # A copy of the program in a folder of its own, so "Flash Files" lands there.
        self.vorra = os.path.join(self.app, "vorra")
        shutil.copy2(VORRA, self.vorra)
        self.movies = {}
        for name, form in (("intro.swf", "CWS"), ("Logo Ä.swf", "FWS"), ("page.html", None)):
            data = movie(form, 9, body(320, 240, 5, [tag(9, b"\x01\x02\x03")], 3000)) if form else b"<html></html>"
            with open(os.path.join(self.site, name), "wb") as f:
                f.write(data)
            self.movies[name] = data
        handler = lambda *a, **k: Quiet(*a, directory=self.site, **k)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.base = "http://127.0.0.1:%d/" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def tearDown(self):
        self.server.shutdown()
        self.server.server_close()
        self.tmp.cleanup()

    def run_vorra(self, *args, home=None):
        env = dict(os.environ, VORRA_HOME=home or self.home)
        p = subprocess.run([self.vorra, *args], capture_output=True, text=True, timeout=60, env=env)
        return p.returncode, p.stdout, p.stderr

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def test_fetch_names_files_and_never_overwrites(self):
        target = os.path.join(self.app, "one.swf")
        code, out, err = self.run_vorra("fetch", self.base + "intro.swf", target)
        self.assertEqual(code, 0, err)
        self.assertEqual(out.strip(), target)
        self.assertEqual(self.read(target), self.movies["intro.swf"])

        # An existing file is not replaced.
        with open(target, "wb") as f:
            f.write(b"mine")
        code, _, err = self.run_vorra("fetch", self.base + "intro.swf", target)
        self.assertEqual(code, 1)
        self.assertIn("not overwritten", err)
        self.assertEqual(self.read(target), b"mine")

        # Into the default folder, twice: the second copy gets a free name.
        first = self.run_vorra("fetch", self.base + "intro.swf")
        second = self.run_vorra("fetch", self.base + "intro.swf")
        folder = os.path.join(self.app, "Flash Files")
        self.assertEqual(first[1].strip(), os.path.join(folder, "intro.swf"))
        self.assertEqual(second[1].strip(), os.path.join(folder, "intro1.swf"))
        self.assertEqual(self.read(os.path.join(folder, "intro1.swf")), self.movies["intro.swf"])

    def test_failures_leave_no_file(self):
        target = os.path.join(self.app, "missing.swf")
        code, _, err = self.run_vorra("fetch", self.base + "missing.swf", target)
        self.assertEqual(code, 1)
        self.assertIn("missing.swf", err)
        self.assertIn("404", err)
        self.assertFalse(os.path.exists(target))
        self.assertEqual(self.run_vorra("fetch")[0], 2)
        nowhere = os.path.join(self.app, "no", "such", "x.swf")
        code, _, err = self.run_vorra("fetch", self.base + "intro.swf", nowhere)
        self.assertEqual(code, 1)
        self.assertIn(os.path.dirname(nowhere) + ": no such folder", err)

    def test_cache_lists_movies_newest_first_and_clears_them(self):
        folder = os.path.join(self.app, "out")
        os.mkdir(folder)
        for name in ("page.html", "intro.swf", "Logo%20%C3%84.swf"):
            code, out, err = self.run_vorra("fetch", self.base + name, folder)
            if name == "page.html":
                # Saved and kept, but it is no movie: said, and the status shows it.
                self.assertEqual(code, 1)
                self.assertIn("not a Flash movie", err)
                self.assertEqual(self.read(out.strip()), self.movies["page.html"])
            else:
                self.assertEqual(code, 0, err)
        code, out, err = self.run_vorra("cache", "list", "--json")
        self.assertEqual(code, 0, err)
        items = [json.loads(line) for line in out.splitlines()]
        self.assertEqual([i["url"] for i in items], [self.base + "Logo%20%C3%84.swf", self.base + "intro.swf"])
        for item in items:
            self.assertEqual(list(item), ["url", "file", "name", "lastAccess", "size"])
            self.assertTrue(os.path.isfile(item["file"]))
            self.assertRegex(item["lastAccess"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$")
        self.assertEqual(items[1]["name"], "intro.swf")
        self.assertEqual(items[1]["size"], len(self.movies["intro.swf"]))
        self.assertEqual(self.read(items[1]["file"]), self.movies["intro.swf"])
        self.assertTrue(items[1]["file"].endswith("intro[1].swf"))

        code, out, _ = self.run_vorra("cache", "clear")
        self.assertEqual(code, 0)
        self.assertIn("Deleted 2 movies", out)
        self.assertFalse(os.path.exists(items[0]["file"]))
        code, out, _ = self.run_vorra("cache", "list")
        self.assertEqual(out.strip(), "No movies in the cache.")
        # The page is still cached: only movies were cleared.
        cache = os.path.join(self.home, "cache", "UrlCache", "Content")
        self.assertEqual(sorted(os.listdir(cache)), ["page[1].html"])

    def test_a_cache_that_cannot_be_read_is_not_called_empty(self):
        code, _, err = self.run_vorra("fetch", self.base + "intro.swf", os.path.join(self.app, "a.swf"))
        self.assertEqual(code, 0, err)
        root = os.path.join(self.home, "cache", "UrlCache")
        index, content = os.path.join(root, "index.db"), os.path.join(root, "Content")

        # Another process holds the index: busy, said within a few seconds.
        lock = sqlite3.connect(index, isolation_level=None)
        try:
            lock.execute("PRAGMA locking_mode=EXCLUSIVE")
            lock.execute("BEGIN EXCLUSIVE")
            for verb in ("list", "clear"):
                start = time.monotonic()
                code, out, err = self.run_vorra("cache", verb)
                self.assertEqual((code, out), (1, ""), verb)
                self.assertIn("busy", err)
                self.assertLess(time.monotonic() - start, 10)
        finally:
            lock.close()
        self.assertEqual(os.listdir(content), ["intro[1].swf"])

        # A damaged index is set aside with a message; a later clear sweeps the files it named.
        for extra in ("-wal", "-shm"):
            if os.path.exists(index + extra):
                os.remove(index + extra)
        with open(index, "wb") as f:
            f.write(b"\x13" * 5000)
        code, out, err = self.run_vorra("cache", "list")
        self.assertEqual(code, 1)
        self.assertIn("damaged", err)
        self.assertTrue(os.path.exists(index + ".damaged"))
        orphan = os.path.join(content, "intro[1].swf")
        old = time.time() - 3600
        os.utime(orphan, (old, old))
        code, out, err = self.run_vorra("cache", "clear")
        self.assertEqual(code, 0, err)
        self.assertIn("Deleted 0 movies", out)
        self.assertEqual(os.listdir(content), [])

        # Per-user folders that cannot be used: the cache is off, not empty.
        code, out, err = self.run_vorra("cache", "list", home=os.path.join(self.site, "intro.swf"))
        self.assertEqual((code, out), (1, ""))
        self.assertIn("cache is off", err)


if __name__ == "__main__":
    VORRA = sys.argv.pop(1)
    unittest.main(verbosity=1)
