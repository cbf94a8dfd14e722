#!/usr/bin/env python3
"""Prints one line per question record of test files: its number, a hash of its
exact bytes and its first plain line, so that questions moved between tests can
be compared byte for byte. Usage: qe2-records.py FILE.qe2..."""
import bz2, hashlib, struct, sys

def records(path):
    data = open(path, 'rb').read()
    body = bz2.decompress(data[data.index(b'BZh1'):])
    at = 0
    def u32():
        nonlocal at
        v = struct.unpack_from('<I', body, at)[0]
        at += 4
        return v
    def skip():
        nonlocal at
        n = u32()
        at += n
    while at < len(body):
        start = at
        flags = body[at]; at += 1
        lines = []
        for _ in range(u32()):
            n = u32(); lines.append(body[at:at + 2 * n].decode('utf-16-le')); at += 2 * n
        skip()                           # rich body
        if flags & 1: skip()             # comment
        if flags & 2: skip()             # title
        variants = u32()
        for _ in range(variants): skip()
        if variants: skip()              # marks
        yield body[start:at], lines[0] if lines else ''

for path in sys.argv[1:]:
    print('==', path)
    for i, (rec, line) in enumerate(records(path)):
        print(i, hashlib.sha1(rec).hexdigest()[:12], len(rec), line[:60])
