"""Writes manifest.json beside the page: the files the page downloads with their sizes,
so that its progress bar knows the whole before the first byte arrives (a host that
gzips its answers does not say how long the unpacked file is).

The program's files also go beside themselves gzip'd, with their sizes under "packed":
many hosts compress only text types, and would send the 46 MiB of images and models as
they are. The page takes the packed ones where the browser can unpack a stream."""
import gzip
import json
import os
import sys

out = sys.argv[1]
files = ["norrvale.js", "norrvale.wasm", "norrvale.data", "tessmer-trancedemo5.mp3"]
present = [name for name in files if os.path.exists(os.path.join(out, name))]
sizes = {name: os.path.getsize(os.path.join(out, name)) for name in present}
packed = {}
for name in present:
    if name.endswith(".mp3"):
        continue  # packed already
    with open(os.path.join(out, name), "rb") as raw:
        data = raw.read()
    # No name and no time in the header: the same build gives the same bytes.
    with open(os.path.join(out, name + ".gz"), "wb") as target:
        with gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=target, mtime=0) as gz:
            gz.write(data)
    packed[name] = os.path.getsize(os.path.join(out, name + ".gz"))
with open(os.path.join(out, "manifest.json"), "w") as manifest:
    json.dump({"files": sizes, "packed": packed}, manifest, indent=1, sort_keys=True)
    manifest.write("\n")
