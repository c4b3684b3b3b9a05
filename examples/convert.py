#!/usr/bin/env python3
"""Converts an HTML file in memory through the Plainwrit library and writes
the bytes the plainwrit program would write for it to standard output.

    convert.py page.html [path/to/libplainwrit.so] > page.txt

The library is the one named on the command line, else the one in the
environment variable PLAINWRIT_LIBRARY, else the system's libplainwrit.
Only the standard library is used.

Copyright (c) 2026 The Plainwrit developers. MIT licence.
"""
import ctypes
import ctypes.util
import os
import sys

PLAINWRIT_OK = 0


def load(path):
    name = path or os.environ.get("PLAINWRIT_LIBRARY") or ctypes.util.find_library("plainwrit")
    if not name:
        sys.exit("libplainwrit not found: name it on the command line or in PLAINWRIT_LIBRARY")
    lib = ctypes.CDLL(name)
    lib.plainwrit_stored_room.argtypes = [ctypes.c_size_t]
    lib.plainwrit_stored_room.restype = ctypes.c_size_t
    lib.plainwrit_convert_stored.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p,
                                             ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t)]
    lib.plainwrit_convert_stored.restype = ctypes.c_int
    lib.plainwrit_status_message.argtypes = [ctypes.c_int]
    lib.plainwrit_status_message.restype = ctypes.c_char_p
    return lib


def convert_stored(lib, stored):
    """The bytes the program writes for a file holding `stored`."""
    room = lib.plainwrit_stored_room(len(stored))
    written = ctypes.create_string_buffer(room)
    size = ctypes.c_size_t(0)
    status = lib.plainwrit_convert_stored(stored, len(stored), written, room, ctypes.byref(size))
    if status != PLAINWRIT_OK:
        raise RuntimeError(lib.plainwrit_status_message(status).decode())
    return written.raw[:size.value]


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: convert.py <input-htmlfile> [library]")
    lib = load(sys.argv[2] if len(sys.argv) == 3 else None)
    with open(sys.argv[1], "rb") as page:
        sys.stdout.buffer.write(convert_stored(lib, page.read()))


if __name__ == "__main__":
    main()
