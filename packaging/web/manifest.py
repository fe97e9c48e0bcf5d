"""Writes manifest.json beside the page, and the content pack it describes.

Usage: manifest.py WEB_FOLDER CONTENT_FOLDER PAGE_TEMPLATE

The manifest also goes into the folder's index.html (from PAGE_TEMPLATE), so that the page
knows it without waiting for one more answer: a round trip is a sixth of a second over
a phone's link.

- "files": what the page downloads, with sizes, so that its progress bar knows the whole
  before the first byte arrives (a host that gzips its answers does not say how long the
  unpacked file is).
- "packed": the same files gzip'd beside themselves, with their sizes. Many hosts
  compress only text types and would send the binaries as they are; the page takes the
  packed ones where the browser can unpack a stream.
- "content": the baked images and models the program reads from imgs/, in the order
  they lie in content.data, one after the other. The page makes them with the generators
  (bake.js, synth.js) or, where downloading is quicker or the generators fail, takes them
  from content.data.
- "generators", "program": hashes of the generators' build and of the program's. The
  page keeps what they made, and their files, in the browser under them, so a changed
  build is fetched and makes its content anew.
"""
import gzip
import hashlib
import json
import os
import sys

out, content_dir, template = sys.argv[1], sys.argv[2], sys.argv[3]
path = lambda name: os.path.join(out, name)

content = sorted(os.listdir(content_dir))
with open(path("content.data"), "wb") as pack:
    for name in content:
        with open(os.path.join(content_dir, name), "rb") as source:
            pack.write(source.read())
content_sizes = [[name, os.path.getsize(os.path.join(content_dir, name))] for name in content]

def build_hash(names):
    digest = hashlib.sha256()
    for name in names:
        with open(path(name), "rb") as source:
            digest.update(name.encode() + b"\0" + source.read())
    return digest.hexdigest()[:16]

program = ["norrvale.js", "norrvale.wasm", "norrvale.data"]
generators = ["generators_worker.js", "bake.js", "bake.wasm", "synth.js", "synth.wasm"]
files = program + ["content.data", "tessmer-trancedemo5.mp3"] + generators
sizes = {name: os.path.getsize(path(name)) for name in files}
packed = {}
for name in files:
    # The MP3 is packed already; the worker's script is fetched by the engine, not the page.
    if name.endswith(".mp3") or name == "generators_worker.js":
        continue
    with open(path(name), "rb") as raw:
        data = raw.read()
    # No name and no time in the header: the same build gives the same bytes.
    with open(path(name + ".gz"), "wb") as target:
        with gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=target, mtime=0) as gz:
            gz.write(data)
    packed[name] = os.path.getsize(path(name + ".gz"))
manifest = {"files": sizes, "packed": packed, "content": content_sizes,
            "generators": build_hash(generators), "program": build_hash(program)}
with open(path("manifest.json"), "w") as out_file:
    json.dump(manifest, out_file, indent=1, sort_keys=True)
    out_file.write("\n")

page_script = '<script src="page.js"></script>'
with open(template, encoding="utf-8") as source:
    page = source.read()
if page_script not in page:
    sys.exit(f"{template} loads no page.js")
inline = json.dumps(manifest, sort_keys=True, separators=(",", ":")).replace("</", "<\\/")
page = page.replace(page_script, f'<script id="manifest" type="application/json">{inline}</script>\n{page_script}')
with open(path("index.html"), "w", encoding="utf-8") as out_file:
    out_file.write(page)
