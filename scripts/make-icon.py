#!/usr/bin/env python3
"""Renders an SVG into a Windows icon: 16, 32 and 48 px as 4-bit (or 8-bit) bitmaps with a
transparency mask, which every Windows since XP reads, and 256 px as a palette PNG, which
Vista and later show in large views. Few colours keep the resource small.

    make-icon.py <in.svg> <out.ico>

Needs rsvg-convert (librsvg2-bin) and ImageMagick's convert."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

BITMAP_SIZES = (16, 32, 48)
PNG_SIZE = 256


def run(args):
    try:
        return subprocess.run(args, check=True, stdout=subprocess.PIPE).stdout
    except FileNotFoundError:
        sys.exit(f"make-icon: {args[0]} is missing (scripts/install-deps.sh installs it)")
    except subprocess.CalledProcessError as e:
        sys.exit(f"make-icon: {' '.join(args)} failed with exit code {e.returncode}")


def render(svg, size, folder):
    png = os.path.join(folder, f"{size}.png")
    run(["rsvg-convert", "-w", str(size), "-h", str(size), "-o", png, svg])
    return png


def bitmap_entry(png, size):
    """A DIB for the icon directory: palette, colour rows and AND mask, both bottom-up."""
    # Hard edges against the background (the mask has one bit), at most 15 colours inside.
    rgba = run(["convert", png, "-channel", "A", "-threshold", "50%", "+channel",
                "+dither", "-colors", "16", "-depth", "8", "rgba:-"])
    if len(rgba) != size * size * 4:
        sys.exit(f"make-icon: convert gave {len(rgba)} bytes for a {size} px picture")
    pixels = [rgba[i:i + 4] for i in range(0, len(rgba), 4)]
    palette = [b"\0\0\0"]  # index 0 stands under the transparent pixels
    index = []
    for p in pixels:
        if p[3] < 128:
            index.append(0)
            continue
        colour = bytes(p[:3])
        if colour not in palette:
            palette.append(colour)
        index.append(palette.index(colour))
    bits = 4 if len(palette) <= 16 else 8
    if len(palette) > 256:
        sys.exit(f"make-icon: {len(palette)} colours at {size} px")
    colours = 1 << bits
    palette += [b"\0\0\0"] * (colours - len(palette))

    def padded(row):
        return row + b"\0" * (-len(row) % 4)

    xor = b""
    mask = b""
    for y in reversed(range(size)):
        row = index[y * size:(y + 1) * size]
        if bits == 4:
            xor += padded(bytes((row[x] << 4) | row[x + 1] for x in range(0, size, 2)))
        else:
            xor += padded(bytes(row))
        mbits = bytearray((size + 7) // 8)
        for x in range(size):
            if pixels[y * size + x][3] < 128:
                mbits[x // 8] |= 0x80 >> (x % 8)
        mask += padded(bytes(mbits))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(mask),
                         0, 0, colours, 0)
    table = b"".join(bytes((c[2], c[1], c[0], 0)) for c in palette)
    return bits, colours if bits < 8 else 0, header + table + xor + mask


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    svg, out = sys.argv[1], sys.argv[2]
    folder = tempfile.mkdtemp(prefix="make-icon-")
    try:
        entries = []
        for size in BITMAP_SIZES:
            bits, count, data = bitmap_entry(render(svg, size, folder), size)
            entries.append((size, count, bits, data))
        big = os.path.join(folder, "big.png")
        run(["convert", render(svg, PNG_SIZE, folder), "-strip", "+dither", "-colors", "32",
             "-define", "png:compression-level=9", big])
        with open(big, "rb") as f:
            entries.append((PNG_SIZE, 0, 32, f.read()))
    finally:
        shutil.rmtree(folder, ignore_errors=True)

    directory = struct.pack("<HHH", 0, 1, len(entries))
    offset = len(directory) + 16 * len(entries)
    images = b""
    for size, count, bits, data in entries:
        side = 0 if size >= 256 else size  # 0 means 256 in the directory
        directory += struct.pack("<BBBBHHII", side, side, count, 0, 1, bits, len(data),
                                 offset + len(images))
        images += data
    with open(out + ".part", "wb") as f:
        f.write(directory + images)
    os.replace(out + ".part", out)


if __name__ == "__main__":
    main()
