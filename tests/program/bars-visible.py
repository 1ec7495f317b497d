"""Checks a screenshot for the virtual camera's colour bars: enough clearly yellow, cyan and magenta
pixels (at least the optional second argument of each, as many as the picture shows at 320 x 240 by
default). The image is decoded by ffmpeg into raw RGB."""
import sys

from screenshot import decode

path = sys.argv[1]
width, height, raw = decode(path)

counts = {"yellow": 0, "cyan": 0, "magenta": 0}
for i in range(0, len(raw), 3):
    r, g, b = raw[i], raw[i + 1], raw[i + 2]
    if r > 180 and g > 180 and b < 90:
        counts["yellow"] += 1
    elif r < 90 and g > 180 and b > 180:
        counts["cyan"] += 1
    elif r > 180 and g < 90 and b > 180:
        counts["magenta"] += 1

# One bar of a 320 x 240 picture is about 45 x 160 pixels.
least = int(sys.argv[2]) if len(sys.argv) > 2 else 3000
missing = [name for name, count in counts.items() if count < least]
if missing:
    sys.exit(f"{path}: the live picture is not visible (pixels per colour: {counts})")
print(f"live picture visible: {counts}")
