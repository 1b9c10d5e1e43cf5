#!/usr/bin/env bash
# Regenerates the cabinet sets of this folder (python3 only: gcab cannot write sets).
#   SET5-1.CAB .. SET5-5.CAB  one stored folder (2000-byte blocks) through all five cabinets,
#                             blocks split at each cabinet's end; big.txt runs from SET5-1.CAB
#                             through SET5-2.CAB into SET5-3.CAB, d.txt spans 3 and 4; a second
#                             folder in SET5-5.CAB
#   ZIP-1.CAB, ZIP-2.CAB      MSZIP (zlib, each block with the previous 32 KiB as dictionary), a
#                             block split between the two, members spanning them
#   LZX-1.CAB, LZX-2.CAB      a stored folder, then LZX (21-bit window) in one uncompressed
#                             block split between the two cabinets
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python3 - "$here" <<'PY'
import struct, sys, zlib
out = sys.argv[1]

def text(n, seed):
    lines, i = [], 0
    while sum(map(len, lines)) < n:
        lines.append(f"{seed} line {i:05d}: the quick brown fox {(i * 7919 + seed) % 1000} jumps over {i % 13} lazy dogs\n")
        i += 1
    return ''.join(lines).encode()[:n]

def checksum(data, seed=0):
    s = seed
    n = len(data) // 4
    for (w,) in struct.iter_unpack('<I', data[:n * 4]):
        s ^= w
    t = 0
    for c in data[n * 4:]:
        t = (t << 8) | c
    return s ^ t

def stored(data, size=32768):
    return [(data[i:i + size], len(data[i:i + size])) for i in range(0, len(data), size)]

def mszip(data):
    blocks, prev = [], b''
    for i in range(0, len(data), 32768):
        chunk = data[i:i + 32768]
        c = zlib.compressobj(9, zlib.DEFLATED, -15, zdict=prev) if prev else zlib.compressobj(9, zlib.DEFLATED, -15)
        blocks.append((b'CK' + c.compress(chunk) + c.flush(zlib.Z_FINISH), len(chunk)))
        prev = (prev + chunk)[-32768:]
    return blocks

def lzx_uncompressed(data):
    # One uncompressed LZX block per 32 KiB frame; bits are read high first from 16-bit words.
    blocks = []
    for i in range(0, len(data), 32768):
        chunk = data[i:i + 32768]
        bits = '0' if i == 0 else ''          # no E8 translation header
        bits += '011'                          # block type 3: uncompressed
        bits += format(len(chunk), '024b')    # block size
        bits += '0' * (-len(bits) % 16)        # align to 16 bits (27 or 28 header bits: never 0)
        head = b''.join(struct.pack('<H', int(bits[k:k + 16], 2)) for k in range(0, len(bits), 16))
        body = head + struct.pack('<III', 1, 1, 1) + chunk + (b'\0' if len(chunk) % 2 else b'')
        blocks.append((body, len(chunk)))
    return blocks

def cfdata(payload, uncomp):
    sizes = struct.pack('<HH', len(payload), uncomp)
    return struct.pack('<I', checksum(sizes, checksum(payload))) + sizes + payload

