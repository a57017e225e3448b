"""Gives a type library that widl wrote a fixed creation time.

widl records "Created by WIDL version N at <ctime>" in the library; a fixed
time of the same length keeps the file's layout and makes two builds of the
same sources give the same bytes.
  stamp-typelib.py FILE.tlb
"""
import re
import sys

path = sys.argv[1]
data = open(path, "rb").read()
fixed, count = re.subn(rb"(Created by WIDL version [^ ]+ at )[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4}",
                       rb"\g<1>Thu Jan  1 00:00:00 2026", data)
if count != 1:
    sys.exit("stamp-typelib: no creation time found in " + path)
open(path, "wb").write(fixed)
