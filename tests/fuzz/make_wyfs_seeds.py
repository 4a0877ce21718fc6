#!/usr/bin/env python3
"""Writes seed images for the WyFS fuzz target: a tiny volume with two directories and three
files, its geometry shrunk so that the whole image stays a few kilobytes."""
import os
import struct
import sys
import zlib


def sealed(block):
    return block[:-4] + struct.pack("<I", zlib.crc32(block[:-4]) & 0xFFFFFFFF)


def main(folder):
    os.makedirs(folder, exist_ok=True)
    sectors = 24
    superblock = bytearray(512)
    superblock[0:8] = b"WyFS\r\n\x1a\n"
    struct.pack_into("<IIQIIIIIIII", superblock, 8, 1, 512, sectors, 1, 4, 2, 4, 4, 2, 10, 4)
    image = bytearray(sectors * 512)
    image[0:512] = sealed(bytes(superblock))
    for slot, (name, ident) in enumerate([(b"NOR", 1), (b"EVT", 2)]):
        entry = bytearray(64)
        entry[0:len(name)] = name
        struct.pack_into("<I", entry, 48, ident)
        image[512 + slot * 64:512 + slot * 64 + 64] = sealed(bytes(entry))
    files = [(b"20240131_120000_2CH_N.avi", 1, 1, 700, [(0, 1)]),
             (b"20240131_120100_2CH_E.avi", 2, 2, 2000, [(1, 1), (3, 2)]),
             (b"20240131_120200_2CH_N.avi", 1, 3, 10, [(5, 1)])]
    for slot, (name, dir_id, file_id, size, extents) in enumerate(files):
        record = bytearray(256)
        record[0:len(name)] = name
        struct.pack_into("<IiIiI", record, 64, dir_id, file_id, size, 1706745600 + slot, len(extents))
        for i, (first, count) in enumerate(extents):
            struct.pack_into("<II", record, 84 + 8 * i, first, count)
        at = 2 * 512 + slot * 256
        image[at:at + 256] = sealed(bytes(record))
    for cluster in range(10):
        at = (4 + cluster * 2) * 512
        image[at:at + 1024] = bytes([cluster]) * 1024
    with open(os.path.join(folder, "small.img"), "wb") as out:
        out.write(image)


if __name__ == "__main__":
    main(sys.argv[1])
