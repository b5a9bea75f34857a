"""Compares GIF files frame by frame as Pillow shows them.

Usage: gif_frames.py LIST
LIST holds one pair a line, "original<TAB>copy" (copy empty when the program under test could not
make one). For each pair one line is printed:
  OK name                 every frame has the same pixels (alpha included), area and delay
  SKIP name reason        Pillow cannot read the original in full: nothing to compare
  DIFF name details       a difference, or no copy of a file Pillow reads
Each frame is compared over its own area of the composited picture, so a copy whose screen
shrank (or grew) to the union of its frames still compares equal. Pillow reports a larger size
for a frame that reaches past the screen but keeps drawing on the screen it started with, so only
the part of a frame's area that Pillow really holds in both files is compared.
"""
import sys

from PIL import Image


def frames(path):
    out = []
    with Image.open(path) as im:
        for i in range(getattr(im, "n_frames", 1)):
            im.seek(i)
            im.load()
            box = getattr(im, "dispose_extent", None) or (0, 0) + im.size
            # Premultiplied: the colour of a fully transparent pixel does not count.
            out.append((box, im.info.get("duration", 0), im.convert("RGBA").convert("RGBa")))
    return out


def differing_pixels(box, a, b):
    x0, y0, x1, y1 = box
    x1 = min(x1, a.size[0], b.size[0])
    y1 = min(y1, a.size[1], b.size[1])
    if x1 <= x0 or y1 <= y0:
        return 0
    pa = a.crop((x0, y0, x1, y1)).tobytes()
    pb = b.crop((x0, y0, x1, y1)).tobytes()
    return sum(1 for k in range(0, len(pa), 4) if pa[k:k + 4] != pb[k:k + 4]) if pa != pb else 0


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        pairs = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    for original, copy in pairs:
        name = original
        try:
            want = frames(original)
        except Exception as e:  # noqa: BLE001 - any refusal means "Pillow does not read it"
            print("SKIP", name, type(e).__name__, flush=True)
            continue
        if not copy:
            print("DIFF", name, "no copy was written", flush=True)
            continue
        try:
            got = frames(copy)
        except Exception as e:  # noqa: BLE001
            print("DIFF", name, "copy unreadable:", e, flush=True)
            continue
        if len(got) != len(want):
            print("DIFF", name, "frames", len(want), "->", len(got), flush=True)
            continue
        problems = []
        for i, (w, g) in enumerate(zip(want, got)):
            if w[0] != g[0]:
                problems.append("frame %d area %s -> %s" % (i, w[0], g[0]))
            elif w[1] != g[1]:
                problems.append("frame %d delay %s -> %s" % (i, w[1], g[1]))
            else:
                diff = differing_pixels(w[0], w[2], g[2])
                if diff:
                    problems.append("frame %d: %d pixels differ" % (i, diff))
        print("DIFF" if problems else "OK", name, "; ".join(problems[:3]), flush=True)


main()
