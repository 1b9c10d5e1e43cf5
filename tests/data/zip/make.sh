#!/usr/bin/env bash
# Regenerates the ZIP fixtures of this folder with Info-ZIP zip and 7-Zip (7zz).
#   mixed.zip      stored, deflated and bzip2 members, a folder entry and a member inside it
#   deflated.zip   one deflated text member (base for the corrupted copies the tests make)
#   encrypted.zip  one ZipCrypto member (password "secret") and one plain member
#   deflate64.zip  one Deflate64 member (a method libzip does not decode)
#   lzma.zip       one LZMA member (likewise)
#   zip64.zip      zip64 end records and extra fields (zip -fz)
#   streamed.zip   a member read from a pipe: data descriptor, zip64 end records, plain values
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Text-like, compressible, deterministic content.
lines() { awk -v n="$1" -v s="$2" 'BEGIN { for (i = 0; i < n; i++) printf "%s line %05d: the quick brown fox %d jumps over %d lazy dogs\n", s, i, (i * 7919) % 1000, i % 13 }'; }
lines 100 stored >stored.txt
lines 600 deflated >deflated.txt
lines 500 bzip2 >bzip2.txt
mkdir docs
lines 50 nested >docs/nested.txt
touch -d '2020-01-02 03:04:05' stored.txt deflated.txt bzip2.txt docs docs/nested.txt

rm -f "$here"/*.zip
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
cp mixed.zip deflated.zip encrypted.zip deflate64.zip lzma.zip zip64.zip streamed.zip "$here"/
