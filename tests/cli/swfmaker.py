"""Flash movies written with Python's own struct, zlib and lzma, so the
program is never checked against its own writer."""
import lzma
import os
import struct
import zlib


def rect(xmin, xmax, ymin, ymax):
    values = (xmin, xmax, ymin, ymax)
    nbits = max(max(abs(v), 1).bit_length() + 1 for v in values)
    bits = format(nbits, "05b") + "".join(format(v & ((1 << nbits) - 1), "0%db" % nbits) for v in values)
    bits += "0" * (-len(bits) % 8)
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


def tag(code, data):
    if len(data) < 63:
        return struct.pack("<H", code << 6 | len(data)) + data
    return struct.pack("<HI", code << 6 | 63, len(data)) + data


def body(width, height, frames, first_tags, padding=0):
    out = rect(0, width * 20, 0, height * 20) + struct.pack("<HH", 24 << 8, frames)
    out += b"".join(first_tags)
    if padding:
        out += tag(87, struct.pack("<HI", 1, 0) + os.urandom(padding))
    return out + tag(1, b"") + tag(0, b"")


def movie(form, version, data):
    length = 8 + len(data)
    if form == "FWS":
        return b"FWS" + struct.pack("<BI", version, length) + data
    if form == "CWS":
        return b"CWS" + struct.pack("<BI", version, length) + zlib.compress(data, 6)
    alone = lzma.compress(data, format=lzma.FORMAT_ALONE)
    props, raw = alone[:5], alone[13:]
    return b"ZWS" + struct.pack("<BII", version, length, len(raw)) + props + raw
