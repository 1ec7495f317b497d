"""Screenshots of the program tests, decoded by ffmpeg into raw RGB."""
import subprocess
import sys


def decode(path):
    """(width, height, rgb bytes) of the picture at `path`; ends the test when it cannot be read whole."""
    probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                            "stream=width,height", "-of", "csv=p=0", path],
                           check=True, capture_output=True, text=True).stdout.strip()
    width, height = (int(v) for v in probe.split(",")[:2])
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                         check=True, capture_output=True).stdout
    if len(raw) != width * height * 3:
        sys.exit(f"{path}: unexpected size of the decoded picture")
    return width, height, raw
