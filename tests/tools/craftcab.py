#!/usr/bin/env python3
"""Writes a minimal uncompressed cabinet whose members carry exactly the given names.

usage: craftcab.py OUT.cab NAME...   (each member holds the text "content of NAME\\n")

Cabinet tools refuse to store names such as "..\\x" or "C:\\x"; this writes them as they are, to
check how an extractor treats them."""
import struct
import sys


def cabinet(names):
    datas = [("content of %s\n" % n).encode("latin-1") for n in names]
    blob = b"".join(datas)
    files = b""
    offset = 0
    for name, data in zip(names, datas):
        files += struct.pack("<IIHHHH", len(data), offset, 0, 0x5A21, 0x6000, 0x20)
        files += name.encode("latin-1") + b"\0"
        offset += len(data)
    blocks = [blob[i:i + 32768] for i in range(0, len(blob), 32768)] or [b""]
    header_size, folder_size = 36, 8
    coff_files = header_size + folder_size
    coff_data = coff_files + len(files)
    data = b"".join(struct.pack("<IHH", 0, len(b), len(b)) + b for b in blocks)
    total = coff_data + len(data)
    header = struct.pack("<4sIIIIIBBHHHHH", b"MSCF", 0, total, 0, coff_files, 0, 3, 1,
                         1, len(names), 0, 0x1234, 0)
    folder = struct.pack("<IHH", coff_data, len(blocks), 0)
    return header + folder + files + data


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(cabinet(sys.argv[2:]))
