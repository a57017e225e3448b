"""Gives a type library that widl wrote a fixed creation time.

widl records "Created by WIDL version N at <ctime>" in the library, followed
by the same time as a 32-bit number (a VT_UI4 custom value). A fixed time of
the same length keeps the file's layout and makes two builds of the same
sources give the same bytes.
  stamp-typelib.py FILE.tlb
"""
import re
import sys

path = sys.argv[1]
data = open(path, "rb").read()
FIXED_TIME = 1767225600  # 2026-01-01 00:00:00 UTC
pattern = re.compile(rb"(Created by WIDL version [^ ]+ at )[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4}(\n?W*\x13\x00)....",
                     re.DOTALL)
fixed, count = pattern.subn(lambda m: m.group(1) + b"Thu Jan  1 00:00:00 2026" + m.group(2) +
                            FIXED_TIME.to_bytes(4, "little"), data)
if count != 1:
    sys.exit("stamp-typelib: no creation time found in " + path)
open(path, "wb").write(fixed)
