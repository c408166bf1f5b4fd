#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets (run once; the files are in the repository).

Pattern files: small gray pictures in the formats the image reader knows, written byte by byte
here, plus a bitmap whose header claims more rows than the reader accepts. Settings and frames:
inputs laid out the way the fuzzer's FuzzedDataProvider reads them (integers from the end,
pixel bytes from the start).
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def pixels(w, h):
    return [[(x * 37 + y * 11) % 256 for x in range(w)] for y in range(h)]


def bmp(w, h, bits=8, rle=False, claimed_h=None):
    rows = pixels(w, h)
    palette = b"".join(bytes((i, i, i, 0)) for i in range(256)) if bits == 8 else b""
    body = b""
    if rle:
        for row in reversed(rows):
            for v in row:
                body += bytes((1, v))
            body += b"\x00\x00"
        body += b"\x00\x01"
    else:
        for row in reversed(rows):
            line = bytes(row) if bits == 8 else b"".join(bytes((v, v, 255 - v)) for v in row)
            body += line + b"\x00" * ((4 - len(line) % 4) % 4)
    offset = 14 + 40 + len(palette)
    header = b"BM" + struct.pack("<IHHI", offset + len(body), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, w, claimed_h or h, 1, bits, 1 if rle else 0,
                       len(body), 2835, 2835, 256 if bits == 8 else 0, 0)
    return header + info + palette + body


def png(w, h, colour_type=0, depth=8):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b""
    for row in pixels(w, h):
        if colour_type == 2:
            line = b"".join(bytes((v, 255 - v, v // 2)) for v in row)
        elif depth == 16:
            line = b"".join(struct.pack(">H", v * 257) for v in row)
        else:
            line = bytes(row)
        raw += b"\x00" + line
    ihdr = struct.pack(">IIBBBBB", w, h, depth, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw)) +
            chunk(b"IEND", b""))


def pnm(w, h, kind):
    rows = pixels(w, h)
    if kind == "P2":
        return f"P2\n{w} {h}\n255\n".encode() + "\n".join(
            " ".join(str(v) for v in row) for row in rows).encode() + b"\n"
    if kind == "P5":
        return f"P5\n{w} {h}\n255\n".encode() + b"".join(bytes(row) for row in rows)
    return f"P6\n{w} {h}\n255\n".encode() + b"".join(
        bytes((v, 255 - v, v)) for row in rows for v in row)


def pattern_seeds():
    return {
        "gray8.bmp": bmp(8, 6),
        "odd-width.bmp": bmp(5, 3),
        "colour24.bmp": bmp(4, 4, bits=24),
        "rle8.bmp": bmp(6, 4, rle=True),
        "claims-16000004-rows.bmp": bmp(4, 1, claimed_h=16000004),
        "gray.png": png(7, 5),
        "gray16.png": png(3, 3, depth=16),
        "rgb.png": png(4, 2, colour_type=2),
        "ascii.pgm": pnm(4, 3, "P2"),
        "binary.pgm": pnm(6, 6, "P5"),
        "colour.ppm": pnm(3, 5, "P6"),
        # DICOM's marker after the preamble: the reader's DICOM library aborts on these.
        "dicom-preamble.bin": bytes(128) + b"DICM" + bytes(1),
    }


class Provider:
    """Lays out an input for FuzzedDataProvider: integers are read from the end."""

    def __init__(self):
        self.tail = bytearray()

    def integer(self, value, lo, hi):
        span = hi - lo
        n = 0
        while n < 4 and (span >> (8 * n)) > 0:
            n += 1
        v = value - lo
        self.tail += bytes((v >> (8 * (n - 1 - k))) & 0xFF for k in range(n))

    def slider(self, kind, raw=0):
        self.integer(kind, 0, 3)
        self.integer(raw, -2**31, 2**31 - 1)

    def check(self, state):
        kind = state if state in (0, 1, 2) else 3
        self.integer(kind, 0, 3)
        self.integer(state if kind == 3 else 0, -2**31, 2**31 - 1)

    def input(self, front):
        return bytes(front) + bytes(reversed(self.tail))


def settings_seed(sliders, checks, width, height, padding, frame, pixel_bytes):
    p = Provider()
    for kind, raw in sliders:
        p.slider(kind, raw)
    for state in checks:
        p.check(state)
    p.integer(width, 1, 64)
    p.integer(height, 1, 64)
    p.integer(padding, 0, 15)
    p.integer(frame, -2**31, 2**31 - 1)
    return p.input(pixel_bytes)


def gradient_bytes(n):
    return bytes((i * 7) % 256 if i % 2 == 0 else (i // 64) % 16 for i in range(n))


def settings_seeds():
    defaults = [(0, 0)] * 23

    def with_values(pairs, base=defaults):
        out = list(base)
        for index, kind, raw in pairs:
            out[index] = (kind, raw)
        return out

    in_range = lambda index, offset: (index, 1, -2**31 + offset)  # minimum + offset
    edges = [(i, 2, i % 7) for i in range(23)]
    return {
        "defaults-24x16.bin": settings_seed(defaults, [1, 1, 0, 0, 0, 0, 0], 24, 16, 3, 0,
                                            gradient_bytes(600)),
        "mode3-mask-bilinear.bin": settings_seed(with_values([in_range(0, 2)]),
                                                 [1, 1, 0, 0, 1, 0, 1], 17, 9, 0, 7,
                                                 gradient_bytes(300)),
        "mode5-diffusion-bicubic-lines3.bin": settings_seed(
            with_values([in_range(0, 4), in_range(20, 3), in_range(16, 40)]),
            [2, 2, 1, 1, 0, 1, 0], 33, 21, 5, 12, gradient_bytes(900)),
        "edges-64x64.bin": settings_seed(with_values(edges), [2] * 7, 64, 64, 15, -1,
                                         gradient_bytes(256)),
        "raw-extremes-1x1.bin": settings_seed(
            with_values([(2, 3, 2**31 - 1), (6, 3, -2**31), (10, 3, -2**31), (16, 3, -2**31)]),
            [1, 1, -7, 1, 1, 1, 1], 1, 1, 1, 2**31 - 1, b"\xff\x7f\x00\x80\x01\x00"),
        "pattern-set-2-scale-1.bin": settings_seed(
            with_values([in_range(8, 2), in_range(16, 0), in_range(17, 90)]),
            [1, 1, 0, 1, 0, 0, 0], 40, 8, 2, 3, gradient_bytes(480)),
    }


def write(folder, files):
    os.makedirs(folder, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    write(os.path.join(HERE, "corpus", "fuzz_pattern_file"), pattern_seeds())
    write(os.path.join(HERE, "corpus", "fuzz_settings_frame"), settings_seeds())
