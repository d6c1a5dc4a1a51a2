#!/usr/bin/python3
"""Writes the program icon: one .ico with seven sizes (16 to 256 pixels), drawn here so that
no binary image lives in the repository. Usage: make_app_icon.py OUTPUT.ico"""
import struct
import sys

SIZES = (16, 24, 32, 48, 64, 128, 256)


def pixel(x, y, size):
    """A rounded blue tile with a white card and a key-coloured chip."""
    u, v = (x + 0.5) / size, (y + 0.5) / size
    corner = 0.18
    cu, cv = min(max(u, corner), 1 - corner), min(max(v, corner), 1 - corner)
    if (u - cu) ** 2 + (v - cv) ** 2 > corner ** 2:
        return (0, 0, 0, 0)
    if 0.2 <= u <= 0.8 and 0.3 <= v <= 0.7:
        if 0.28 <= u <= 0.42 and 0.42 <= v <= 0.58:
            return (0xF2, 0xB1, 0x34, 0xFF)
        return (0xFF, 0xFF, 0xFF, 0xFF)
    shade = int(0x30 + 0x50 * v)
    return (0x1E, shade, 0xC8, 0xFF)


def image(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in reversed(range(size)):  # bottom-up rows
        row = bytearray()
        for x in range(size):
            r, g, b, a = pixel(x, y, size)
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)  # the alpha channel decides; the AND mask stays clear
    return header + b"".join(rows) + mask


def main(output):
    images = [image(size) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in zip(SIZES, images):
        edge = 0 if size == 256 else size
        entries += struct.pack("<BBBBHHII", edge, edge, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(output, "wb") as file:
        file.write(directory + entries + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
