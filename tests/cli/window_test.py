"""The windowed program from outside: `vorra --screenshot` renders the main
window without a display, and `vorra` alone refuses to start with none."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

VORRA = None


def run(*args, env_extra=None):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "VORRA_HEADLESS")}
    env.update(env_extra or {})
    return subprocess.run([VORRA, *args], capture_output=True, timeout=60, env=env)


def png_chunks(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos = 8
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        assert zlib.crc32(kind + body) == crc, "bad CRC"
        yield kind, body
        pos += 12 + length


class WindowTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.home = self.dir.name

    def tearDown(self):
        self.dir.cleanup()

    def test_screenshot_is_a_png_of_the_whole_window(self):
        out = os.path.join(self.home, "window.png")
        p = run("--screenshot", out, env_extra={"VORRA_HOME": self.home})
        self.assertEqual(p.returncode, 0, p.stderr)
        with open(out, "rb") as f:
            chunks = list(png_chunks(f.read()))
        self.assertEqual(chunks[0][0], b"IHDR")
        width, height = struct.unpack(">II", chunks[0][1][:8])
        # The client area is 552 x 365; the frame and caption come around it.
        self.assertGreater(width, 552)
        self.assertGreater(height, 365)
        self.assertLess(width, 600)
        self.assertLess(height, 420)
        pixels = zlib.decompress(b"".join(body for kind, body in chunks if kind == b"IDAT"))
        self.assertGreater(len(set(pixels)), 8, "a blank image")

    def test_screenshot_usage_and_unwritable_target(self):
        self.assertEqual(run("--screenshot", env_extra={"VORRA_HOME": self.home}).returncode, 2)
        p = run("--screenshot", os.path.join(self.home, "no", "such", "dir.png"),
                env_extra={"VORRA_HOME": self.home})
        self.assertEqual(p.returncode, 1)
        self.assertIn(b"cannot write", p.stderr)

    def test_no_display_no_window(self):
        p = run(env_extra={"VORRA_HOME": self.home})
        self.assertEqual(p.returncode, 1)
        self.assertIn(b"no display", p.stderr)


if __name__ == "__main__":
    VORRA = sys.argv.pop(1)
    unittest.main(verbosity=1)
