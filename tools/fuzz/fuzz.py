#!/usr/bin/env python3
"""Mutation fuzzer for the demo's loaders: damages one staged file per case and loads it
with the sanitized harness (fuzz_load), in a folder that is otherwise the stage.

    fuzz.py --harness build/tools/fuzz/fuzz_load --stage build/stage [--cases N]
            [--seed S] [--jobs J] [--work build/fuzz]

Case k uses the seed S + k alone, so any case can be replayed with --seed S+k --cases 1.
A finding is a run that did not exit 0, was killed, ran out of time, or whose stderr has
a sanitizer report. Each is printed with its seed and a one-line reproducer, and its
damaged file and stderr are kept under WORK/findings/seed-<seed>/. Needs a display
(make fuzz runs it under Xvfb).
"""
import argparse
import concurrent.futures
import os
import random
import re
import shutil
import subprocess
import sys
import time

SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")
# Numbers a damaged text file may carry instead of its own.
ODD_NUMBERS = ("1e999999", "-1e999999", "nan", "-nan", "inf", "0", "-0", "-1", "-2147483649",
               "4294967296", "99999999999999999999999999", "1e-45", "", "0x10", "1.#IND")
NUMBER = re.compile(rb"-?\d+(?:\.\d*)?(?:[eE][-+]?\d+)?")
TIMEOUT_S = 60


# How often each kind of file is picked: the model and material readers are the most
# intricate parsers the demo runs.
KIND_WEIGHTS = {"obj": 3, "mtl": 3, "png": 2, "shader": 2}


def kind_of(path):
    return "shader" if path.startswith("shdrs/") else path.rsplit(".", 1)[-1]


def stage_inputs(stage):
    """What can be damaged, as (path relative to the stage, how the harness loads it)."""
    inputs = []
    images = sorted(f for f in os.listdir(os.path.join(stage, "imgs")))
    objs = [f for f in images if f.endswith(".obj")]
    for name in objs:
        inputs.append(("imgs/" + name, ["model", "imgs/" + name]))
    for name in images:
        if name.endswith(".mtl"):
            # Loaded through the model that names it.
            for obj in objs:
                with open(os.path.join(stage, "imgs", obj), "rb") as f:
                    if ("mtllib " + name).encode() in f.read(4096):
                        inputs.append(("imgs/" + name, ["model", "imgs/" + obj]))
                        break
        elif name.endswith(".png"):
            inputs.append(("imgs/" + name, ["texture", "imgs/" + name]))
            inputs.append(("imgs/" + name, ["cubemap", "imgs/" + name]))
    shaders = sorted(os.listdir(os.path.join(stage, "shdrs")))
    vertex = [s for s in shaders if s.endswith(".vs")]
    fragment = [s for s in shaders if s.endswith(".fs")]
    for name in vertex:
        partner = name[:-3] + ".fs" if name[:-3] + ".fs" in fragment else fragment[0]
        inputs.append(("shdrs/" + name, ["shader", "shdrs/" + name, "shdrs/" + partner]))
    for name in fragment:
        partner = name[:-3] + ".vs" if name[:-3] + ".vs" in vertex else vertex[0]
        inputs.append(("shdrs/" + name, ["shader", "shdrs/" + partner, "shdrs/" + name]))
    return inputs


def mutate(data, rng, text):
    """One to four damages: flipped bytes, a cut, a repeated or zeroed block, and in the
    text formats numbers turned huge, negative or not a number, and lines moved about."""
    data = bytearray(data)
    kinds = ["flip", "truncate", "repeat", "zero"] + (["number", "number", "line"] if text else [])
    for _ in range(rng.randint(1, 4)):
        if not data:
            break
        kind = rng.choice(kinds)
        if kind == "flip":
            for _ in range(rng.randint(1, 16)):
                at = rng.randrange(len(data))
                data[at] = rng.randrange(256) if rng.random() < 0.5 else data[at] ^ (1 << rng.randrange(8))
        elif kind == "truncate":
            del data[rng.randrange(len(data)):]
        elif kind in ("repeat", "zero"):
            start = rng.randrange(len(data))
            block = bytes(data[start:start + rng.randint(1, 4096)])
            if kind == "zero":
                data[start:start + len(block)] = bytes(len(block))
            else:
                at = rng.randrange(len(data) + 1)
                data[at:at] = block * rng.randint(1, 8)
        elif kind == "number":
            # One at a time, since each replacement moves the offsets after it.
            for _ in range(rng.randint(1, 8)):
                numbers = list(NUMBER.finditer(data))
                if not numbers:
                    break
                match = rng.choice(numbers)
                data[match.start():match.end()] = rng.choice(ODD_NUMBERS).encode()
        elif kind == "line":
            lines = bytes(data).split(b"\n")
            line = lines[rng.randrange(len(lines))]
            lines.insert(rng.randrange(min(len(lines), 8) + 1), line)
            data = bytearray(b"\n".join(lines))
    return bytes(data)


