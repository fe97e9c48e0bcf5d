"""Prints how far apart pairs of pictures are, one JSON object per pair:
mean: the mean absolute difference per channel (0-255); far: the share of pixels where
some channel differs by more than 48.
Usage: compare_frames.py A1 B1 [A2 B2 ...]   (runs with Debian's /usr/bin/python3 and PIL)"""
import json
import sys

from PIL import Image, ImageChops, ImageStat

paths = sys.argv[1:]
for a, b in zip(paths[0::2], paths[1::2]):
    one = Image.open(a).convert("RGB")
    two = Image.open(b).convert("RGB")
    difference = ImageChops.difference(one, two)
    mean = sum(ImageStat.Stat(difference).mean) / 3
    largest = difference.split()
    far = ImageChops.lighter(ImageChops.lighter(largest[0], largest[1]), largest[2])
    histogram = far.histogram()
    share = sum(histogram[49:]) / (one.width * one.height)
    print(json.dumps({"a": a, "b": b, "mean": round(mean, 3), "far": round(share, 5)}))
