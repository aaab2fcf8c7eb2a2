#!/usr/bin/env python3
"""Writes the hand-made part of the seed corpus: small GIFs, valid and broken, that reach every
branch of the reader. Run from anywhere; files go to corpus/ beside this script."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus")


def lzw_plain(pixels, s):
    """Codes without compression: a clear code often enough that the code size stays s + 1."""
    clear, eoi = 1 << s, (1 << s) + 1
    codes, run = [clear], 0
    for p in pixels:
        if run == (1 << s) - 2:
            codes.append(clear)
            run = 0
        codes.append(p)
        run += 1
    codes.append(eoi)
    bits, nbits, out = 0, 0, bytearray()
    for c in codes:
        bits |= c << nbits
        nbits += s + 1
        while nbits >= 8:
            out.append(bits & 255)
            bits >>= 8
            nbits -= 8
    if nbits:
        out.append(bits & 255)
    return bytes(out)


def sub_blocks(data, size=255):
    out = bytearray()
    for i in range(0, len(data), size):
        chunk = data[i:i + size]
        out += bytes([len(chunk)]) + chunk
    return bytes(out) + b"\0"


def screen(w, h, gct=None, sig=b"GIF89a"):
    packed = 0
    if gct is not None:
        packed = 0x80 | 0x70 | (len(gct).bit_length() - 2)
    out = sig + struct.pack("<HHBBB", w, h, packed, 0, 0)
    if gct is not None:
        out += b"".join(bytes(c) for c in gct)
    return out


def frame(w, h, pixels, s=2, left=0, top=0, lct=None, interlace=False):
    packed = 0x40 if interlace else 0
    if lct is not None:
        packed |= 0x80 | (len(lct).bit_length() - 2)
    out = b"," + struct.pack("<HHHHB", left, top, w, h, packed)
    if lct is not None:
        out += b"".join(bytes(c) for c in lct)
    return out + bytes([s]) + sub_blocks(lzw_plain(pixels, s))


GCT4 = [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255)]
GCE_T = b"\x21\xf9\x04\x01\x05\x00\x02\x00"  # transparent index 2, delay 5
LOOP = b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
ANIM = b"\x21\xff\x0bANIMEXTS1.0\x03\x01\x02\x00\x00"
UNKNOWN_APP = b"\x21\xff\x0bXMP DataXMP\x02ab\x01c\x00"
COMMENT = b"\x21\xfe\x05hello\x00"
TEXT = b"\x21\x01\x0c" + struct.pack("<HHHHBBBB", 0, 0, 4, 2, 1, 1, 1, 0) + b"\x02hi\x00"
PIX = [(x + y) % 4 for y in range(3) for x in range(4)]

seeds = {
    "hand-plain.gif": screen(4, 3, GCT4) + frame(4, 3, PIX) + b";",
    "hand-extensions.gif": screen(4, 3, GCT4) + LOOP + GCE_T + COMMENT + TEXT + UNKNOWN_APP + frame(4, 3, PIX) + b";",
    "hand-animexts.gif": screen(4, 3, GCT4) + ANIM + frame(4, 3, PIX) + b";",
    "hand-interlaced.gif": screen(4, 9, GCT4) + frame(4, 9, [y % 4 for y in range(9) for _ in range(4)], interlace=True) + b";",
    "hand-local-map.gif": screen(4, 3) + frame(4, 3, PIX, s=3, lct=GCT4 * 2, left=2, top=1) + b";",
    "hand-length-prefix.gif": struct.pack("<I", 60) + screen(4, 3, GCT4) + frame(4, 3, PIX) + b";",
    "hand-lowercase.gif": screen(4, 3, GCT4, sig=b"gif89a") + frame(4, 3, PIX) + b";",
    "hand-zero-bytes.gif": screen(4, 3, GCT4) + b"\0\0\0" + frame(4, 3, PIX) + b"\0\0" + frame(4, 3, PIX[::-1]) + b"\0;",
    "hand-truncated.gif": (screen(4, 3, GCT4) + frame(4, 3, PIX))[:-6],
    "hand-min-code-13.gif": screen(4, 3, GCT4) + b"," + struct.pack("<HHHHB", 0, 0, 4, 3, 0) + b"\x0d\x01\x00\x00;",
    "hand-no-trailer.gif": screen(4, 3, GCT4) + frame(4, 3, PIX),
    "hand-width-0.gif": screen(4, 3, GCT4) + frame(0, 3, PIX) + b";",
    "hand-extensions-only.gif": screen(4, 3, GCT4) + frame(4, 3, PIX) + COMMENT + GCE_T + b";",
    "hand-unknown-block.gif": screen(4, 3, GCT4) + frame(4, 3, PIX) + b"\x42junk;",
    "hand-label-02.gif": screen(4, 3, GCT4) + b"\x21\x02\x01x\x00" + frame(4, 3, PIX) + b";",
    "hand-beyond-screen.gif": screen(2, 2, GCT4) + frame(4, 3, PIX, left=65534) + b";",
    "hand-misaligned-codes.gif": screen(4, 3, GCT4) + b"," + struct.pack("<HHHHB", 0, 0, 4, 3, 0) + b"\x02" + sub_blocks(lzw_plain(PIX, 2)[1:]) + b";",
}

for name, data in seeds.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
print(f"{len(seeds)} seeds written to {OUT}")