def make_slot(stage, slot):
    """A folder that is the stage through links, which a case damages one file of."""
    if os.path.isdir(slot):
        shutil.rmtree(slot)
    for sub in ("imgs", "shdrs"):
        os.makedirs(os.path.join(slot, sub))
        for name in os.listdir(os.path.join(stage, sub)):
            os.symlink(os.path.join(stage, sub, name), os.path.join(slot, sub, name))


def run_case(seed, inputs, stage, slot, harness, env):
    rng = random.Random(seed)
    kinds = sorted({kind_of(path) for path, _ in inputs})
    kind = rng.choices(kinds, [KIND_WEIGHTS[k] for k in kinds])[0]
    target, command = rng.choice([i for i in inputs if kind_of(i[0]) == kind])
    with open(os.path.join(stage, target), "rb") as f:
        original = f.read()
    damaged = mutate(original, rng, not target.endswith(".png"))
    path = os.path.join(slot, target)
    os.remove(path)
    with open(path, "wb") as f:
        f.write(damaged)
    try:
        proc = subprocess.run([harness] + command, cwd=slot, env=env, capture_output=True,
                              timeout=TIMEOUT_S)
        status, err = proc.returncode, proc.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired as e:
        status, err = "timeout", (e.stderr or b"").decode("utf-8", "replace")
    finding = None
    if status == "timeout":
        finding = "no end within %d s" % TIMEOUT_S
    elif any(mark in err for mark in SANITIZER_MARKS):
        line = next(l for l in err.splitlines() if any(m in l for m in SANITIZER_MARKS))
        finding = line.strip()[:160]
    elif status != 0:
        finding = "exit status %d" % status if status > 0 else "killed by signal %d" % -status
    result = (seed, target, command[0], finding, damaged, err)
    os.remove(path)
    os.symlink(os.path.join(stage, target), path)
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--harness", required=True)
    parser.add_argument("--stage", required=True)
    parser.add_argument("--cases", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--work", default="build/fuzz")
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        print("fuzz.py: no display; run it through make fuzz (Xvfb)", file=sys.stderr)
        return 2
    seed0 = args.seed if args.seed is not None else int(time.time()) % 1000000 * 1000
    stage, harness = os.path.abspath(args.stage), os.path.abspath(args.harness)
    work = os.path.abspath(args.work)
    inputs = stage_inputs(stage)
    here = os.path.dirname(os.path.abspath(__file__))
    env = dict(os.environ,
               ASAN_OPTIONS="detect_leaks=1:exitcode=66",
               UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1",
               LSAN_OPTIONS="suppressions=" + os.path.join(here, "..", "..", "tests", "sanitize", "lsan.supp"))
    slots = [os.path.join(work, "slot%d" % j) for j in range(args.jobs)]
    for slot in slots:
        make_slot(stage, slot)
    print("fuzzing %d cases from seed %d, %d inputs, %d jobs" % (args.cases, seed0, len(inputs), args.jobs),
          flush=True)

    findings, done, started = [], 0, time.time()
    tally = {}
    free = list(slots)
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        pending = {}
        seeds = iter(range(seed0, seed0 + args.cases))
        while True:
            while free:
                seed = next(seeds, None)
                if seed is None:
                    break
                slot = free.pop()
                pending[pool.submit(run_case, seed, inputs, stage, slot, harness, env)] = slot
            if not pending:
                break
            finished, _ = concurrent.futures.wait(pending, return_when=concurrent.futures.FIRST_COMPLETED)
            for future in finished:
                free.append(pending.pop(future))
                seed, target, mode, finding, damaged, err = future.result()
                done += 1
                tally[kind_of(target)] = tally.get(kind_of(target), 0) + 1
                if finding:
                    keep = os.path.join(work, "findings", "seed-%d" % seed)
                    os.makedirs(keep, exist_ok=True)
                    with open(os.path.join(keep, os.path.basename(target)), "wb") as f:
                        f.write(damaged)
                    with open(os.path.join(keep, "stderr.txt"), "w") as f:
                        f.write(err)
                    findings.append(seed)
                    print("finding: seed %d, %s (%s): %s\n  reproduce: make fuzz SEED=%d N=1"
                          % (seed, target, mode, finding, seed), flush=True)
                if done % 100 == 0:
                    print("%d cases, %d findings, %.0f s" % (done, len(findings), time.time() - started),
                          flush=True)
    for slot in slots:
        shutil.rmtree(slot, ignore_errors=True)
    kinds = ", ".join("%s %d" % (k, v) for k, v in sorted(tally.items()))
    print("%d cases (%s), %d findings, %.0f s" % (done, kinds, len(findings), time.time() - started))
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
