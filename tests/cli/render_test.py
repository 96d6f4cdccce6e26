#!/usr/bin/env python3
"""vorra render on movies written here with Python's own struct, zlib and
lzma; the pictures are read back with a small PNG reader of its own."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

from swfmaker import body, movie, tag

VORRA = None


def read_png(path):
    """Width, height and rows of RGB(A) tuples of an 8-bit truecolour PNG."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", chunk[:10])
            assert depth == 8 and colour in (2, 6)
            bpp = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += chunk
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        filt = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if filt == 1:
                line[i] = (line[i] + a) & 255
            elif filt == 2:
                line[i] = (line[i] + b) & 255
            elif filt == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif filt == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(width)])
        prev = line
    return width, height, rows


def render(*args):
    p = subprocess.run([VORRA, "render", *args], capture_output=True, text=True, timeout=60)
    return p.returncode, p.stdout, p.stderr


class Render(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="vorra-render-")
        self.dir = self.tmp.name
        self.png = os.path.join(self.dir, "out.png")

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_each_form_renders_at_its_size_with_its_background(self):
        bg = tag(9, bytes([0x33, 0x66, 0x99]))
        for form in ("FWS", "CWS", "ZWS"):
            path = self.write("m.swf", movie(form, 10, body(40, 30, 3, [bg, tag(1, b""), tag(1, b"")])))
            code, out, err = render(path, "--out", self.png)
            self.assertEqual(code, 0, err)
            width, height, rows = read_png(self.png)
            self.assertEqual((width, height), (40, 30), form)
            self.assertEqual(rows[15][20], (0x33, 0x66, 0x99), form)
            self.assertEqual(rows[0][0], (0x33, 0x66, 0x99), form)

    def test_frame_and_size_choices(self):
        path = self.write("m.swf", movie("FWS", 10, body(40, 30, 3, [tag(1, b""), tag(1, b"")])))
        code, _, err = render(path, "--out", self.png, "--frame", "3", "--size", "64x16")
        self.assertEqual(code, 0, err)
        width, height, rows = read_png(self.png)
        self.assertEqual((width, height), (64, 16))
        self.assertEqual(rows[8][2], (255, 255, 255))  # no background tag: white
        for bad in (["--frame", "4"], ["--frame", "0"], ["--frame", "two"], ["--size", "0x10"], ["--size", "9x"]):
            code, _, err = render(path, "--out", self.png, *bad)
            self.assertEqual(code, 1, bad)
            self.assertIn(bad[0], err)

    def test_what_is_not_a_movie_fails_clearly(self):
        page = self.write("page.swf", b"<html><body>no movie</body></html>")
        code, _, err = render(page, "--out", self.png)
        self.assertEqual(code, 1)
        self.assertIn("not a Flash movie", err)
        code, _, err = render(os.path.join(self.dir, "missing.swf"), "--out", self.png)
        self.assertEqual(code, 1)
        self.assertIn("missing.swf", err)
        self.assertFalse(os.path.exists(self.png))
        code, _, err = render(page)
        self.assertEqual(code, 2)
        self.assertIn("usage", err)

    def test_hostile_movie_ends_in_time(self):
        # A sprite that places itself twice per level, a million frames of
        # tags cut short: rendering ends with a picture, not a hang.
        place_self = tag(26, bytes([0x02, 1, 0, 7, 0])) + tag(26, bytes([0x02, 2, 0, 7, 0]))
        sprite = tag(39, struct.pack("<HH", 7, 1) + place_self + tag(1, b"") + tag(0, b""))
        root = tag(26, bytes([0x02, 1, 0, 7, 0]))
        frames = [tag(1, b"")] * 20000
        data = body(20, 20, 65535, [sprite, root] + frames)
        path = self.write("bomb.swf", movie("CWS", 10, data[:-3]))
        code, _, err = render(path, "--out", self.png, "--frame", "19000")
        self.assertEqual(code, 0, err)
        self.assertEqual(read_png(self.png)[:2], (20, 20))


if __name__ == "__main__":
    VORRA = sys.argv.pop(1)
    unittest.main(verbosity=1)
