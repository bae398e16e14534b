#!/usr/bin/python3
# Makes the image files that the format tests read: written by Pillow and
# ImageMagick, never by this library. Every file holds the same patterns,
# which the tests rebuild to know what each file must decode to.
#   W x H = 16 x 12
#   rgb:     (x * 16, y * 20, (x + y) * 8)
#   palette: index (x // 2 + y // 3) % 8 into PALETTE
#   grey:    (x * 16 + y * 4) & 255
#   alpha:   (x * y * 3) & 255 over rgb
#   grey16:  x * 4000 + y * 100
import os
import struct
import subprocess

from PIL import Image

W, H = 16, 12
PALETTE = [(0, 0, 0), (255, 255, 255), (200, 30, 30), (30, 200, 30), (30, 30, 200), (250, 220, 10),
           (128, 0, 128), (90, 90, 90)]
here = os.path.dirname(os.path.abspath(__file__))


def path(name):
    return os.path.join(here, name)


def rgb(x, y):
    return (x * 16, y * 20, (x + y) * 8)


def make_rgb():
    im = Image.new("RGB", (W, H))
    im.putdata([rgb(x, y) for y in range(H) for x in range(W)])
    return im


def make_pal(frame=0):
    im = Image.new("P", (W, H))
    im.putpalette([c for p in PALETTE for c in p])
    im.putdata([(x // 2 + y // 3 + frame) % 8 for y in range(H) for x in range(W)])
    return im


def make_grey():
    im = Image.new("L", (W, H))
    im.putdata([(x * 16 + y * 4) & 255 for y in range(H) for x in range(W)])
    return im


def make_rgba():
    im = Image.new("RGBA", (W, H))
    im.putdata([rgb(x, y) + ((x * y * 3) & 255,) for y in range(H) for x in range(W)])
    return im


def make_grey16():
    im = Image.new("I;16", (W, H))
    im.putdata([x * 4000 + y * 100 for y in range(H) for x in range(W)])
    return im


def topdown_bmp(name):
    # Pillow writes bottom-up only: a top-down 24-bit file by hand.
    row_len = (W * 3 + 3) & ~3
    pixels = b""
    for y in range(H):
        row = b"".join(bytes((b, g, r)) for (r, g, b) in (rgb(x, y) for x in range(W)))
        pixels += row + b"\0" * (row_len - len(row))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, W, -H, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path(name), "wb") as f:
        f.write(header + info + pixels)


def magick(*args):
    subprocess.run(["convert", *args], check=True)


make_rgb().save(path("rgb.png"))
make_pal().save(path("pal.png"))
make_grey().save(path("grey.png"))
make_rgba().save(path("alpha.png"))
make_grey16().save(path("grey16.png"))
make_pal().save(path("pal.bmp"))
topdown_bmp("topdown.bmp")
magick(path("pal.png"), "-compress", "RLE", "BMP3:" + path("rle8.bmp"))
make_rgb().save(path("rgb.pcx"))
make_pal().save(path("pal.pcx"))
make_rgb().save(path("rle.tga"), compression="tga_rle")
make_rgba().save(path("alpha.tga"))
make_rgb().save(path("lzw.tif"), compression="tiff_lzw")
make_grey().save(path("grey.tif"))
make_pal().save(path("pal.tif"))
magick(path("rgb.png"), "-colorspace", "CMYK", path("cmyk.tif"))
magick(path("rgb.png"), path("grey.png"), path("pal.png"), "-compress", "Zip", path("multi.tif"))
make_pal().save(path("multi.gif"), save_all=True, append_images=[make_pal(1), make_pal(2)], duration=30)
make_rgb().save(path("rgb.jpg"), quality=95)
make_rgb().save(path("progressive.jpg"), quality=95, progressive=True)
make_grey().save(path("grey.jpg"), quality=95)
make_rgb().convert("CMYK").save(path("cmyk.jpg"), quality=95)
make_rgb().save(path("rgb.jp2"))
make_rgb().save(path("rgb.j2k"))

# Kinds that other writers make and this library does not: a GIF frame that
# holds only the changed rectangle, colour-mapped and top-left TGA, PNG with
# a transparent palette entry, grey with alpha, 1 and 48 bits, BMP with 32-bit
# alpha, 565 bit fields and 4 bits, planar, 16-bit, G4, JPEG, big-endian and
# tiled TIFF (tiles of under 1 KiB among them), 1-bit PCX.
changed = make_pal()
for y in range(3, 7):
    for x in range(5, 9):
        changed.putpixel((x, y), 7)
make_pal().save(path("sub.gif"), save_all=True, append_images=[changed], duration=40)
make_pal().save(path("pal.tga"))
make_rgb().save(path("topleft.tga"), orientation=1)
make_pal().save(path("trns.png"), transparency=2)
Image.merge("LA", (make_grey(), make_rgba().split()[3])).save(path("la.png"))


def make_bw():
    return make_grey().point(lambda v: 255 if v >= 128 else 0).convert("1")


make_bw().save(path("bw.png"))
make_bw().save(path("bw.pcx"))
magick(path("rgb.png"), "-depth", "16", "PNG48:" + path("rgb48.png"))
magick(path("alpha.png"), path("alpha32.bmp"))
magick(path("rgb.png"), "-define", "bmp:subtype=RGB565", path("rgb565.bmp"))
magick(path("pal.png"), "-colors", "8", "BMP3:" + path("pal4.bmp"))
magick(path("rgb.png"), "-interlace", "plane", path("planar.tif"))
magick(path("rgb.png"), "-depth", "16", path("rgb16.tif"))
magick(path("grey.png"), "-threshold", "50%", "-monochrome", "-compress", "Group4", path("g4.tif"))
magick(path("rgb.png"), "-compress", "JPEG", "-quality", "95", path("jpeg.tif"))
magick(path("rgb.png"), "-endian", "MSB", path("msb.tif"))
magick(path("rgb.png"), "-define", "tiff:tile-geometry=16x16", "-compress", "Zip", path("tiled.tif"))
magick(path("rgb.png"), "-define", "tiff:tile-geometry=16x16", "-compress", "None", path("tiled16.tif"))
magick(path("grey.png"), "-define", "tiff:tile-geometry=16x16", "-compress", "None", path("tiledgrey.tif"))
