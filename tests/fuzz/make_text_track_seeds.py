#!/usr/bin/env python3
"""Writes seed inputs for the text-track fuzz target: a movie box with a telemetry track
pointing at two records, a small RIFF AVI with a text stream and its index, and movie boxes
whose sample-to-chunk runs all start at chunk 1 (a lookup that searches the runs for every
chunk takes chunks x runs steps: minutes for the 4.8 MB one)."""
import os
import struct
import sys


def box(kind, payload):
    return struct.pack(">I", 8 + len(payload)) + kind + payload


def full(kind, payload):
    return box(kind, b"\0\0\0\0" + payload)


def mp4(records):
    data = b"".join(records)
    head = box(b"ftyp", b"isom\0\0\2\0isomiso2")
    offset = len(head) + 8
    stsd = full(b"stsd", struct.pack(">I", 1) + box(b"mp4s", b"\0" * 6 + b"\0\1"))
    stsz = full(b"stsz", struct.pack(">II", 0, len(records)) + b"".join(struct.pack(">I", len(r)) for r in records))
    stco = full(b"stco", struct.pack(">II", 1, offset))
    stsc = full(b"stsc", struct.pack(">IIII", 1, 1, len(records), 1))
    stbl = box(b"stbl", stsd + stsz + stco + stsc)
    hdlr = full(b"hdlr", b"\0\0\0\0sdsm" + b"\0" * 12 + b"XBLB\0")
    trak = box(b"trak", box(b"mdia", hdlr + box(b"minf", stbl)))
    return head + box(b"mdat", data) + box(b"moov", trak)


def many_runs(chunks, runs):
    """A movie box alone: a telemetry track of `chunks` chunks and `runs` stsc entries that
    all start at chunk 1 and hold no samples."""
    stsd = full(b"stsd", struct.pack(">I", 1) + box(b"mp4s", b"\0" * 8))
    stsz = full(b"stsz", struct.pack(">II", 1, chunks))
    stco = full(b"stco", struct.pack(">I", chunks) + b"\0\0\0\0" * chunks)
    stsc = full(b"stsc", struct.pack(">I", runs) + struct.pack(">III", 1, 0, 1) * runs)
    stbl = box(b"stbl", stsd + stsz + stco + stsc)
    hdlr = full(b"hdlr", b"\0\0\0\0sdsm" + b"\0" * 12 + b"XBLB\0")
    return box(b"moov", box(b"trak", box(b"mdia", hdlr + box(b"minf", stbl))))


def avi(records):
    def chunk(kind, payload):
        pad = b"\0" if len(payload) % 2 else b""
        return kind + struct.pack("<I", len(payload)) + payload + pad

    def lst(kind, payload):
        return b"LIST" + struct.pack("<I", 4 + len(payload)) + kind + payload

    strh = chunk(b"strh", b"txts" + b"\0" * 52)
    hdrl = lst(b"hdrl", chunk(b"avih", b"\0" * 56) + lst(b"strl", strh + chunk(b"strf", b"\0" * 4)))
    movi_chunks = b""
    index = b""
    at = 4
    for r in records:
        c = chunk(b"00tx", r)
        index += b"00tx" + struct.pack("<III", 0x10, at, len(r))
        movi_chunks += c
        at += len(c)
    body = b"AVI " + hdrl + lst(b"movi", movi_chunks) + chunk(b"idx1", index)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def main(folder):
    os.makedirs(folder, exist_ok=True)
    records = [b"G$GPRMC,120000.00,A,3733.1,N,12658.6,E,1,2,310124QELVM\x05\x20\x02" + b"\0" * 8,
               b"GXYZQELVM\x01\x02\x03" + b"\0" * 8]
    with open(os.path.join(folder, "track.mp4"), "wb") as out:
        out.write(mp4(records))
    with open(os.path.join(folder, "track.avi"), "wb") as out:
        out.write(avi(records))
    # Within the fuzzer's 64 KiB inputs, and the full-size shape for the seed run.
    with open(os.path.join(folder, "many-runs-small.mp4"), "wb") as out:
        out.write(many_runs(8000, 2600))
    with open(os.path.join(folder, "many-runs.mp4"), "wb") as out:
        out.write(many_runs(400000, 266666))


if __name__ == "__main__":
    main(sys.argv[1])
