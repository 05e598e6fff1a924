#!/usr/bin/env python3
"""Writes seeded random INI files and queries for the profile differential check.

usage: random_ini.py OUTDIR COUNT SEED

Creates OUTDIR/rNNN.ini and OUTDIR/random.q (query lines, see ProfileQuery.h).
The files mix the things INI readers disagree on: odd headers, blanks and
control characters around names and values, duplicates, quotes, numbers,
long lines, line ends, byte-order marks and broken UTF-8.
"""
import os
import random
import sys

NAMES = ["MODE", "mode", "Mode", "VARO", "MODEL", "FILE", "File Name", "file name",
         "Auto", "AUTO", "auto", "WriteStretage", "AutoDetect", "x", "X", "k", "a b",
         "", ";c", "[s", "\u00e9t\u00e9", "\u00c9T\u00c9", "\u20ac"]
PLAIN_SPACES = ["", "", "", "", " ", "  ", "\t", " \t "]
ODD_SPACES = ["\x0b", "\x0c", "\x1a", "\xa0", "\x1f", "\r"]
NUMBERS = ["0", "1", "-1", "+7", "007", "0x1F", "0X1F", "0b101", "0o17", "010", "12abc",
           "abc", "- 3", "--3", "2147483647", "2147483648", "-2147483649", "4294967295",
           "99999999999", "0" * 28 + "42", "0" * 35 + "9", "1e3", "3.7", "0x", "-0x10",
           "\x015", "1 2"]


def rnd_space(r):
    return r.choice(ODD_SPACES) if r.random() < 0.08 else r.choice(PLAIN_SPACES)


def rnd_value(r):
    kind = r.random()
    if kind < 0.35:
        v = r.choice(NUMBERS)
    elif kind < 0.5:
        v = "".join(r.choice("abcXYZ019 =;[]\"'\\.:") for _ in range(r.randint(0, 12)))
    elif kind < 0.6:
        v = r.choice(["x", "yy", "1"]) * r.randint(100, 300)
    elif kind < 0.8:
        q = r.choice(['"', "'"])
        inner = "".join(r.choice("ab 01\"'") for _ in range(r.randint(0, 6)))
        v = q + inner + r.choice([q, q, "", "x", q + " "])
    else:
        v = "".join(r.choice(["a", "\u00e9", "\u20ac", "\x00", "\x85", "\xa0", "\x1a", "\x81",
                              "\u0100", "\u4e2d", "\U0001F600", " "]) for _ in range(r.randint(1, 6)))
    return rnd_space(r) + v + rnd_space(r)


def rnd_line(r, pool, pairs):
    kind = r.random()
    name = r.choice(pool)
    if kind < 0.2:
        close = r.choice(["]", "]", "]", "", "]]", "] junk", "]x]"])
        pairs.append([name, None])
        return rnd_space(r) + "[" + rnd_space(r) + name + rnd_space(r) + close + rnd_space(r)
    if kind < 0.8:
        if pairs:
            pairs[-1][1] = name
            pairs.append([pairs[-1][0], None])
        return (rnd_space(r) + name + rnd_space(r) + "=" + rnd_value(r))
    if kind < 0.87:
        return rnd_space(r) + name
    if kind < 0.93:
        return ";" + name + "=" + rnd_value(r)
    return rnd_space(r)


def encode(r, text):
    kind = r.random()
    if kind < 0.75:
        return text.encode("cp1252", errors="replace").replace(b"\x00x", b"\x00")
    if kind < 0.88:
        data = b"\xef\xbb\xbf" + text.encode("utf-8", errors="surrogatepass")
        if r.random() < 0.5:
            bad = r.choice([b"\xff", b"\xc3", b"\xe2\x82", b"\xed\xa0\x80", b"\xf0\x9f", b"\xf4\x90\x80\x80",
                            b"\xe0\x80\x80", b"\xc0\x80", b"\xef\xbf\xbf"])
            at = r.randint(0, len(data))
            data = data[:at] + bad + data[at:]
        return data
    if kind < 0.95:
        data = "\ufeff".encode("utf-16-le") + text.encode("utf-16-le", errors="surrogatepass")
    else:
        data = "\ufeff".encode("utf-16-be") + text.encode("utf-16-be", errors="surrogatepass")
    if r.random() < 0.2:
        data += b"A"
    return data


def escape(s):
    out = []
    for ch in s:
        b = ch.encode("cp1252", errors="replace")
        for c in b:
            if c in (0x5C, 0x7C) or c < 0x20 or c >= 0x7F:
                out.append("\\x%02x" % c)
            else:
                out.append(chr(c))
    return "".join(out)


def rnd_query_name(r, pool):
    if r.random() < 0.05:
        return None
    name = r.choice(pool) if r.random() < 0.85 else r.choice(NAMES)
    if r.random() < 0.3:
        name = name.swapcase()
    if r.random() < 0.2:
        name = rnd_space(r) + name + rnd_space(r)
    return name


def field(v):
    return "\\N" if v is None else escape(v)


def main():
    outdir, count, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    r = random.Random(seed)
    os.makedirs(outdir, exist_ok=True)
    queries = []
    for n in range(count):
        # A few names per file, so that sections and keys repeat and queries hit.
        pool = r.sample(NAMES, 5)
        pairs = [["", None]]  # (section, key) as written, for queries that hit
        lines = [rnd_line(r, pool, pairs) for _ in range(r.randint(0, 25))]
        pairs = [p for p in pairs if p[1] is not None] or [["", "x"]]
        eol = r.choice(["\r\n", "\n", "\r", None])
        if eol is None:
            text = "".join(l + r.choice(["\r\n", "\n", "\r", "\n\r"]) for l in lines)
        else:
            text = eol.join(lines) + (eol if r.random() < 0.8 else "")
        fname = "r%03d.ini" % n
        with open(os.path.join(outdir, fname), "wb") as f:
            f.write(encode(r, text))
        for _ in range(30):
            path = r.choice([".\\" + fname, ".\\" + fname.upper(), "./" + fname, ".\\" + fname + ".",
                             ".\\" + fname, ".\\" + fname])
            if r.random() < 0.6:
                sec, key = r.choice(pairs)
                if r.random() < 0.3:
                    sec = sec.swapcase()
                if r.random() < 0.3:
                    key = " " + key.upper() + "\t"
            else:
                sec = rnd_query_name(r, pool)
                key = rnd_query_name(r, pool)
            default = r.choice([None, "", "d", "def   ", "   ", '"q"', "'q' ", " x ", "12", "-5", "dflt" * 20])
            if r.random() < 0.5:
                idef = r.choice(["0", "-1", "77"])
                queries.append("I|%s|%s|%s|%s" % (field(path), field(sec), field(key), idef))
            else:
                size = r.choice([1, 2, 3, 4, 5, 8, 16, 30, 128, 128, 600, r.randint(1, 40)])
                queries.append("S|%s|%s|%s|%s|%d" % (field(path), field(sec), field(key), field(default), size))
    with open(os.path.join(outdir, "random.q"), "w") as f:
        f.write("\n".join(queries) + "\n")


if __name__ == "__main__":
    main()
