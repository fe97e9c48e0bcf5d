#!/usr/bin/env python3
"""Packs FOLDER into ZIP so that the same files give the same bytes on any machine, in any
folder, at any time: entries in sorted order, each with the time SOURCE_DATE_EPOCH names
(the commit's), mode 755 for programs and 644 for the rest, no owners.

    pack_zip.py ZIP FOLDER     (FOLDER's own name is the entries' top folder)
"""
import os
import sys
import time
import zipfile


def main():
    archive, folder = sys.argv[1], sys.argv[2]
    stamp = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
    # A zip entry's time is a local calendar time from 1980 on; UTC keeps it the same in
    # every time zone.
    dateTime = time.gmtime(max(stamp, 315532800))[:6]
    base = os.path.dirname(os.path.abspath(folder))
    paths = []
    for top, dirs, files in os.walk(folder):
        paths += [os.path.join(top, name) for name in files]
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as out:
        for path in sorted(os.path.relpath(os.path.abspath(p), base) for p in paths):
            full = os.path.join(base, path)
            entry = zipfile.ZipInfo(path.replace(os.sep, "/"), dateTime)
            entry.create_system = 3
            mode = 0o755 if os.access(full, os.X_OK) else 0o644
            entry.external_attr = (0o100000 | mode) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(full, "rb") as source:
                out.writestr(entry, source.read())


if __name__ == "__main__":
    main()
