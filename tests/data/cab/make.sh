#!/usr/bin/env bash
# Regenerates the CAB fixtures of this folder with gcab (and python3 to join two of them).
#   stored.cab    two uncompressed members
#   mszip.cab     three MSZIP members, one of them over 32 KiB (several data blocks)
#   folders.cab   two folders in one cabinet: one stored, one MSZIP
#   nested.cab    a stored cabinet whose one member is mszip.cab (a cabinet inside a cabinet)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

lines() { awk -v n="$1" -v s="$2" 'BEGIN { for (i = 0; i < n; i++) printf "%s line %05d: the quick brown fox %d jumps over %d lazy dogs\n", s, i, (i * 7919) % 1000, i % 13 }'; }
lines 60 alpha >alpha.txt
lines 900 beta >beta.txt
lines 40 gamma >gamma.txt
touch -d '2020-01-02 03:04:05' alpha.txt beta.txt gamma.txt

rm -f "$here"/*.cab
gcab -c -n stored.cab alpha.txt gamma.txt
gcab -c -n -z mszip.cab alpha.txt beta.txt gamma.txt
# No tool at hand writes more than one folder per cabinet (libgcab refuses), so folders.cab is
# stored.cab and mszip.cab (both gcab output) joined: headers renumbered, data blocks unchanged.
python3 - <<'PY'
import struct
def parse(path):
    b = open(path, 'rb').read()
    assert b[:4] == b'MSCF'
    coff_files, = struct.unpack_from('<I', b, 16)
    nfold, nfile, flags = struct.unpack_from('<HHH', b, 26)
    assert flags == 0
    folders = [struct.unpack_from('<IHH', b, 36 + 8 * i) for i in range(nfold)]
    files, p = [], coff_files
    for _ in range(nfile):
        size, off, ifold, date, time, attr = struct.unpack_from('<IIHHHH', b, p)
        name_end = b.index(b'\0', p + 16)
        files.append((size, off, ifold, date, time, attr, b[p + 16:name_end + 1]))
        p = name_end + 1
    return folders, files, b[folders[0][0]:]
parts = [parse('stored.cab'), parse('mszip.cab')]
folders = [f for part in parts for f in part[0]]
files = []
for base, part in zip((0, len(parts[0][0])), parts):
    files += [(s, o, i + base, d, t, a, n) for (s, o, i, d, t, a, n) in part[1]]
file_bytes = b''.join(struct.pack('<IIHHHH', *f[:6]) + f[6] for f in files)
coff_files = 36 + 8 * len(folders)
data_start = coff_files + len(file_bytes)
folder_bytes, pos = b'', data_start
for part in parts:
    for (start, count, comp) in part[0]:
        folder_bytes += struct.pack('<IHH', pos + start - part[0][0][0], count, comp)
    pos += len(part[2])
total = pos
header = b'MSCF' + struct.pack('<IIIIIBBHHHHH', 0, total, 0, coff_files, 0, 3, 1, len(folders), len(files), 0, 0x4F56, 0)
open('folders.cab', 'wb').write(header + folder_bytes + file_bytes + b''.join(p[2] for p in parts))
PY
touch -d '2020-01-02 03:04:05' mszip.cab
gcab -c -n nested.cab mszip.cab
cp stored.cab mszip.cab folders.cab nested.cab "$here"/
