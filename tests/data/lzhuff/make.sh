#!/bin/sh
# Recreates the LZH fixtures for the shared decoder's cross-check with jlha (jlha-utils):
# -lh5- (header levels 0, 1, 2), -lh6-, -lh7-. Members are generated text and binary data;
# mixed.bin is large enough for several Huffman blocks and long-distance matches, long.bin
# (in -lh7- only) for several slides of the decoder's window.
set -e
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work" <<'PY'
import random, sys, os
d = sys.argv[1]
r = random.Random(7)
words = ['alpha', 'beta', 'gamma', 'delta', 'orvex', 'archive', 'check', 'member', 'window',
         'huffman', 'table', 'position', 'length', 'block', '\n']
open(os.path.join(d, 'text.txt'), 'w').write(' '.join(r.choice(words) for _ in range(4000)))
rec = bytearray()
for i in range(2500):
    rec += bytes([i & 0xFF, (i >> 8) & 0xFF, r.getrandbits(8) & 0x0F, 0x55, i % 7])
    if i % 40 == 0:
        rec += bytes(range(256))
open(os.path.join(d, 'data.bin'), 'wb').write(bytes(rec))
# Phrases repeated at distances up to ~60 KiB, with noise between them.
phrases = [bytes(r.getrandbits(8) for _ in range(r.randrange(8, 300))) for _ in range(60)]
mixed = bytearray()
while len(mixed) < 150000:
    if r.random() < 0.3:
        mixed += bytes(r.getrandbits(8) for _ in range(r.randrange(1, 40)))
    mixed += r.choice(phrases)
open(os.path.join(d, 'mixed.bin'), 'wb').write(bytes(mixed))
# Over 320 KiB of output, so the decoder's window slides several times.
long = bytearray()
while len(long) < 700000:
    if r.random() < 0.05:
        long += bytes(r.getrandbits(8) for _ in range(r.randrange(1, 20)))
    long += r.choice(phrases)
open(os.path.join(d, 'long.bin'), 'wb').write(bytes(long))
open(os.path.join(d, 'empty.txt'), 'w').close()
PY
here=$(pwd)
rm -f lh5-l0.lzh lh5-l1.lzh lh5-l2.lzh lh6.lzh lh7.lzh
cd "$work"
jlha a0o5q "$here/lh5-l0.lzh" text.txt data.bin empty.txt >/dev/null 2>&1
jlha a1o5q "$here/lh5-l1.lzh" text.txt data.bin >/dev/null 2>&1
jlha a2o5q "$here/lh5-l2.lzh" text.txt data.bin >/dev/null 2>&1
jlha a2o6q "$here/lh6.lzh" text.txt mixed.bin >/dev/null 2>&1
jlha a2o7q "$here/lh7.lzh" data.bin mixed.bin long.bin >/dev/null 2>&1
