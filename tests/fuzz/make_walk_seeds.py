#!/usr/bin/env python3
"""Writes seed inputs for the walk fuzz target: the bytes after offset 48 of small unfinished
recordings in the recorder's layout (a record, sound frames, video frames, a cut-off end)."""
import os
import struct
import sys


def video(size, key):
    head = b"\x65\xb8\x00" if key else b"\x41\xe0"
    body = head + b"\x55" * (size - 4 - len(head))
    return struct.pack(">I", len(body)) + body


def audio(size):
    return b"\x21" + b"\x5a" * (size - 1)


def main(folder):
    os.makedirs(folder, exist_ok=True)
    record = (b"G$GPRMC,120000.00,A,3733.1000,N,12658.6000,E,030.0,090.0,310124,,,A"
              + b"QELVM\x05\x20\x02" + b"\0" * 8)
    data = record
    for frame in range(30):
        if frame % 2 == 0:
            data += audio(150 + frame)
        data += video(200 + frame, frame == 0)
    data += b"GXYZQELVM\x01\x02\x03" + b"\0" * 8 + audio(100) + b"G$GPRMC,1" + b"\0" * 300
    with open(os.path.join(folder, "second.bin"), "wb") as out:
        out.write(data + b"\0" * 600)
    with open(os.path.join(folder, "cut.bin"), "wb") as out:
        out.write(data[:1000])


if __name__ == "__main__":
    main(sys.argv[1])
