#!/usr/bin/env python3
"""Builds the seed corpora of the fuzz targets from real databases.

Usage: make-seeds.py OUTDIR [DBDIR...]

Each DBDIR is a folder that holds portfolios (a MASTER file in any letter case, with its
F<n>.DAT and F<n>.DOP files), searched recursively. OUTDIR/<target>/ receives one file per
seed, laid out as the target reads its input (see the comment at the top of each target).
DAT files are cut to their first records to keep the seeds small; their headers are kept
as they are, so the readers also meet files shorter than their header claims.
"""
import hashlib
import os
import struct
import sys

MASTER_RECORD = 53
KEEP_QUOTES = 48


def find_nocase(directory, name):
    try:
        for entry in os.listdir(directory):
            if entry.upper() == name.upper():
                return os.path.join(directory, entry)
    except OSError:
        pass
    return None


def read(path):
    with open(path, "rb") as f:
        return f.read()


def mbf_to_float(b):
    if b[3] <= 2:
        return 0.0
    e = (b[3] - 2) & 0xFF
    s = b[2] & 0x80
    ieee = bytes([b[0], b[1], (b[2] & 0x7F) | ((e & 1) << 7), (e >> 1) | s])
    return struct.unpack("<f", ieee)[0]


MONTH_START = [0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334]


def day_code(real):
    """The day number of a date real (1 = 1 January 1961), 0 when it is no date."""
    v = int(real)
    yy, mm, dd = v // 10000, (v // 100) % 100, v % 100
    if not 1 <= mm <= 12 or yy < 61:
        return 0
    code = MONTH_START[mm - 1] + ((yy - 61) * 1461) // 4 + dd + (1 if mm > 2 and yy % 4 == 0 else 0)
    return code if 0 < code < 65536 else 0


class Writer:
    def __init__(self, out):
        self.out = out
        self.counts = {}

    def add(self, target, data):
        folder = os.path.join(self.out, target)
        os.makedirs(folder, exist_ok=True)
        name = hashlib.sha1(data).hexdigest()
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        self.counts[target] = self.counts.get(target, 0) + 1


def piece(data):
    data = data[:0xFFFF]
    return struct.pack("<H", len(data)) + data


def portfolios(roots):
    for root in roots:
        for directory, _dirs, _files in os.walk(root):
            master = find_nocase(directory, "MASTER")
            if master:
                yield directory, read(master)


def records(master):
    for off in range(MASTER_RECORD, len(master) - MASTER_RECORD + 1, MASTER_RECORD):
        yield master[off:off + MASTER_RECORD]


def keys_of(record):
    symbol = record[36:52].split(b"\0")[0].decode("latin-1")
    name = record[7:23].decode("latin-1").rstrip(" ")
    keys = []
    if symbol.strip():
        keys.append(symbol.split(" ")[0])
    if name:
        keys.append(name)
    return keys


def subdir_record(name):
    rec = bytearray(b" " * MASTER_RECORD)
    rec[0] = 0
    rec[7:7 + len(name)] = name.encode()
    rec[18:23] = b"<DIR>"
    return bytes(rec)


def master_file(recs):
    header = bytearray(MASTER_RECORD)
    struct.pack_into("<hh", header, 0, len(recs), len(recs))
    return bytes(header) + b"".join(recs)


