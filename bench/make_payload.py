#!/usr/bin/env python3
"""Seeded payloads for the extraction benchmark; the same arguments give the same bytes.

  make_payload.py A OUTDIR [--flat]   ~200 MB in 40 files, half text-like, half random
  make_payload.py B OUTDIR [--flat]   5000 files of 1-64 KB in nested folders, mixed
  make_payload.py Z OUTDIR --mb N     one file of N MB that compresses more than 100:1
  make_payload.py R OUTDIR --mb N     one file of N MB of random bytes

--flat writes every file straight into OUTDIR, its nested path joined with "_"
(packages hold plain file names only); the contents are the same as nested.
"""
import argparse
import os
import random
import sys

SEED = 20240611
WORDS = (
    "setup engine package record stub window message progress folder file "
    "install update agent version registry value section key default error "
    "the of and to in is for on with as by at from that this be are was it "
    "void int return if else while struct class const char unsigned size_t "
    "CreateFileA WriteFile ReadFile CloseHandle GetLastError HANDLE DWORD"
).split()


def text_pool(rng, size):
    """Text-like bytes: words, punctuation and line breaks, roughly 3:1 under zlib."""
    parts = []
    total = 0
    while total < size:
        line = " ".join(rng.choices(WORDS, k=rng.randint(3, 14)))
        if rng.random() < 0.3:
            line += " = %d;" % rng.randint(0, 1 << 20)
        line += "\r\n"
        parts.append(line)
        total += len(line)
    return "".join(parts).encode("ascii")[:size]


POOL = None


def text_bytes(rng, size):
    # Slices of a 4 MB pool at random places: the deflate window (32 KB) never sees
    # the repetition, so each file compresses like fresh text.
    global POOL
    if POOL is None:
        POOL = text_pool(random.Random(SEED), 4 << 20)
    out = bytearray()
    while len(out) < size:
        n = min(rng.randint(4096, 65536), size - len(out))
        start = rng.randrange(0, len(POOL) - n)
        out += POOL[start:start + n]
    return bytes(out)


def random_bytes(rng, size):
    return rng.randbytes(size)


def write(outdir, relpath, data, flat):
    if flat:
        relpath = relpath.replace("\\", "_").replace("/", "_")
    path = os.path.join(outdir, relpath)
    os.makedirs(os.path.dirname(path) or outdir, exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def payload_a(outdir, flat):
    # 40 files, 2.5-7.5 MB each (200 MB in all), alternating text-like and random.
    rng = random.Random(SEED)
    sizes = [rng.randint(2_500_000, 7_500_000) for _ in range(40)]
    scale = 200_000_000 / sum(sizes)
    for i, size in enumerate(sizes):
        size = int(size * scale)
        frng = random.Random(SEED * 1000 + i)
        data = text_bytes(frng, size) if i % 2 == 0 else random_bytes(frng, size)
        kind = "text" if i % 2 == 0 else "data"
        write(outdir, "file%02d.%s" % (i, "txt" if kind == "text" else "bin"), data, flat)


def payload_b(outdir, flat):
    # 5000 files of 1-64 KB in a tree up to three folders deep: half text, half random.
    rng = random.Random(SEED + 1)
    folders = [""]
    for a in range(10):
        folders.append("dir%d" % a)
        for b in range(5):
            folders.append("dir%d/sub%d" % (a, b))
            for c in range(2):
                folders.append("dir%d/sub%d/leaf%d" % (a, b, c))
    for i in range(5000):
        folder = folders[rng.randrange(len(folders))]
        size = rng.randint(1024, 65536)
        frng = random.Random(SEED * 1000 + 100000 + i)
        text = rng.random() < 0.5
        data = text_bytes(frng, size) if text else random_bytes(frng, size)
        name = "f%04d.%s" % (i, "txt" if text else "bin")
        write(outdir, folder + "/" + name if folder else name, data, flat)


def single(outdir, mb, compressible):
    rng = random.Random(SEED + 2)
    chunk = (text_bytes(rng, 4096) * 256) if compressible else None  # 1 MB
    with open(os.path.join(outdir, "big%s%d.bin" % ("z" if compressible else "r", mb)), "wb") as f:
        for _ in range(mb):
            f.write(chunk if compressible else rng.randbytes(1 << 20))


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("kind", choices=["A", "B", "Z", "R"])
    p.add_argument("outdir")
    p.add_argument("--flat", action="store_true")
    p.add_argument("--mb", type=int, default=10)
    args = p.parse_args()
    os.makedirs(args.outdir, exist_ok=True)
    if args.kind == "A":
        payload_a(args.outdir, args.flat)
    elif args.kind == "B":
        payload_b(args.outdir, args.flat)
    else:
        single(args.outdir, args.mb, args.kind == "Z")
    return 0


if __name__ == "__main__":
    sys.exit(main())
