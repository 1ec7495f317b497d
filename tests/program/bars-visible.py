"""Checks a screenshot for the virtual camera's colour bars: enough clearly yellow, cyan and magenta
pixels. The image is decoded by ffmpeg into raw RGB."""
import subprocess
import sys

path = sys.argv[1]
probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                        "stream=width,height", "-of", "csv=p=0", path],
                       check=True, capture_output=True, text=True).stdout.strip()
width, height = (int(v) for v in probe.split(",")[:2])
raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                     check=True, capture_output=True).stdout
if len(raw) != width * height * 3:
    sys.exit(f"{path}: unexpected size of the decoded picture")

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
missing = [name for name, count in counts.items() if count < 3000]
if missing:
    sys.exit(f"{path}: the live picture is not visible (pixels per colour: {counts})")
print(f"live picture visible: {counts}")
