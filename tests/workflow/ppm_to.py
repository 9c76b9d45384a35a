"""Writes a binary PPM (make-sample's output) as an uncompressed RGB TIFF or as a PNG, so the workflow
tests get every picture kind without image tools.

    python3 ppm_to.py PPM OUTPUT.tif|.tiff|.png (any case)
"""

import struct
import sys
import zlib


def read_ppm(path):
    data = open(path, "rb").read()
    magic, size, depth, pixels = data.split(b"\n", 3)
    assert magic == b"P6" and depth == b"255", "not a binary 8-bit PPM"
    width, height = map(int, size.split())
    return width, height, pixels


def tiff(width, height, pixels):
    """Little-endian, one strip, three 8-bit samples per pixel."""
    count = 10
    ifd_size = 2 + 12 * count + 4
    bits_at = 8 + ifd_size
    strip_at = bits_at + 6
    entries = [(256, 3, 1, width), (257, 3, 1, height), (258, 3, 3, bits_at), (259, 3, 1, 1),
               (262, 3, 1, 2), (273, 4, 1, strip_at), (277, 3, 1, 3), (278, 3, 1, height),
               (279, 4, 1, len(pixels)), (284, 3, 1, 1)]
    ifd = struct.pack("<H", count) + b"".join(struct.pack("<HHII", *e) for e in entries) + b"\0" * 4
    return b"II*\0" + struct.pack("<I", 8) + ifd + struct.pack("<HHH", 8, 8, 8) + pixels


def png(width, height, pixels):
    stride = width * 3
    rows = b"".join(b"\0" + pixels[y * stride:(y + 1) * stride] for y in range(height))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows))
            + chunk(b"IEND", b""))


if __name__ == "__main__":
    source, target = sys.argv[1], sys.argv[2]
    picture = read_ppm(source)
    kind = target.lower().rsplit(".", 1)[-1]
    writers = {"tif": tiff, "tiff": tiff, "png": png}
    with open(target, "wb") as out:
        out.write(writers[kind](*picture))
