#!/usr/bin/env python3
"""Writes the benchmark corpora, the same bytes on every run.

mixed/: a few thousand files, about 100 MB, in nested folders: library-like binaries,
text documents, images (PPM and BMP) and already-compressed files (gzip of random bytes).
large/: three large files, about 220 MB together.

Usage: make-corpus.py mixed|large FOLDER [FILES]   (FILES: the first that many files of
the mixed corpus, a smaller tree of the same kind for trying things out)
"""
import gzip
import os
import random
import struct
import sys

WORDS = ("the of and to in is for on that with as by this plug-in host render scene "
         "material light camera texture vertex polygon export import viewport archive "
         "installer folder setting option value version build module library function "
         "return error result object element stream block entry").split()


def text(rng, size):
    # Words with a skewed distribution, lines and paragraphs: like documentation.
    out = []
    length = 0
    weights = [1.0 / (i + 1) for i in range(len(WORDS))]
    while length < size:
        line = " ".join(rng.choices(WORDS, weights, k=rng.randint(6, 14)))
        line = line.capitalize() + (".\n" if rng.random() < 0.8 else ".\n\n")
        out.append(line)
        length += len(line)
    return "".join(out).encode()[:size]


def binary(rng, size):
    # Code-like sections (a vocabulary of instruction words), string tables, relocation
    # tables and zero padding: roughly how a shared library compresses.
    vocab = [rng.randbytes(rng.choice((2, 3, 4, 5, 6, 8))) for _ in range(400)]
    parts = []
    length = 0
    while length < size:
        kind = rng.random()
        if kind < 0.6:
            chunk = b"".join(rng.choices(vocab, k=rng.randint(200, 2000)))
        elif kind < 0.75:
            chunk = b"\0".join(rng.choice(WORDS).encode() + b"_" + rng.choice(WORDS).encode()
                               for _ in range(rng.randint(20, 200))) + b"\0"
        elif kind < 0.9:
            base = rng.randint(0, 1 << 30)
            chunk = b"".join(struct.pack("<II", base + 8 * i, rng.randint(0, 7)) for i in range(rng.randint(50, 400)))
        else:
            chunk = bytes(rng.choice((512, 1024, 4096)))
        parts.append(chunk)
        length += len(chunk)
    return b"".join(parts)[:size]


def ppm(rng, width, height):
    # A gradient with soft noise: photographs and renders compress only moderately.
    head = b"P6\n%d %d\n255\n" % (width, height)
    rows = []
    fx, fy = rng.random() * 3, rng.random() * 3
    for y in range(height):
        noise = rng.randbytes(width * 3)
        row = bytearray(width * 3)
        for x in range(width):
            base = int((x * fx + y * fy) * 255 / (width + height)) & 0xFF
            row[3 * x] = (base + (noise[3 * x] & 7)) & 0xFF
            row[3 * x + 1] = (base // 2 + (noise[3 * x + 1] & 7)) & 0xFF
            row[3 * x + 2] = (255 - base + (noise[3 * x + 2] & 7)) & 0xFF
        rows.append(bytes(row))
    return head + b"".join(rows)


def bmp(rng, width, height):
    # Flat 24-bit bitmap: large areas of one colour with shapes: icons and dialog art.
    stride = (width * 3 + 3) & ~3
    pixels = bytearray(stride * height)
    colours = [rng.randbytes(3) for _ in range(6)]
    for y in range(height):
        for x in range(width):
            c = colours[((x // 16) ^ (y // 16)) % len(colours)] if (x + y) % 37 else b"\0\0\0"
            pixels[y * stride + 3 * x:y * stride + 3 * x + 3] = c
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + bytes(pixels)


def compressed(rng, size):
    return gzip.compress(rng.randbytes(size), 9, mtime=0)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def mixed(root, count=3000):
    rng = random.Random(20240601)
    folders = ["lib", "lib/plugins", "lib/plugins/render", "lib/plugins/io", "bin",
               "docs", "docs/manual", "docs/api", "docs/api/classes", "images",
               "images/icons", "images/textures", "data", "data/archives", "sdk/include",
               "sdk/include/vln", "sdk/samples"]
    for i in range(60):
        folders.append("modules/m%02d/%s" % (i, rng.choice(("lib", "res", "doc", "bin"))))
    total = 0
    for i in range(count):
        kind = rng.random()
        folder = rng.choice(folders)
        if kind < 0.45:
            data = text(rng, int(rng.lognormvariate(9.0, 1.0)) + 10)
            name = "%s/doc%04d.txt" % (folder, i)
        elif kind < 0.75:
            data = binary(rng, int(rng.lognormvariate(10.2, 1.0)) + 100)
            name = "%s/lib%04d.dll" % (folder, i)
        elif kind < 0.83:
            if rng.random() < 0.5:
                data = ppm(rng, rng.randint(96, 360), rng.randint(96, 260))
                name = "%s/img%04d.ppm" % (folder, i)
            else:
                data = bmp(rng, rng.randint(32, 256), rng.randint(32, 256))
                name = "%s/img%04d.bmp" % (folder, i)
        else:
            data = compressed(rng, int(rng.lognormvariate(9.75, 1.0)) + 50)
            name = "%s/pkg%04d.gz" % (folder, i)
        write(os.path.join(root, name), data)
        total += len(data)
    return total


def large(root):
    rng = random.Random(77)
    total = 0
    parts = [("setup-data.bin", lambda: binary(rng, 100 << 20)),
             ("manual.txt", lambda: text(rng, 70 << 20)),
             ("textures.gz", lambda: compressed(rng, 50 << 20))]
    for name, make in parts:
        data = make()
        write(os.path.join(root, name), data)
        total += len(data)
    return total


if __name__ == "__main__":
    which, root = sys.argv[1], sys.argv[2]
    size = mixed(root, *map(int, sys.argv[3:4])) if which == "mixed" else large(root)
    print("%s: %d bytes" % (root, size))
