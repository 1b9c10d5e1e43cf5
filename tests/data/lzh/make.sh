#!/bin/sh
# Regenerates the LZH fixtures in this folder with jlha-utils (the jlha command for -lh0-,
# -lh5- to -lh7- and header levels 0-2; its Java library through MakeLzh.java for -lh1- to
# -lh4-, -lzs- and -lz5-). Needs jlha-utils and a JDK. Corrupted copies are made by the tests.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

javac -d "$work/classes" -cp /usr/share/java/jlha.jar "$here/MakeLzh.java"
mklzh() { java -cp "/usr/share/java/jlha.jar:$work/classes" MakeLzh "$@"; }

mkdir -p "$work/src/sub"
cd "$work/src"
seq 1 1500 > numbers.txt
printf 'hello world\n' > hello.txt
yes 'LZH sample line' | head -n 200 > sub/inner.txt
touch -d '2024-01-02 03:04:06' numbers.txt hello.txt sub/inner.txt sub

out="$work/out"
mkdir "$out"
# jlha: "z" stores, "o5"/"o6"/"o7" pick the method, a digit the header level (default 2).
jlha az0 "$out/lh0_level0.lzh" hello.txt numbers.txt > /dev/null
jlha a0o5 "$out/lh5_level0.lzh" numbers.txt hello.txt sub/inner.txt > /dev/null
jlha a1o5 "$out/lh5_level1.lzh" numbers.txt hello.txt sub/inner.txt > /dev/null
jlha a2o5 "$out/lh5_level2.lzh" numbers.txt sub > /dev/null
jlha a1o6 "$out/lh6_level1.lzh" numbers.txt sub/inner.txt > /dev/null
jlha a2o7 "$out/lh7_level2.lzh" numbers.txt sub > /dev/null
# jlha's library: methods the command line does not offer, with folders.
mklzh "$out/lh1_level1.lzh" -lh1- 1 numbers.txt sub sub/inner.txt
mklzh "$out/lh2_level1.lzh" -lh2- 1 numbers.txt sub sub/inner.txt
mklzh "$out/lh3_level2.lzh" -lh3- 2 numbers.txt sub/inner.txt
mklzh "$out/lh4_level0.lzh" -lh4- 0 numbers.txt sub/inner.txt
mklzh "$out/lzs_level1.lzh" -lzs- 1 numbers.txt
mklzh "$out/lz5_level2.lzh" -lz5- 2 numbers.txt
# Two -lh5- members and one -lh3- member (one skipped member): jlha's archives end with a 0x00
# byte, so the -lh3- archive is appended in its place.
mklzh "$work/one_lh3.lzh" -lh3- 2 sub/inner.txt
jlha a2o5 "$work/two_lh5.lzh" numbers.txt hello.txt > /dev/null
head -c -1 "$work/two_lh5.lzh" > "$out/lh5_lh3_mixed.lzh"
cat "$work/one_lh3.lzh" >> "$out/lh5_lh3_mixed.lzh"

# Self-extractors as SFX makers build them: a stub that declares its own size, then the archive.
python3 "$here/make_stub.py" mz > "$work/stub.exe"
python3 "$here/make_stub.py" hu > "$work/stub.x"
cat "$work/stub.exe" "$out/lh5_level1.lzh" > "$out/sfx_mz.exe"
cat "$work/stub.x" "$out/lh5_level2.lzh" > "$out/sfx_hu.x"

cp numbers.txt hello.txt "$out/"
cp "$out"/* "$here/"
# h0_subdir.lzh is not made here: it comes from the lhasa project (see README.md).
