"""Writes manifest.json beside the page: the files the page downloads with their sizes,
so that its progress bar knows the whole before the first byte arrives (a host that
gzips its answers does not say how long the unpacked file is)."""
import json
import os
import sys

out = sys.argv[1]
files = ["norrvale.js", "norrvale.wasm", "norrvale.data", "tessmer-trancedemo5.mp3"]
sizes = {name: os.path.getsize(os.path.join(out, name))
         for name in files if os.path.exists(os.path.join(out, name))}
with open(os.path.join(out, "manifest.json"), "w") as manifest:
    json.dump({"files": sizes}, manifest, indent=1, sort_keys=True)
    manifest.write("\n")
