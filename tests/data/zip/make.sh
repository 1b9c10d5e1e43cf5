#!/usr/bin/env bash
# Regenerates the ZIP fixtures of this folder with public tools: Info-ZIP zip, 7-Zip (7zz),
# libarchive (bsdtar), Java's jar and Python's zipfile.
#   mixed.zip      stored, deflated and bzip2 members, a folder entry and a member inside it
#   deflated.zip   one deflated text member (base for the corrupted copies the tests make)
#   encrypted.zip  one ZipCrypto member (password "secret") and one plain member
#   deflate64.zip  one Deflate64 member (7zz)
#   lzma.zip       one LZMA member (a method we do not decode)
#   zip64.zip      zip64 end records and extra fields (zip -fz)
#   streamed.zip   a member read from a pipe: data descriptor, zip64 end records, plain values
#   sevenzip.zip, bsdtar.zip, jar.zip, python.zip
#                  the same files written by 7zz, bsdtar, jar and Python's zipfile (python.zip
#                  written to a pipe: stored and deflated members with data descriptors)
#   sjis.zip       members named in Shift-JIS without the UTF-8 flag, one with a 0x5C second byte
#   sweep-*.zip, sweep-sfx.exe
#                  two tiny members (stored, deflated) per writer for the damaged-copy sweep;
#                  sweep-sfx.exe is a stub plus sweep-zip.zip with offsets adjusted by zip -A
# legacy/ holds archives of the older PKZIP methods from another project (see legacy/README).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export LANG=C LC_ALL=C

# Text-like, compressible, deterministic content.
lines() { awk -v n="$1" -v s="$2" 'BEGIN { for (i = 0; i < n; i++) printf "%s line %05d: the quick brown fox %d jumps over %d lazy dogs\n", s, i, (i * 7919) % 1000, i % 13 }'; }
lines 100 stored >stored.txt
lines 600 deflated >deflated.txt
lines 500 bzip2 >bzip2.txt
mkdir docs
lines 50 nested >docs/nested.txt
touch -d '2020-01-02 03:04:05' stored.txt deflated.txt bzip2.txt docs docs/nested.txt

rm -f "$here"/*.zip "$here"/*.exe
zip -q -X -0 mixed.zip stored.txt
zip -q -X -9 mixed.zip deflated.txt
zip -q -X -Z bzip2 mixed.zip bzip2.txt
zip -q -X mixed.zip docs/ docs/nested.txt
zip -q -X -9 deflated.zip deflated.txt
zip -q -X -P secret encrypted.zip deflated.txt
zip -q -X encrypted.zip stored.txt
7zz a -bd -bso0 -tzip -mm=Deflate64 deflate64.zip deflated.txt
7zz a -bd -bso0 -tzip -mm=LZMA lzma.zip deflated.txt
zip -q -X -fz zip64.zip deflated.txt
zip -q -X streamed.zip - <deflated.txt
7zz a -bd -bso0 -tzip sevenzip.zip stored.txt deflated.txt docs
bsdtar --format zip -cf bsdtar.zip stored.txt deflated.txt docs
jar cfM jar.zip stored.txt deflated.txt docs
python3 - stored.txt deflated.txt <<'PY' | cat >python.zip
import sys, zipfile
with zipfile.ZipFile(sys.stdout.buffer, "w") as z:  # a pipe: sizes go to data descriptors
    z.write(sys.argv[1], compress_type=zipfile.ZIP_STORED)
    z.write(sys.argv[2], compress_type=zipfile.ZIP_DEFLATED)
PY
mkdir sjis
printf 'hyou\n' >"sjis/$(printf '\x95\x5c.txt')"          # "表.txt"
printf 'nihongo\n' >"sjis/$(printf '\x93\xfa\x96\x7b\x8c\xea.lzh')"  # "日本語.lzh"
(cd sjis && zip -q -X ../sjis.zip ./*)

# Sweep archives: small, so that every header byte can be damaged in turn.
printf 'stored member\n' >a.txt
lines 20 tiny >b.txt
zip -q -X sweep-zip.zip -0 a.txt && zip -q -X -9 sweep-zip.zip b.txt
7zz a -bd -bso0 -tzip sweep-7zz.zip a.txt b.txt
bsdtar --format zip -cf sweep-bsdtar.zip a.txt b.txt
jar cfM sweep-jar.zip a.txt b.txt
python3 - a.txt b.txt <<'PY' | cat >sweep-python.zip
import sys, zipfile
with zipfile.ZipFile(sys.stdout.buffer, "w") as z:
    z.write(sys.argv[1], compress_type=zipfile.ZIP_STORED)
    z.write(sys.argv[2], compress_type=zipfile.ZIP_DEFLATED)
PY
{ printf 'MZ'; head -c 3000 /dev/zero | tr '\0' 'S'; } >stub.bin
cat stub.bin sweep-zip.zip >sweep-sfx.exe
zip -q -A sweep-sfx.exe

cp mixed.zip deflated.zip encrypted.zip deflate64.zip lzma.zip zip64.zip streamed.zip sevenzip.zip bsdtar.zip \
  jar.zip python.zip sjis.zip sweep-*.zip sweep-sfx.exe "$here"/
