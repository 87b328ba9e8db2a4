#!/usr/bin/env python3
"""Writes our placeholder target images: ten boot loaders and two DRAM loaders.

We do not ship the chip vendor's loader programs. These stand-ins keep everything the host and
the simulated board rely on (sizes, shared rows, lead-in and first bytes, trailing zeros), and
their "program text" is deterministic pseudo-random bytes, so rerunning the script reproduces
the committed files bit for bit.

Usage: make_placeholder_images.py [OUTPUT_DIR]   (default: the folder of this script)
"""

import hashlib
import pathlib
import sys

BIG_BOOT_LEAD_IN = bytes([0x10, 0x00, 0x00, 0x10]) + bytes(12)
BIG_DRAM_LEAD_IN = bytes([0x80, 0x00, 0x00, 0x10]) + bytes(12)
LITTLE_FIRST_BYTES = bytes([0x04, 0xD0, 0x9F, 0xE5])

# Big-endian images end in a few zero bytes (padding after the last instruction).
BIG_TRAILING_ZEROS = 8

# Boot loader images by number: (size, family). Images 9 and 10 are the little-endian pair.
BOOT_IMAGES = {
    1: (1552, "big"),
    2: (1512, "big"),
    3: (1512, "big"),
    4: (1528, "big"),
    5: (1528, "big"),
    6: (1336, "big"),
    7: (1368, "big"),
    8: (1528, "big"),
    9: (936, "little"),
    10: (936, "little"),
}
DRAM_IMAGES = {"big-endian": 16212, "little-endian": 27260}

# Image 10 is image 9 with these six bytes changed (the two chips differ in a few constants).
IMAGE_10_CHANGED_OFFSETS = (0x40, 0x41, 0x120, 0x121, 0x2F0, 0x2F1)


def program_text(seed: str, length: int) -> bytes:
    """Pseudo-random bytes from SHA-256 in counter mode, never ending in a zero byte."""
    out = bytearray()
    counter = 0
    while len(out) < length:
        out += hashlib.sha256(f"{seed}/{counter}".encode()).digest()
        counter += 1
    out = out[:length]
    if length and out[-1] == 0:
        out[-1] = 0x01
    return bytes(out)


def big_endian_image(seed: str, size: int, lead_in: bytes) -> bytes:
    text_length = size - len(lead_in) - BIG_TRAILING_ZEROS
    return lead_in + program_text(seed, text_length) + bytes(BIG_TRAILING_ZEROS)


def little_endian_image(seed: str, size: int) -> bytes:
    return LITTLE_FIRST_BYTES + program_text(seed, size - len(LITTLE_FIRST_BYTES))


def build_images() -> dict:
    images = {}
    for number, (size, family) in BOOT_IMAGES.items():
        if number == 10:
            continue
        seed = f"bootloader{number}"
        if family == "big":
            images[f"bootloader{number}.bin"] = big_endian_image(seed, size, BIG_BOOT_LEAD_IN)
        else:
            images[f"bootloader{number}.bin"] = little_endian_image(seed, size)

    image10 = bytearray(images["bootloader9.bin"])
    for offset in IMAGE_10_CHANGED_OFFSETS:
        image10[offset] ^= 0x5A
    images["bootloader10.bin"] = bytes(image10)

    images["dram-big-endian.bin"] = big_endian_image(
        "dram-big-endian", DRAM_IMAGES["big-endian"], BIG_DRAM_LEAD_IN)
    images["dram-little-endian.bin"] = little_endian_image(
        "dram-little-endian", DRAM_IMAGES["little-endian"])
    return images


def check(images: dict) -> None:
    for number, (size, _) in BOOT_IMAGES.items():
        assert len(images[f"bootloader{number}.bin"]) == size, number
    diff = sum(a != b for a, b in zip(images["bootloader9.bin"], images["bootloader10.bin"]))
    assert diff == 6, diff
    for name, size in DRAM_IMAGES.items():
        assert len(images[f"dram-{name}.bin"]) == size, name
    distinct = {bytes(v) for v in images.values()}
    assert len(distinct) == len(images), "every image must be distinct"


def main() -> int:
    out_dir = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).parent
    out_dir.mkdir(parents=True, exist_ok=True)
    images = build_images()
    check(images)
    for name, data in sorted(images.items()):
        (out_dir / name).write_bytes(data)
        print(f"{name}: {len(data)} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
