# SPDX-FileCopyrightText: 2026 Orvane
# SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
"""Reads the pixels of an 8-bit RGB or RGBA PNG (what grim and Orvane write), with the standard
library alone, so the desktop tests need no imaging package."""
import struct
import zlib


class Picture:
    def __init__(self, width, height, channels, rows):
        self.width = width
        self.height = height
        self.channels = channels
        self.rows = rows

    def pixel(self, x, y):
        """The (red, green, blue) at x, y."""
        start = x * self.channels
        return tuple(self.rows[y][start:start + 3])


def _paeth(left, up, up_left):
    estimate = left + up - up_left
    a, b, c = abs(estimate - left), abs(estimate - up), abs(estimate - up_left)
    if a <= b and a <= c:
        return left
    return up if b <= c else up_left


def read_png(path):
    with open(path, "rb") as stream:
        data = stream.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + " is not a PNG")
    offset, compressed, header = 8, b"", None
    while offset < len(data):
        length, kind = struct.unpack(">I4s", data[offset:offset + 8])
        body = data[offset + 8:offset + 8 + length]
        offset += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        elif kind == b"IEND":
            break
    width, height, depth, colour_type, _, _, interlace = header
    channels = {2: 3, 6: 4}.get(colour_type)
    if depth != 8 or channels is None or interlace:
        raise ValueError("%s: only 8-bit RGB or RGBA without interlacing is read" % path)
    raw = zlib.decompress(compressed)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, row = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = row[i - channels] if i >= channels else 0
            up = previous[i]
            up_left = previous[i - channels] if i >= channels else 0
            if kind == 1:
                row[i] = (row[i] + left) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + up) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                row[i] = (row[i] + _paeth(left, up, up_left)) & 0xFF
        rows.append(row)
        previous = row
    return Picture(width, height, channels, rows)
