"""Prints the live records of a dBase table as python3-dbfread reads them.

Usage: dbf_oracle.py TABLE
One line per live record; per column of type C, N, F, D or L one token,
separated by the byte 0x1f: "S:" + text (the raw bytes, trimmed of bytes up to
0x20 at both ends), "F:" + number ('%.17g'), "D:" + YYYY-MM-DD, "B:1" or
"B:0", "N" for no value, "?" where dbfread could not read the value. Other
column types are left out. A first line "C:" lists the column names kept.
"""
import io
import sys

import dbfread
from dbfread.field_parser import FieldParser


class Parser(FieldParser):
    def parse(self, field, data):
        try:
            return super().parse(field, data)
        except ValueError:
            return "?"


def token(ftype, v):
    if isinstance(v, str) and v == "?":
        return "?"
    if v is None:
        return "N"
    if ftype == "C":
        v = v.strip("".join(chr(c) for c in range(0x21)))
        return "S:" + v if v else "N"  # a blank text column has no value
    if ftype in "NF":
        return "F:%.17g" % float(v)
    if ftype == "D":
        return "D:%04d-%02d-%02d" % (v.year, v.month, v.day)
    if ftype == "L":
        return "B:1" if v else "B:0"
    return "?"


table = dbfread.DBF(sys.argv[1], encoding="latin-1", recfactory=None, parserclass=Parser,
                    ignore_missing_memofile=True, char_decode_errors="replace")
kept = [f for f in table.fields if f.type in "CNFDL"]
out = io.TextIOWrapper(sys.stdout.buffer, encoding="latin-1", errors="replace", newline="\n")
out.write("C:" + "\x1f".join(f.name for f in kept) + "\n")
for rec in table:
    row = []
    for (name, value), f in zip(rec, table.fields):
        if f.type in "CNFDL":
            row.append(token(f.type, value))
    out.write("\x1f".join(row) + "\n")