def write_set(prefix, folders, files, cuts, set_id):
    """folders: [(type, blocks)]; files: [(name, folder, offset, size)]; cuts: {(folder, block):
    [bytes]} where new cabinets begin: before the block (0) or inside it (a split block). A member
    begins in the cabinet where the block holding its first byte begins and ends where the block
    holding its last byte ends."""
    cabs = [[]]    # per cabinet: [folder, type, [CFDATA records]]
    spans = {}     # folder -> [(first byte, end, cabinet where the block begins, where it ends)]
    for fi, (ftype, blocks) in enumerate(folders):
        pos = 0
        for bi, (payload, uncomp) in enumerate(blocks):
            cut = cuts.get((fi, bi), [])
            if cut[:1] == [0]:
                cabs.append([])
            if not cabs[-1] or cabs[-1][-1][0] != fi:
                cabs[-1].append([fi, ftype, []])
            begins = len(cabs) - 1
            done = 0
            for k in cut:
                if k > 0:
                    cabs[-1][-1][2].append(cfdata(payload[done:k], 0))
                    cabs.append([[fi, ftype, []]])
                    done = k
            cabs[-1][-1][2].append(cfdata(payload[done:], uncomp))
            spans.setdefault(fi, []).append((pos, pos + uncomp, begins, len(cabs) - 1))
            pos += uncomp
    names = [f'{prefix}-{i + 1}.CAB' for i in range(len(cabs))]
    def cabinets(folder, offset, size):
        blocks = spans[folder]
        first = next(b[2] for b in blocks if b[0] <= offset < b[1] or (size == 0 and offset == b[1]))
        last = next(b[3] for b in blocks if b[0] < offset + max(size, 1) <= b[1])
        return first, last
    for ci, c in enumerate(cabs):
        entries = []
        for name, folder, offset, size in files:
            first, last = cabinets(folder, offset, size)
            if not first <= ci <= last:
                continue
            local = [f[0] for f in c].index(folder)
            index = local if first == last else 0xFFFF if first < ci < last else 0xFFFE if ci == first else 0xFFFD
            entries.append(struct.pack('<IIHHHH', size, offset, index, 0x5021, 0x1862, 0x20) + name.encode() + b'\0')
        flags = (1 if ci > 0 else 0) | (2 if ci + 1 < len(cabs) else 0)
        links = b''
        if ci > 0:
            links += names[ci - 1].encode() + b'\0' + f'disk {ci}'.encode() + b'\0'
        if ci + 1 < len(cabs):
            links += names[ci + 1].encode() + b'\0' + f'disk {ci + 2}'.encode() + b'\0'
        files_at = 36 + len(links) + 8 * len(c)
        data_at = files_at + sum(map(len, entries))
        table, data = b'', b''
        for fi, ftype, records in c:
            table += struct.pack('<IHH', data_at + len(data), len(records), ftype)
            data += b''.join(records)
        total = data_at + len(data)
        header = b'MSCF' + struct.pack('<IIIIIBBHHHHH', 0, total, 0, files_at, 0, 3, 1, len(c), len(entries),
                                       flags, set_id, ci)
        open(f'{out}/{names[ci]}', 'wb').write(header + links + table + b''.join(entries) + data)

# Five cabinets: a.txt, c.txt and e.txt each lie in one of them; big.txt runs from the first
# through the second into the third, d.txt spans the third and fourth; the fifth starts a folder.
parts = [text(32768, k) for k in range(1, 6)]
blocks = mszip(b''.join(parts))
sizes = [len(p) for p, _ in blocks]
write_set('SET5', [(1, blocks), (1, mszip(text(3000, 6)))],
          [(name, 0, k * 32768, 32768) for k, name in enumerate(['a.txt', 'big.txt', 'c.txt', 'd.txt', 'e.txt'])]
          + [('f.txt', 1, 0, 3000)],
          {(0, 1): [sizes[1] // 3, 2 * sizes[1] // 3], (0, 3): [sizes[3] // 2], (1, 0): [0]}, 0x5E75)
z = text(90000, 7)
zb = mszip(z)
write_set('ZIP', [(1, zb)], [('one.txt', 0, 0, 30000), ('two.txt', 0, 30000, 60000)], {(0, 1): [len(zb[1][0]) // 2]}, 0x2127)
s, x = text(1500, 8), text(12000, 9)
xb = lzx_uncompressed(x)
write_set('LZX', [(0, stored(s)), (0x1503, xb)],
          [('s.txt', 0, 0, len(s)), ('one.txt', 1, 0, 5000), ('two.txt', 1, 5000, 7000)], {(1, 0): [len(xb[0][0]) // 2]}, 0x1A2B)
PY
