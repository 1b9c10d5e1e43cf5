#!/usr/bin/env python3
"""Writes a small executable stub to standard output, for self-extractors made by appending an
archive: `mz` a DOS program (MZ header, prints a line and exits), `hu` an X68000 program (HU
header, text section ending in DOS _EXIT). Both declare their own size, as real stubs do."""
import struct
import sys

MESSAGE = b"This self-extractor needs an extractor to run.\r\n$"


def mz():
    # push cs; pop ds; mov dx, message; mov ah, 9; int 21h; mov ax, 4C01h; int 21h
    code = bytes([0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09, 0xCD, 0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21])
    body = code + MESSAGE
    header_paragraphs = 2
    size = header_paragraphs * 16 + len(body)
    pages, last = (size + 511) // 512, size % 512
    header = struct.pack('<2sHHHHHHHHHHHHH', b'MZ', last, pages, 0, header_paragraphs, 0x10, 0xFFFF,
                         0, 0xB8, 0, 0, 0, 0x1C, 0)
    header += bytes(header_paragraphs * 16 - len(header))
    return header + body


def hu():
    # pea message(pc); DOS _PRINT; addq.l #4,sp; DOS _EXIT
    text = bytes([0x48, 0x7A, 0x00, 0x08, 0xFF, 0x09, 0x58, 0x8F, 0xFF, 0x00]) + MESSAGE[:-1] + b'\0'
    if len(text) % 2:
        text += b'\0'
    header = struct.pack('>2sBBIIIIIIIIII', b'HU', 0, 0, 0, 0, len(text), 0, 0, 0, 0, 0, 0, 0)
    header += bytes(64 - len(header))
    return header + text


sys.stdout.buffer.write({'mz': mz, 'hu': hu}[sys.argv[1]]())
