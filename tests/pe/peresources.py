#!/usr/bin/env python3
"""Lists or extracts the resources of a PE file.

  peresources.py FILE              one line per resource: TYPE NAME LANG SIZE
  peresources.py FILE TYPE NAME    the resource's bytes on standard output
Types and names are numbers (10 is RCDATA, 2 BITMAP, 16 VERSION) or texts.
"""
import struct
import sys


def sections(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count = struct.unpack_from("<H", data, pe + 6)[0]
    optsize = struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optsize
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    directories = 96 if magic == 0x10B else 112  # PE32, PE32+
    resource_rva = struct.unpack_from("<I", data, pe + 24 + directories + 16)[0]  # data directory 2
    found = []
    for i in range(count):
        at = table + 40 * i
        vsize, vaddr, rawsize, rawptr = struct.unpack_from("<IIII", data, at + 8)
        found.append((vaddr, max(vsize, rawsize), rawptr))
    return resource_rva, found


def offset(found, rva):
    for vaddr, size, rawptr in found:
        if vaddr <= rva < vaddr + size:
            return rva - vaddr + rawptr
    raise ValueError("address outside every section")


def entries(data, base, at):
    named, numbered = struct.unpack_from("<HH", data, at + 12)
    for i in range(named + numbered):
        ident, target = struct.unpack_from("<II", data, at + 16 + 8 * i)
        if ident & 0x80000000:
            p = base + (ident & 0x7FFFFFFF)
            length = struct.unpack_from("<H", data, p)[0]
            ident = data[p + 2 : p + 2 + 2 * length].decode("utf-16-le")
        else:
            ident = str(ident)
        yield ident, target


def resources(data):
    rva, found = sections(data)
    base = offset(found, rva)
    for rtype, t in entries(data, base, base):
        for name, n in entries(data, base, base + (t & 0x7FFFFFFF)):
            for lang, leaf in entries(data, base, base + (n & 0x7FFFFFFF)):
                drva, size = struct.unpack_from("<II", data, base + leaf)
                start = offset(found, drva)
                yield rtype, name, lang, data[start : start + size]


def main():
    data = open(sys.argv[1], "rb").read()
    if len(sys.argv) == 2:
        for rtype, name, lang, content in resources(data):
            print(rtype, name, lang, len(content))
        return 0
    for rtype, name, lang, content in resources(data):
        if rtype == sys.argv[2] and name == sys.argv[3]:
            sys.stdout.buffer.write(content)
            return 0
    return 1


if __name__ == "__main__":
    sys.exit(main())
