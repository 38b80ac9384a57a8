"""The benchmark's payload: about 200 MB in 20 files, made from a seed, so that every machine
measures the same bytes and nothing depends on the system's own files.

The kinds an installer carries: text (help, licences, scripts), data that compresses the way
executables do, one file of random bytes that deflate cannot shrink, and one empty file. Each
kind is first drawn as a pool of a few MiB; a file is then a sequence of slices taken at random
offsets of its kind's pool. A repeated slice lies far beyond deflate's 32 KiB window, so the
files compress as their pool does, and the pools are what make the 200 MB cheap to draw.
"""

import hashlib
import itertools
import json
import operator
import random
from pathlib import Path

SEED = 20240601
# Changing anything that changes the bytes changes this, so an old payload is made anew.
GENERATOR_VERSION = 1

KiB = 1024
MiB = 1024 * KiB

# (name, kind, size): the order is the order of the archive; the installation program of the
# loader's installer comes before these.
FILES = [
    ("readme.txt", "text", 1 * KiB + 17),
    ("license.txt", "text", 61 * KiB),
    ("empty.dat", "empty", 0),
    ("setup-helper.dll", "code", 41 * KiB),
    ("scripts.txt", "text", 700 * KiB),
    ("uninstall.exe", "code", 300 * KiB + 512),
    ("product.exe", "code", 30 * MiB),
    ("manual.txt", "text", 24 * MiB),
    ("engine.dll", "code", 24 * MiB),
    ("media.bin", "random", 20 * MiB),
    ("reference.txt", "text", 16 * MiB),
    ("codecs.dll", "code", 18 * MiB),
    ("help.txt", "text", 12 * MiB + 3),
    ("plugins.dll", "code", 14 * MiB),
    ("changes.txt", "text", 8 * MiB),
    ("tools.exe", "code", 10 * MiB),
    ("samples.txt", "text", 3 * MiB),
    ("network.dll", "code", 6 * MiB),
    ("fonts.dll", "code", 4 * MiB),
    ("drivers.dll", "code", 1536 * KiB + 7),
]

POOL_SIZE = 4 * MiB
SLICE_MIN, SLICE_MAX = 48 * KiB, 256 * KiB


def _zipf_cumulative(count, exponent, offset=2.7):
    return list(itertools.accumulate(1.0 / (rank + offset) ** exponent for rank in range(count)))


def _text_pool(rng, size):
    """Words of made-up syllables with Zipf frequencies, and English-like punctuation."""
    syllables = [onset + vowel
                 for onset in ["", "b", "c", "d", "f", "g", "h", "k", "l", "m", "n", "p", "r",
                               "s", "t", "v", "w", "st", "th", "ch", "tr"]
                 for vowel in ["a", "e", "i", "o", "u", "ai", "ea", "ou", "er", "in", "an", "on"]]
    words = sorted({"".join(rng.choices(syllables, k=rng.choice((1, 1, 2, 2, 2, 3, 3, 4))))
                    for _ in range(40000)})
    rng.shuffle(words)
    weights = _zipf_cumulative(len(words), 1.0)
    separators = [" ", ", ", ". ", ".\r\n", "\r\n\r\n", " - ", "; "]
    separator_weights = [80, 6, 5, 4, 0.8, 0.3, 0.5]
    pool = bytearray()
    while len(pool) < size:
        count = 200000
        chosen = rng.choices(words, cum_weights=weights, k=count)
        gaps = rng.choices(separators, weights=separator_weights, k=count)
        pool += "".join(map(operator.add, chosen, gaps)).encode("ascii")
    return bytes(pool[:size])


def _code_pool(rng, size):
    """Instructions of x86-64 shape: common opcodes, with displacements and immediates that
    repeat as a program's do. Deflate shrinks it to about half, as it does executables."""
    opcodes = [b"\x48\x8b", b"\x48\x89", b"\xe8", b"\x8b", b"\x89", b"\x48\x83\xc4",
               b"\x48\x83\xec", b"\x0f\xb6", b"\x74", b"\x75", b"\xeb", b"\x48\x8d", b"\xff\x15",
               b"\x85\xc0", b"\xc3", b"\x90", b"\x41\x5c", b"\x5d", b"\x55", b"\x31\xc0",
               b"\x0f\x84", b"\x0f\x85", b"\xcc"]
    instructions = []
    for _ in range(6000):
        operand_size = rng.choice((0, 1, 1, 1, 2, 4, 4))
        if operand_size == 4 and rng.random() < 0.6:  # a near address or a small negative
            operand = bytes([rng.randrange(256), rng.randrange(256),
                             rng.choice((0, 0, 0, 1, 0xFF)), rng.choice((0, 0, 0xFF))])
        else:
            operand = rng.randbytes(operand_size)
        instructions.append(rng.choice(opcodes) + operand)
    weights = _zipf_cumulative(len(instructions), 1.1)
    pool = bytearray()
    while len(pool) < size:
        pool += b"".join(rng.choices(instructions, cum_weights=weights, k=100000))
    return bytes(pool[:size])


def _sliced(rng, pool, size):
    out = bytearray()
    while len(out) < size:
        length = min(rng.randrange(SLICE_MIN, SLICE_MAX), size - len(out))
        start = rng.randrange(0, len(pool) - length)
        out += pool[start:start + length]
    return bytes(out)


def _file_bytes(rng, pools, kind, size):
    if kind == "empty":
        return b""
    if kind == "random":
        return rng.randbytes(size)
    return _sliced(rng, pools[kind], size)


def _stamp():
    return {"seed": SEED, "version": GENERATOR_VERSION, "files": FILES}


def make_payload(directory: Path):
    """Writes the payload into `directory` unless the one there is already this one; returns
    the files' paths in archive order."""
    directory.mkdir(parents=True, exist_ok=True)
    stamp_file = directory / "payload.json"
    paths = [directory / "files" / name for name, _, _ in FILES]
    expected = json.loads(json.dumps(_stamp()))
    if stamp_file.exists() and json.loads(stamp_file.read_text()) == expected and all(
            path.exists() and path.stat().st_size == size
            for path, (_, _, size) in zip(paths, FILES)):
        return paths

    rng = random.Random(SEED)
    pools = {"text": _text_pool(rng, POOL_SIZE), "code": _code_pool(rng, POOL_SIZE)}
    (directory / "files").mkdir(exist_ok=True)
    stamp_file.unlink(missing_ok=True)
    for path, (_, kind, size) in zip(paths, FILES):
        path.write_bytes(_file_bytes(rng, pools, kind, size))
    stamp_file.write_text(json.dumps(expected))
    return paths


def digest(paths):
    """One SHA-256 over every file's name, size and bytes: the payload's identity for the
    report, to be compared between machines."""
    total = hashlib.sha256()
    for path in paths:
        total.update(f"{path.name}\0{path.stat().st_size}\0".encode())
        with open(path, "rb") as stream:
            total.update(hashlib.file_digest(stream, "sha256").digest())
    return total.hexdigest()


def total_size():
    return sum(size for _, _, size in FILES)


if __name__ == "__main__":
    import sys
    made = make_payload(Path(sys.argv[1] if len(sys.argv) > 1 else "build/bench/payload"))
    print(f"{len(made)} files, {total_size()} bytes, sha256 {digest(made)}")