def series_seeds(w, directory, master):
    for rec in list(records(master))[:12]:
        n = rec[0]
        length = struct.unpack("b", rec[3:4])[0]
        dat_path = find_nocase(directory, "F%d.DAT" % n)
        if not dat_path or length <= 0:
            continue
        dat = read(dat_path)[: length * (KEEP_QUOTES + 1)]
        dop_path = find_nocase(directory, "F%d.DOP" % n)
        dop = read(dop_path) if dop_path else b""
        flags = 1 if dop_path else 0
        tail = (piece(dop) if dop_path else b"") + dat
        head = bytes([flags]) + rec
        w.add("fuzz_series", head + struct.pack("<ihHh", 0, -1, 100, 10) + tail)
        w.add("fuzz_series", head + struct.pack("<ihHh", -1, 20, 2400, -1) + tail)
        w.add("fuzz_datafacts", head + tail)
        if dop_path:
            w.add("fuzz_layout", bytes([length & 0xFF, 1]) + dop)
        w.add("fuzz_layout", bytes([length & 0xFF, 0]) + dat[: 2 * length])
        # Requests over real dates of the file: the third quote's date and a range.
        dates = []
        for q in range(1, len(dat) // length):
            dates.append(day_code(mbf_to_float(dat[q * length:q * length + 4])))
        dates = [d for d in dates if d]
        if len(dates) >= 3:
            d = dates[2]
            values = struct.pack("<6f", 0.5, 0.5, 0.5, 0.5, 2.0, 1.0)
            for op in range(4):
                w.add("fuzz_rewrite", head + bytes([op]) + struct.pack("<HH", d, dates[-1]) + values + tail)
        for q in range(1, min(len(dat) // length, 4)):
            field = dat[q * length:q * length + 4]
            w.add("fuzz_encoding", field + struct.pack("<HH", dates[0] if dates else 1, 17100))


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    w = Writer(sys.argv[1])
    found = list(portfolios(sys.argv[2:]))
    for directory, master in found:
        series_seeds(w, directory, master)
    # The MASTER walk: each real MASTER on top, another below it in SUB; keys from both.
    for i, (_directory, master) in enumerate(found):
        _other_dir, other = found[(i + 1) % len(found)]
        top = master[:MASTER_RECORD * 40]
        sub = other[:MASTER_RECORD * 40]
        for rec in list(records(sub))[:3] + list(records(top))[:2]:
            for key in keys_of(rec):
                w.add("fuzz_findsymbol", piece(key.encode("latin-1")) + piece(top) + sub)
        # The same, reached through a sub-directory entry, with a loop back and a nesting.
        first = list(records(top))[:4]
        nested = master_file(first + [subdir_record("SUB")])
        below = master_file([subdir_record("LOOP"), subdir_record("SUB")] + list(records(sub))[:4])
        for rec in list(records(sub))[:2]:
            for key in keys_of(rec):
                w.add("fuzz_findsymbol", piece(key.encode("latin-1")) + piece(nested) + below)
    w.add("fuzz_findsymbol", piece(b"NOSUCH") + piece(master_file([subdir_record("SUB")])) +
          master_file([subdir_record("LOOP")]))
    # The symbols grid and its repair read whole MASTER files.
    for _directory, master in found:
        w.add("fuzz_symbollist", master[:MASTER_RECORD * 64])
    # EMASTER beside its MASTER, and XMASTER files, as real software wrote them.
    for directory, master in found:
        emaster = find_nocase(directory, "EMASTER")
        if emaster:
            # Cut both to 40 records, their counts set to what is left, so they still agree.
            e = read(emaster)
            n = min(40, len(e) // 192 - 1, len(master) // MASTER_RECORD - 1)
            if n >= 0:
                m = struct.pack("<h", n) + master[2:MASTER_RECORD * (n + 1)]
                w.add("fuzz_emaster", piece(m) + struct.pack("<H", n) + e[2:192 * (n + 1)])
        xmaster = find_nocase(directory, "XMASTER")
        if xmaster:
            x = read(xmaster)
            n = min(40, len(x) // 150 - 1)
            if n >= 0 and len(x) >= 150:
                w.add("fuzz_xmaster", x[:10] + struct.pack("<ii", n, n) + x[18:150 * (n + 1)])
    # Old settings files to import.
    w.add("fuzz_iniimport", b"[Settings]\r\nDrive=D:\r\nFilter=D:\\DATA\\*\r\n[Export]\r\nDelimiter=1\r\n")
    w.add("fuzz_iniimport", b"[Settings]\nLeft=10\nTop=-5\nWidth=640\n\n[Columns]\nSymbols0=80\nQuotes3=120\n")
    w.add("fuzz_iniimport", b"; comment\n[Split Search]\nRatio=1.8\n[Edit]\nDate=03/01/99\n" + b"x" * 600 + b"\n")
    # Date texts in every style.
    texts = [b"03/01/99", b'  "03/01/05', b"00/00/00", b"2000/03/01", b"03-01-2000", b"990301",
             b"20000301", b"030199", b"03012000", b"12/31/59", b"02/29/00", b""]
    for style in range(1, 13):
        for text in texts:
            w.add("fuzz_parsedate", bytes([style, ord("/")]) + text)
    # Export lines: each delimiter, date form and a few omit masks.
    values = struct.pack("<6f", 10.5, 11.25, 9.75, 10.0, 15000.0, -1.0)
    for flags in (0, 1, 2, 4, 16, 21):
        for omit in (0, 0x21, 0x3F):
            w.add("fuzz_exportwriter", bytes([flags, omit]) + struct.pack("<H", 14305) + values)
    # Delimited quote texts as vendors and the export write them.
    quote_texts = [
        b"SYMBOL,DATE,OPEN,HIGH,LOW,CLOSE,VOLUME\nACME,20200102,10.5,11,10,10.75,12000\nBOLT,20200102,1,2,0.5,1.5,300\n",
        b"<TICKER>,<PER>,<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\r\n"
        b"A2A,5,20100709,093000,1.2,1.25,1.19,1.22,5000,0\r\n",
        b"Date,Open,High,Low,Close,Adj Close,Volume\n2020-01-02,3,4,2,3.5,3.4,100\n2020-01-03,3.5,4,3,3.75,3.7,N/A\n",
        b"Date;Open;High;Low;Close\n02.01.2020;1,5;2;1;1,5\n",
        b"\"Date\"\t\"Close\"\n01/02/2020\t12.5\n01/13/2020\t13\n",
        b"01/02/20 10 11 9 10.5 1e3\n01/03/20 10 11 9 10.5 2e40\n",
    ]
    for text in quote_texts:
        for delim in (0, 1):
            w.add("fuzz_quotetext", bytes([delim, 0, 1]) + text)
    for target, n in sorted(w.counts.items()):
        print("%-20s %d seeds" % (target, n))


if __name__ == "__main__":
    main()
