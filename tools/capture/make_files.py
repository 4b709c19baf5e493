#!/usr/bin/env python3
"""Writes the files the example upload carries into the folder given:
notes.txt (CRLF text), prices.dbf (a dBase III table, names and text in
code page 866 with language byte 0x26, as DOS tools wrote them) and
archive.zip (a deflated archive holding a text file, the table again in a
folder, and a directory entry)."""
import datetime
import os
import struct
import sys
import zipfile

out = sys.argv[1] if len(sys.argv) > 1 else "."

notes = ("Delivery notes\r\n"
         "Order 1042: 12 boxes, handle with care.\r\n"
         "\u0417\u0430\u043a\u0430\u0437 1043: \u0434\u043e\u0441\u0442\u0430\u0432\u043a\u0430 \u0432 \u043f\u044f\u0442\u043d\u0438\u0446\u0443.\r\n")
with open(os.path.join(out, "notes.txt"), "wb") as f:
    f.write(notes.encode("cp1251"))


def dbf(rows):
    # name, type, length, decimals
    cols = [("NAME", "C", 20, 0), ("PRICE", "N", 8, 2), ("ARRIVED", "D", 8, 0), ("INSTOCK", "L", 1, 0)]
    reclen = 1 + sum(c[2] for c in cols)
    hdrlen = 32 + 32 * len(cols) + 1
    today = datetime.date(2026, 12, 7)
    head = struct.pack("<BBBBIHH20x", 0x03, today.year - 1900, today.month, today.day,
                       len(rows), hdrlen, reclen)
    head = head[:29] + bytes([0x26]) + head[30:]
    desc = b""
    for name, typ, length, dec in cols:
        desc += struct.pack("<11sc4xBB14x", name.encode("ascii"), typ.encode("ascii"), length, dec)
    body = b""
    for deleted, name, price, date, stock in rows:
        rec = b"*" if deleted else b" "
        rec += name.encode("cp866").ljust(20, b" ")[:20]
        rec += ("%8.2f" % price).encode("ascii")
        rec += date.encode("ascii")
        rec += b"T" if stock else b"F"
        body += rec
    return head + desc + b"\r" + body + b"\x1a"


table = dbf([
    (False, "Tea, green", 4.5, "20261201", True),
    (False, "\u0427\u0430\u0439 \u0447\u0451\u0440\u043d\u044b\u0439", 3.75, "20261115", True),
    (True, "Withdrawn item", 0.0, "20250101", False),
    (False, "\u041a\u043e\u0444\u0435", 12.0, "20261203", False),
])
with open(os.path.join(out, "prices.dbf"), "wb") as f:
    f.write(table)

stamp = (2026, 12, 7, 10, 30, 0)
with zipfile.ZipFile(os.path.join(out, "archive.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr(zipfile.ZipInfo("readme.txt", stamp), "Price list for December.\r\n" * 20,
               compress_type=zipfile.ZIP_DEFLATED)
    z.writestr(zipfile.ZipInfo("tables/", stamp), b"")
    z.writestr(zipfile.ZipInfo("tables/prices.dbf", stamp), table, compress_type=zipfile.ZIP_DEFLATED)
