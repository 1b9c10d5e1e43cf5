#!/bin/sh
# Archives of one family that carry an archive of another family as a stored member, most of them
# as self-extractors: only the carrying family may claim each file. Needs zip, arj, jlha-utils,
# gcab and python3 (for the DOS stub of ../lzh/make_stub.py).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
seq 1 400 > numbers.txt
printf 'Carried archives: only the outer archive is the file'"'"'s own.\n' > readme.txt
touch -d '2024-01-02 03:04:06' numbers.txt readme.txt
python3 "$here/../lzh/make_stub.py" mz > stub.exe
jlha a2o5 inner.lzh numbers.txt > /dev/null
zip -q -X -9 inner.zip numbers.txt
arj a -m1 -y inner.arj numbers.txt > /dev/null
touch -d '2024-01-02 03:04:06' inner.lzh inner.zip inner.arj

# ZIP self-extractor: zip stores .lzh and .arj members as they are; offsets adjusted as zip -A does.
zip -q -X zipped.zip readme.txt inner.lzh
cat stub.exe zipped.zip > zip_sfx_lzh.exe && zip -q -A zip_sfx_lzh.exe
zip -q -X zipped_arj.zip readme.txt inner.arj
cat stub.exe zipped_arj.zip > zip_sfx_arj.exe && zip -q -A zip_sfx_arj.exe
# ARJ self-extractor (arj's own ELF stub) storing everything, an LZH among the members.
arj a -je -m0 -y arj_sfx_lzh.exe readme.txt inner.lzh > /dev/null
[ -f arj_sfx_lzh.exe ] || mv arj_sfx_lzh.exe.exe arj_sfx_lzh.exe 2>/dev/null || true
# LZH self-extractor storing a ZIP.
jlha az2 stored.lzh readme.txt inner.zip > /dev/null
cat stub.exe stored.lzh > lzh_sfx_zip.exe
# Cabinets without compression: a ZIP as the last member (behind a stub), an LZH in a plain one.
gcab -c cabbed.cab readme.txt inner.zip
cat stub.exe cabbed.cab > cab_sfx_zip.exe
gcab -c cab_lzh.cab readme.txt inner.lzh

cp zip_sfx_lzh.exe zip_sfx_arj.exe arj_sfx_lzh.exe lzh_sfx_zip.exe cab_sfx_zip.exe cab_lzh.cab "$here/"
