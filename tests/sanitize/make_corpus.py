#!/usr/bin/env python3
"""Makes damaged copies of the staged content, one folder per case, as a user with a
damaged download would have them: every file is the stage's (through a link) but the
damaged ones. Beside the content, expected.txt holds the lines the demo must print for
them, one per line, in any order.

    make_corpus.py STAGE OUT CASE     (CASE: materials, geometry, images or shaders)
"""
import os
import shutil
import struct
import sys


def read(stage, name):
    with open(os.path.join(stage, name), "rb") as f:
        return f.read()


def before_first(text, marker, lines):
    """Puts lines in front of the first line that starts with marker."""
    at = text.index(marker.encode())
    return text[:at] + "".join(l + "\n" for l in lines).encode() + text[at:]


def with_header_size(png, width, height):
    """The same PNG with its header claiming another size (the CRC is left stale, as a
    flipped byte would leave it)."""
    return png[:16] + struct.pack(">II", width, height) + png[24:]


def materials(stage):
    """Material lines with no material yet (the first one of the donut's crashed the
    importer), and numbers missing, huge or not numbers."""
    early = ["map_Kd donut_dough.png", "map_Ks -bm 1e999999 donut_gloss.png", "bump -bm nan bump.png",
             "disp disp.png", "norm norm.png", "refl -type sphere refl.png", "map_Ka -o 1 1 1 amb.png",
             "Kd", "Ks 1e999999 -1e999999 nan", "Ns 99999999999999999999999999", "d nan", "Tr -inf",
             "Ni", "aniso 1e999999", "a 2", "illum 99999999999999999999", "Pr nan", "Pm", "Ps 1 2"]
    # Values the importer takes inside a material; the material's own lines follow and win.
    inside = ["Kd 1", "Ka 1e999999", "Ns -1e999999", "d", "Ni 1e999999", "illum", "Tf 1e-45",
              "Tr -inf", "d nan", "Pr nan", "map_Ks -bm 1e999999 donut_gloss.png"]
    files = {}
    for name in ("donut4", "ForestShip", "DuckPart2.4.textured", "ship4", "ship2"):
        lines = inside + (["Ks nan nan"] if name == "ForestShip" else [])
        text = before_first(read(stage, "imgs/%s.mtl" % name), "newmtl", early)
        at = text.index(b"\n", text.index(b"newmtl")) + 1
        files["imgs/%s.mtl" % name] = text[:at] + "".join(l + "\n" for l in lines).encode() + text[at:]
    # A colour with two of its three numbers is refused, and the model with it.
    expected = ['ERROR::ASSIMP:: Cannot parse string "" as a real number: does not start with digit '
                'or decimal point followed by digit.']
    return files, expected


def geometry(stage):
    """Faces whose corners do not exist, and faces too small to be triangles."""
    files = {
        "imgs/donut4.obj": read(stage, "imgs/donut4.obj") + b"f 1 2 999999\n",
        "imgs/ForestShip.obj": read(stage, "imgs/ForestShip.obj") + b"f -1 -2 -999999\n",
        "imgs/DuckPart2.4.textured.obj": read(stage, "imgs/DuckPart2.4.textured.obj") + b"f 0 1 2\n",
        "imgs/ship4.obj": read(stage, "imgs/ship4.obj") + b"f 1\nf 1 2\nf 3/999999/999999 4 5\n",
        "imgs/ship2.obj": read(stage, "imgs/ship2.obj") + b"v 1e999999 nan -1e999999\nvn nan nan -1e999999\nf -1//-1 1 2\n",
    }
    # The donut and the duck are loaded twice (two scenes draw them differently), the
    # forest ship once; the last two ships import.
    expected = ["ERROR::ASSIMP:: OBJ: vertex index out of range"] * (2 + 1) + \
               ["ERROR::ASSIMP:: OBJ: Invalid face index."] * 2
    return files, expected


def images(stage):
    """Cut, zeroed and impossibly large PNGs: logos, the picture, skies, a model texture."""
    logo = read(stage, "imgs/greet03.png")
    files = {
        "imgs/greet03.png": logo[:len(logo) // 2],
        "imgs/greet07.png": bytes(len(read(stage, "imgs/greet07.png"))),
        "imgs/greet11.png": with_header_size(read(stage, "imgs/greet11.png"), 40000, 40000),
        "imgs/officialmolvanian2.png": with_header_size(read(stage, "imgs/officialmolvanian2.png"),
                                                        0x7FFFFFFF, 0x7FFFFFFF),
        "imgs/Tampere2.png": read(stage, "imgs/Tampere2.png")[:100],
        "imgs/HelsinkiTop.png": with_header_size(read(stage, "imgs/HelsinkiTop.png"), 1 << 24 | 1, 16),
        "imgs/donut_sprinkles.png": b"",
    }
    expected = ["Texture failed to load at path: imgs/greet03.png",
                "Texture failed to load at path: imgs/greet07.png",
                "Texture failed to load at path: imgs/greet11.png",
                "Texture failed to load at path: imgs/officialmolvanian2.png",
                "Cubemap texture failed to load at path: imgs/HelsinkiTop.png"] + \
               ["Cubemap texture failed to load at path: imgs/Tampere2.png"] * 6 + \
               ["Texture failed to load at path: donut_sprinkles.png"] * 2
    return files, expected


def shaders(stage):
    """Shader files with bytes that are not text: binary garbage, a NUL mid-file, and
    only high bytes. Each file belongs to one program."""
    vertex = read(stage, "shdrs/pointTest2.vs")
    files = {
        "shdrs/pointTestLast.fs": read(stage, "imgs/greet01.png")[:2048],
        "shdrs/pointTest2.vs": vertex[:len(vertex) // 2] + b"\0" + vertex[len(vertex) // 2:],
        "shdrs/6.5.skybox.vs": bytes(range(0x80, 0x100)) * 4,
    }
    expected = ["ERROR::SHADER_COMPILATION_ERROR of type: FRAGMENT",
                "ERROR::SHADER_COMPILATION_ERROR of type: VERTEX",
                "ERROR::SHADER_COMPILATION_ERROR of type: VERTEX"] + \
               ["ERROR::PROGRAM_LINKING_ERROR of type: PROGRAM"] * 3
    return files, expected


CASES = {"materials": materials, "geometry": geometry, "images": images, "shaders": shaders}


def main():
    if len(sys.argv) != 4 or sys.argv[3] not in CASES:
        print(__doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    stage, out, case = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
    files, expected = CASES[case](stage)
    folder = os.path.join(out, case)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    # The program and its libraries too, where the stage has them (the Windows one).
    for entry in os.listdir(stage):
        if entry not in ("imgs", "shdrs"):
            os.symlink(os.path.join(stage, entry), os.path.join(folder, entry))
    for sub in ("imgs", "shdrs"):
        os.makedirs(os.path.join(folder, sub))
        for name in os.listdir(os.path.join(stage, sub)):
            os.symlink(os.path.join(stage, sub, name), os.path.join(folder, sub, name))
    for name, data in files.items():
        os.remove(os.path.join(folder, name))
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    with open(os.path.join(folder, "expected.txt"), "w") as f:
        f.write("".join(line + "\n" for line in expected))
    return 0


if __name__ == "__main__":
    sys.exit(main())
