#!/usr/bin/env python3
"""vorra swfinfo against movies written here with Python's own struct, zlib
and lzma, independent of the project's writer and reader."""
import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

from swfmaker import body, movie, tag

VORRA = None


def swfinfo(*args):
    p = subprocess.run([VORRA, "swfinfo", *args], capture_output=True, text=True, timeout=60)
    return p.returncode, p.stdout, p.stderr


class SwfInfo(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="vorra-cli-")
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_facts_of_all_three_forms(self):
        bg = tag(9, bytes([0x33, 0x66, 0x99]))
        files = {
            "FWS": self.write("plain.swf", movie("FWS", 6, body(550, 400, 12, [bg]))),
            "CWS": self.write("zlib.swf", movie("CWS", 9, body(800, 600, 240, [bg], padding=50000))),
            "ZWS": self.write("lzma.swf", movie("ZWS", 13, body(320, 240, 30, [bg], padding=50000))),
        }
        code, out, err = swfinfo("--json", *files.values())
        self.assertEqual(code, 0, err)
        lines = [json.loads(line) for line in out.splitlines()]
        self.assertEqual(len(lines), 3)
        for (sig, path), obj in zip(files.items(), lines):
            self.assertEqual(list(obj), ["file", "signature", "version", "length", "left", "top", "right",
                                         "bottom", "frames", "background"])
            self.assertEqual(obj["file"], path)
            self.assertEqual(obj["signature"], sig)
            self.assertEqual(obj["background"], "#336699")
            self.assertEqual((obj["left"], obj["top"]), (0, 0))
        self.assertEqual((lines[0]["version"], lines[0]["right"], lines[0]["bottom"], lines[0]["frames"]),
                         (6, 550, 400, 12))
        self.assertEqual((lines[1]["version"], lines[1]["right"], lines[1]["frames"]), (9, 800, 240))
        self.assertEqual((lines[2]["version"], lines[2]["bottom"], lines[2]["frames"]), (13, 240, 30))
        self.assertGreater(lines[1]["length"], 50000)
        self.assertEqual(lines[0]["length"], os.path.getsize(files["FWS"]))

    def test_text_form_names_every_fact(self):
        path = self.write("m.swf", movie("CWS", 10, body(640, 480, 2, [tag(9, b"\x00\x80\xff")])))
        code, out, _ = swfinfo(path)
        self.assertEqual(code, 0)
        for fact in ("CWS", "version 10", "640x480", "2 frames", "#0080FF"):
            self.assertIn(fact, out)

    def test_no_background_when_another_tag_comes_first(self):
        path = self.write("m.swf", movie("FWS", 10, body(10, 10, 1, [tag(69, b"\x08\0\0\0"), tag(9, b"abc")])))
        code, out, _ = swfinfo("--json", path)
        self.assertEqual(code, 0)
        self.assertIsNone(json.loads(out)["background"])

    def test_bad_files_give_a_message_and_status_one(self):
        good = self.write("good.swf", movie("FWS", 8, body(1, 1, 1, [])))
        page = self.write("page.html", b"<html><body>not a movie</body></html>")
        whole = movie("CWS", 10, body(100, 100, 1, [], padding=20000))
        cut = self.write("cut.swf", whole[: len(whole) // 2])
        plain = movie("FWS", 10, body(100, 100, 1, [], padding=2000))
        cut_plain = self.write("cut-plain.swf", plain[:1000])
        zws = movie("ZWS", 13, body(100, 100, 1, [], padding=20000))
        cut_zws = self.write("cut-lzma.swf", zws[: len(zws) // 2])
        garbage = self.write("garbage.swf", b"CWS\x0a\x00\x10\x00\x00" + b"\xff" * 300)
        missing = os.path.join(self.dir, "missing.swf")
        folder = os.path.join(self.dir, "folder.swf")
        os.mkdir(folder)
        bad = [page, cut, cut_plain, cut_zws, garbage, missing, folder]
        code, out, err = swfinfo("--json", good, *bad)
        self.assertEqual(code, 1)
        objs = [json.loads(line) for line in out.splitlines()]
        self.assertEqual([o["file"] for o in objs], [good] + bad)
        self.assertEqual(objs[0]["signature"], "FWS")
        self.assertIsNone(objs[1]["signature"])  # page
        self.assertEqual(objs[5]["signature"], "CWS")  # garbage: a movie's signature, unreadable header
        self.assertIsNone(objs[5]["frames"])
        self.assertIsNone(objs[6]["signature"])  # missing
        self.assertIsNone(objs[7]["signature"])  # folder
        err_lines = err.splitlines()
        self.assertEqual(len(err_lines), len(bad), err)
        for path, line in zip(bad, err_lines):
            self.assertIn(path, line)
        self.assertIn("not a Flash movie", err_lines[0])
        self.assertIn("cut short", err_lines[1])
        self.assertIn("cut short", err_lines[2])
        self.assertIn("cut short", err_lines[3])
        self.assertIn("data error", err_lines[4])
        self.assertIn("folder", err_lines[6])

    def test_cut_headers_and_short_streams_are_cut_short(self):
        whole = body(100, 100, 7, [], padding=5000)
        lzma_movie = movie("ZWS", 13, whole)
        files = {
            "three": self.write("three.swf", b"FWS"),
            "four": self.write("four.swf", b"FWS\x0a"),
            # Streams that end properly, long before the length the header declares.
            "zlib": self.write("zlib.swf", b"CWS\x0a" + struct.pack("<I", 8 + 10 * len(whole)) + zlib.compress(whole)),
            "lzma": self.write("lzma.swf", lzma_movie[:4] + struct.pack("<I", 8 + 10 * len(whole)) + lzma_movie[8:]),
            "tiny": self.write("tiny.swf", b"CWS\x0a" + struct.pack("<I", 1000) + zlib.compress(b"\x50\x00")),
        }
        code, out, err = swfinfo("--json", *files.values())
        self.assertEqual(code, 1)
        objs = dict(zip(files, (json.loads(line) for line in out.splitlines())))
        self.assertEqual([objs["three"][k] for k in ("signature", "version", "length", "frames")], ["FWS", None, None, None])
        self.assertEqual([objs["four"][k] for k in ("version", "length", "right")], [10, None, None])
        self.assertEqual([objs["tiny"][k] for k in ("version", "length", "right", "frames")], [10, 1000, None, None])
        self.assertEqual(objs["zlib"]["frames"], 7)  # the header is whole; the rest is missing
        err_lines = err.splitlines()
        self.assertEqual(len(err_lines), len(files), err)
        for path, line in zip(files.values(), err_lines):
            self.assertIn(path, line)
            self.assertIn("cut short", line)

    def test_usage_errors(self):
        self.assertEqual(swfinfo()[0], 2)
        self.assertEqual(swfinfo("--bogus", "x")[0], 2)
        p = subprocess.run([VORRA, "nonsense"], capture_output=True, text=True, timeout=60)
        self.assertEqual(p.returncode, 2)
        self.assertIn("swfinfo", p.stderr)
        for args in (["get"], ["get", "--bogus", "http://127.0.0.1/"], ["fetch"], ["cache"], ["cache", "bogus"],
                     ["--screenshot"]):
            p = subprocess.run([VORRA, *args], capture_output=True, text=True, timeout=60)
            self.assertEqual(p.returncode, 2, args)
            self.assertIn("usage", p.stderr, args)

    def test_odd_file_names_stay_valid_json(self):
        path = self.write("ä \"quoted\" \\ name.swf", movie("FWS", 8, body(1, 1, 1, [])))
        code, out, _ = swfinfo("--json", "--", path)
        self.assertEqual(code, 0)
        self.assertEqual(json.loads(out)["file"], path)


if __name__ == "__main__":
    VORRA = sys.argv.pop(1)
    unittest.main(verbosity=1)
