#!/usr/bin/env python3
"""Compares the release files of two dist folders byte for byte. For each file that
differs it names the first member that differs, and how (its content, size, mode, time
or owner, or a member only one side has), so that a broken reproducible build points
at its cause.

    compare_releases.py DIST_A DIST_B      exit 0: the same files, the same bytes
"""
import os
import sys
import tarfile
import zipfile

RELEASE_ENDINGS = ("-linux-x86_64.tar.gz", "-windows-x86_64.zip", "-web.zip")


def releaseFiles(folder):
    return sorted(name for name in os.listdir(folder) if name.endswith(RELEASE_ENDINGS))


def members(path):
    """(name, metadata, read) per member, in archive order."""
    if path.endswith(".zip"):
        archive = zipfile.ZipFile(path)
        return [(info.filename,
                 (info.date_time, info.external_attr, info.compress_type, info.extra),
                 lambda info=info: archive.read(info)) for info in archive.infolist()]
    archive = tarfile.open(path)
    return [(info.name,
             (info.mode, info.mtime, info.uid, info.gid, info.uname, info.gname,
              info.type, info.linkname),
             lambda info=info: archive.extractfile(info).read() if info.isfile() else b"")
            for info in archive.getmembers()]


def firstDifference(pathA, pathB):
    listA, listB = members(pathA), members(pathB)
    for (nameA, metaA, readA), (nameB, metaB, readB) in zip(listA, listB):
        if nameA != nameB:
            return f"member {nameA} here stands where {nameB} stands there"
        if readA() != readB():
            return f"member {nameA}: its content"
        if metaA != metaB:
            return f"member {nameA}: its metadata {metaA} against {metaB}"
    if len(listA) != len(listB):
        extra = listA[len(listB)] if len(listA) > len(listB) else listB[len(listA)]
        return f"member {extra[0]} is only in one of them"
    return "the archive itself (compression or headers), not any member"


def main():
    folderA, folderB = sys.argv[1], sys.argv[2]
    namesA, namesB = releaseFiles(folderA), releaseFiles(folderB)
    if namesA != namesB or not namesA:
        print(f"release files differ: {namesA} in {folderA}, {namesB} in {folderB}")
        return 1
    failed = 0
    for name in namesA:
        pathA, pathB = os.path.join(folderA, name), os.path.join(folderB, name)
        with open(pathA, "rb") as a, open(pathB, "rb") as b:
            same = a.read() == b.read()
        if same:
            print(f"{name}: the same bytes")
        else:
            print(f"{name} differs; first: {firstDifference(pathA, pathB)}")
            failed = 1
    return failed


if __name__ == "__main__":
    sys.exit(main())
