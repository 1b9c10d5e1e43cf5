#!/usr/bin/env bash
# Regenerates the sample archives the run command checks. Needs: scripts/setup.sh --tools.
#   GOOD.LZH  GOOD.ZIP  GOOD.ARJ  GOOD.CAB   intact archives of each family (made by jlha, zip, arj, gcab)
#   BROKEN.LZH BROKEN.ZIP                   copies with one compressed data byte changed
#   TRUNCATED.ARJ                           a copy cut short in the middle of its data
#   SETUP.EXE                               a ZIP self-extractor: a stub program with a ZIP behind it
#   NOTES.LZH.ZIP                           a double archive: a ZIP holding NOTES.LZH
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

mkdir src
for i in $(seq 1 400); do echo "Line $i: Orvex2 sample text, checked by the batch verifier. いろはにほへと"; done > src/readme.txt
seq 1 5000 > src/numbers.txt
head -c 3000 /usr/bin/arj > src/binary.bin

(cd src && jlha a1o5 "$work/GOOD.LZH" readme.txt numbers.txt binary.bin >/dev/null)
(cd src && zip -q -9 ../GOOD.ZIP readme.txt numbers.txt binary.bin)
(cd src && arj a -m1 -y ../GOOD.ARJ readme.txt numbers.txt binary.bin >/dev/null)
gcab -c -z GOOD.CAB src/readme.txt src/numbers.txt src/binary.bin >/dev/null 2>&1 || gcab -c -z GOOD.CAB src/*

# Flip one byte in the middle of the first member's compressed data.
flip() {  # file offset
  local b
  b=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
  printf "$(printf '\\%03o' $(( (b ^ 0x55) & 255 )))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
cp GOOD.LZH BROKEN.LZH && flip BROKEN.LZH 200
cp GOOD.ZIP BROKEN.ZIP && flip BROKEN.ZIP 200
head -c $(( $(stat -c %s GOOD.ARJ) / 2 )) GOOD.ARJ > TRUNCATED.ARJ

# A self-extractor: an executable stub with the ZIP appended, offsets fixed by zip -A.
head -c 8192 /bin/true > SETUP.EXE
cat GOOD.ZIP >> SETUP.EXE
zip -q -A SETUP.EXE

cp GOOD.LZH NOTES.LZH
zip -q -0 NOTES.LZH.ZIP NOTES.LZH

cp GOOD.LZH GOOD.ZIP GOOD.ARJ GOOD.CAB BROKEN.LZH BROKEN.ZIP TRUNCATED.ARJ SETUP.EXE NOTES.LZH.ZIP "$here/"
echo "samples written to $here"
