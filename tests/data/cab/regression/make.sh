#!/usr/bin/env bash
# Regenerates the CAB regression fixtures of this folder with gcab.
#   zeros.cab   one MSZIP member of 4 MiB of zero bytes (about 7 KiB): test_cab repeats and
#               reorders its file entry at run time. Entries naming the same large range used to
#               make each member decode the folder again from its start (a 40 KiB cabinet of
#               1500 such entries took minutes); now each folder is decoded once.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
head -c 4194304 /dev/zero >zeros.bin
touch -d '2020-01-02 03:04:05' zeros.bin
rm -f "$here"/zeros.cab
gcab -c -n -z "$here"/zeros.cab zeros.bin
