#!/usr/bin/env python3
"""Converts the driver's pictures (24-bit BMP files, as it copies them from the
screen) into PNG files beside them and removes the BMP files.

    bmp_to_png.py FOLDER
"""
import pathlib
import struct
import sys
import zlib


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def convert(bmp_path):
    data = bmp_path.read_bytes()
    if data[:2] != b"BM":
        raise ValueError(f"{bmp_path}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 24 or width <= 0 or height == 0:
        raise ValueError(f"{bmp_path}: only 24-bit pictures are written by the driver")
    top_down = height < 0
    height = abs(height)
    stride = (width * 3 + 3) & ~3
    if offset + stride * height > len(data):
        raise ValueError(f"{bmp_path}: cut short")
    rows = bytearray()
    for y in range(height):
        source = y if top_down else height - 1 - y
        row = data[offset + source * stride: offset + source * stride + width * 3]
        rgb = bytearray(row)
        rgb[0::3], rgb[2::3] = row[2::3], row[0::3]  # BGR -> RGB
        rows += b"\0" + rgb
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9))
    png += chunk(b"IEND", b"")
    bmp_path.with_suffix(".png").write_bytes(png)
    bmp_path.unlink()


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: bmp_to_png.py FOLDER")
    failed = False
    for bmp in sorted(pathlib.Path(sys.argv[1]).glob("*.bmp")):
        try:
            convert(bmp)
        except (OSError, ValueError, struct.error) as error:
            print(error, file=sys.stderr)
            failed = True
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
