"""Makes the program's JS the same wherever and whenever it is linked. emcc's data
packager writes the data file's absolute path (the build folder) into the loader, and a
random package id that only its preload cache, unused here, reads. The path becomes the
file's own name, which is how the page fetches it anyway, and the id is derived from the
data, so that the same data gives the same JS.

    reproducible_js.py JS DATA
"""
import hashlib
import os
import re
import sys
import uuid

js, data = sys.argv[1], os.path.abspath(sys.argv[2])
with open(js, encoding="utf-8") as source:
    text = source.read()
with open(data, "rb") as packed:
    digest = hashlib.sha256(packed.read()).digest()
text = text.replace(data, os.path.basename(data))
text = re.sub(r'"package_uuid":"[0-9a-f-]*"',
              '"package_uuid":"%s"' % uuid.UUID(bytes=digest[:16]), text)
with open(js + ".partial", "w", encoding="utf-8") as out:
    out.write(text)
os.replace(js + ".partial", js)
