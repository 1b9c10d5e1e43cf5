#!/bin/sh
# Recreates the ARJ fixtures with the arj tool (arj 3.10). Contents are generated, so a rerun
# gives the same members (the archives differ only in time stamps).
set -e
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work" <<'PY'
import random, sys, os
d = sys.argv[1]
r = random.Random(20261207)
words = ['alpha', 'beta', 'gamma', 'delta', 'orvex', 'archive', 'check', 'member', 'window',
         'huffman', 'table', 'position', 'length', 'block', '\n']
open(os.path.join(d, 'text.txt'), 'w').write(' '.join(r.choice(words) for _ in range(5000)))
# Compressible binary: records with counters, repeats at many distances and every byte value.
rec = bytearray()
for i in range(3000):
    rec += bytes([i & 0xFF, (i >> 8) & 0xFF, r.getrandbits(8) & 0x0F, 0x55, i % 7])
    if i % 50 == 0:
        rec += bytes(range(256))
open(os.path.join(d, 'data.bin'), 'wb').write(bytes(rec))
open(os.path.join(d, 'rand.bin'), 'wb').write(bytes(r.getrandbits(8) for _ in range(2000)))
open(os.path.join(d, 'empty.txt'), 'w').close()
os.makedirs(os.path.join(d, 'sub', 'inner'))
open(os.path.join(d, 'sub', 'inner', 'note.txt'), 'w').write('note\n' * 40)
PY
here=$(pwd)
rm -f m0.arj m1.arj m2.arj m3.arj m4.arj multi.arj garbled.arj sfx.exe sfx.arj vol.arj vol.a0? nested.arj
cd "$work"
for m in 0 1 2 3 4; do
  arj a -m$m -y "$here/m$m.arj" text.txt data.bin >/dev/null
done
# Several members: compressed, stored (random data), empty, a folder and a file in it.
arj a -m1 -a1 -r -y "$here/multi.arj" text.txt data.bin rand.bin empty.txt sub >/dev/null
# Garbled (password) members: not testable, counted as skipped.
arj a -m1 -gorvex -y "$here/garbled.arj" text.txt data.bin >/dev/null
# Self-extractor with arj's own (ELF) stub.
arj a -je -m1 -y "$here/sfx.arj" data.bin >/dev/null
if [ -f "$here/sfx.arj" ]; then mv "$here/sfx.arj" "$here/sfx.exe"; fi
# Volumes: a compressed member split in parts, each part with its own CRC.
arj a -v10k -m1 -y "$here/vol.arj" text.txt data.bin >/dev/null
# An archive storing another ARJ archive (and an empty file): damage to the outer one must not hand the
# test to the inner one.
arj a -m1 -y inner.arj data.bin >/dev/null
arj a -m0 -y "$here/nested.arj" inner.arj empty.txt >/dev/null
