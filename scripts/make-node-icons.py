#!/usr/bin/python3
"""Draws the 40 node icons of the tree (16 x 16 PNG) into src/app/icons/.

Icons 0..19 are the normal forms; icon n + 20 is icon n while its node is selected (the same
picture on a highlighted tile). Each picture is drawn at 4x and scaled down for smooth edges.
Run it again after changing a drawing; the PNGs are committed.
"""
import math
import os
from PIL import Image, ImageDraw

S = 64  # drawing size; the icons are 16 x 16
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "app", "icons")

INK = (40, 40, 48, 255)


def page(d, fill=(255, 255, 255, 255), lines=None):
    d.polygon([(12, 4), (42, 4), (54, 16), (54, 60), (12, 60)], fill=fill, outline=INK)
    d.line([(42, 4), (42, 16), (54, 16)], fill=INK, width=3)
    d.rectangle([12, 4, 54, 60], outline=None)
    d.line([(12, 4), (42, 4)], fill=INK, width=3)
    d.line([(12, 4), (12, 60), (54, 60), (54, 16)], fill=INK, width=3)
    if lines:
        for y in range(24, 56, 8):
            d.line([(20, y), (46, y)], fill=lines, width=3)


def draw(n, d):
    if n == 0:  # plain note
        page(d, lines=(150, 150, 160, 255))
    elif n == 1:  # folder
        d.polygon([(4, 14), (24, 14), (30, 20), (60, 20), (60, 56), (4, 56)], fill=(240, 200, 80, 255), outline=INK)
        d.line([(4, 26), (60, 26)], fill=INK, width=3)
    elif n == 2:  # globe (web page)
        d.ellipse([6, 6, 58, 58], fill=(90, 160, 230, 255), outline=INK, width=3)
        d.ellipse([20, 6, 44, 58], outline=INK, width=3)
        d.line([(6, 32), (58, 32)], fill=INK, width=3)
        d.line([(11, 18), (53, 18)], fill=INK, width=2)
        d.line([(11, 46), (53, 46)], fill=INK, width=2)
    elif n == 3:  # star
        pts = []
        for i in range(10):
            r = 28 if i % 2 == 0 else 12
            a = -math.pi / 2 + i * math.pi / 5
            pts.append((32 + r * math.cos(a), 34 + r * math.sin(a)))
        d.polygon(pts, fill=(250, 200, 30, 255), outline=INK)
    elif n == 4:  # book
        d.rectangle([10, 6, 54, 58], fill=(170, 50, 50, 255), outline=INK, width=3)
        d.rectangle([16, 6, 20, 58], fill=(120, 30, 30, 255))
        d.rectangle([26, 16, 48, 24], fill=(250, 230, 180, 255))
    elif n == 5:  # sticky note
        d.polygon([(6, 6), (58, 6), (58, 44), (44, 58), (6, 58)], fill=(255, 235, 110, 255), outline=INK)
        d.polygon([(44, 58), (44, 44), (58, 44)], fill=(220, 190, 60, 255), outline=INK)
    elif n == 6:  # red flag
        d.line([(14, 6), (14, 60)], fill=INK, width=5)
        d.polygon([(16, 8), (54, 18), (16, 32)], fill=(220, 40, 40, 255), outline=INK)
    elif n == 7:  # check mark
        d.ellipse([4, 4, 60, 60], fill=(60, 170, 80, 255), outline=INK, width=3)
        d.line([(18, 32), (28, 44), (46, 20)], fill=(255, 255, 255, 255), width=7)
    elif n == 8:  # question
        d.ellipse([4, 4, 60, 60], fill=(70, 110, 200, 255), outline=INK, width=3)
        d.arc([20, 12, 44, 36], 180, 90, fill=(255, 255, 255, 255), width=6)
        d.line([(32, 36), (32, 42)], fill=(255, 255, 255, 255), width=6)
        d.ellipse([28, 46, 36, 54], fill=(255, 255, 255, 255))
    elif n == 9:  # warning
        d.polygon([(32, 4), (62, 58), (2, 58)], fill=(250, 190, 30, 255), outline=INK)
        d.line([(32, 20), (32, 42)], fill=INK, width=6)
        d.ellipse([28, 46, 36, 54], fill=INK)
    elif n == 10:  # heart
        d.ellipse([6, 10, 34, 38], fill=(220, 50, 90, 255))
        d.ellipse([30, 10, 58, 38], fill=(220, 50, 90, 255))
        d.polygon([(8, 30), (56, 30), (32, 58)], fill=(220, 50, 90, 255))
    elif n == 11:  # key
        d.ellipse([4, 18, 28, 42], fill=(230, 190, 60, 255), outline=INK, width=3)
        d.ellipse([12, 26, 20, 34], fill=(255, 255, 255, 0), outline=INK, width=2)
        d.rectangle([26, 27, 60, 33], fill=(230, 190, 60, 255), outline=INK)
        d.rectangle([48, 33, 54, 42], fill=(230, 190, 60, 255), outline=INK)
    elif n == 12:  # envelope
        d.rectangle([4, 14, 60, 50], fill=(250, 250, 240, 255), outline=INK, width=3)
        d.line([(4, 14), (32, 36), (60, 14)], fill=INK, width=3)
    elif n == 13:  # light bulb
        d.ellipse([14, 4, 50, 40], fill=(255, 240, 120, 255), outline=INK, width=3)
        d.rectangle([24, 38, 40, 52], fill=(170, 170, 180, 255), outline=INK, width=2)
        d.line([(26, 56), (38, 56)], fill=INK, width=4)
    elif n == 14:  # page added from the catalog's files
        page(d, fill=(235, 245, 255, 255), lines=(60, 110, 210, 255))
    elif n == 15:  # picture
        d.rectangle([4, 10, 60, 54], fill=(150, 210, 250, 255), outline=INK, width=3)
        d.polygon([(8, 50), (26, 26), (40, 42), (48, 34), (58, 50)], fill=(60, 150, 60, 255))
        d.ellipse([42, 14, 52, 24], fill=(255, 220, 40, 255))
    elif n == 16:  # clock
        d.ellipse([4, 4, 60, 60], fill=(255, 255, 255, 255), outline=INK, width=4)
        d.line([(32, 32), (32, 14)], fill=INK, width=4)
        d.line([(32, 32), (46, 38)], fill=INK, width=4)
    elif n == 17:  # lock
        d.arc([16, 4, 48, 40], 180, 360, fill=INK, width=6)
        d.line([(19, 22), (19, 28)], fill=INK, width=6)
        d.line([(45, 22), (45, 28)], fill=INK, width=6)
        d.rectangle([10, 28, 54, 60], fill=(200, 160, 60, 255), outline=INK, width=3)
    elif n == 18:  # gear
        for i in range(8):
            a = i * math.pi / 4
            x, y = 32 + 24 * math.cos(a), 32 + 24 * math.sin(a)
            d.ellipse([x - 7, y - 7, x + 7, y + 7], fill=(130, 130, 140, 255))
        d.ellipse([10, 10, 54, 54], fill=(130, 130, 140, 255), outline=INK, width=3)
        d.ellipse([24, 24, 40, 40], fill=(255, 255, 255, 255), outline=INK, width=3)
    elif n == 19:  # page waiting for download
        page(d, fill=(255, 255, 255, 255))
        d.rectangle([28, 16, 38, 36], fill=(30, 140, 60, 255))
        d.polygon([(20, 34), (46, 34), (33, 52)], fill=(30, 140, 60, 255))


def icon(n, selected):
    img = Image.new("RGBA", (S, S), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    if selected:
        d.rounded_rectangle([0, 0, S - 1, S - 1], radius=8, fill=(190, 215, 250, 255), outline=(30, 80, 190, 255), width=4)
    draw(n, d)
    return img.resize((16, 16), Image.LANCZOS)


def main():
    os.makedirs(OUT, exist_ok=True)
    names = []
    for n in range(20):
        for sel in (False, True):
            k = n + (20 if sel else 0)
            name = "node%02d.png" % k
            icon(n, sel).save(os.path.join(OUT, name), optimize=True)
            names.append(name)
    with open(os.path.join(OUT, "nodeicons.qrc"), "w") as f:
        f.write('<RCC>\n  <qresource prefix="/nodeicons">\n')
        for name in sorted(names):
            f.write("    <file>%s</file>\n" % name)
        f.write("  </qresource>\n</RCC>\n")


if __name__ == "__main__":
    main()
