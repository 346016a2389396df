#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Decoding speed of shrink and implode members: quoril-cli extract against Info-ZIP unzip on
# the same generated archive (no tool at hand writes these methods: a small encoder here does).
#   LEGACY_MB (16)  size of the text packed with implode (shrink takes what its table holds:
#                   about 4 MB of a short repeated period)
#   RUNS (5)
set -euo pipefail
. "$(dirname "$0")/lib.sh"

MB=${LEGACY_MB:-16}
RUNS=${RUNS:-5}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

echo "Packing $MB MB of text with shrink and with implode in $WORK ..."
make_text_files "$WORK/src" 1 "$MB"
python3 - "$WORK" "$(find "$WORK/src" -type f | head -1)" <<'PY'
import struct, sys, zlib

class Bits:
    def __init__(self):
        self.v, self.n, self.out = 0, 0, bytearray()
    def put(self, value, n):
        self.v |= value << self.n
        self.n += n
        while self.n >= 8:
            self.out.append(self.v & 255)
            self.v >>= 8
            self.n -= 8
    def done(self):
        return bytes(self.out) + (bytes([self.v]) if self.n else b'')

def shrink(data):
    # Codes stop at a full table (the partial clearing of PKZIP is not written here): the
    # member is the part of the text coded until then, repetitive enough to be long.
    b, width, table, nxt, w = Bits(), 9, {bytes([i]): i for i in range(256)}, 257, b''
    for i in range(len(data)):
        wc = data[i - len(w):i + 1] if w else data[i:i + 1]
        if wc in table:
            w = wc
            continue
        if nxt == 8192:
            return data[:i - len(w)], b
        b.put(table[w], width)
        table[wc], nxt = nxt, nxt + 1
        if nxt == 1 << width and width < 13:
            b.put(256, width); b.put(1, width)
            width += 1
        w = data[i:i + 1]
    return data, b

def implode(data):
    # 8 KiB dictionary, two trees of equal-length codes: 6-bit lengths and distances.
    b = Bits()
    for tree in (bytes([3]) + bytes([0xF5] * 4), bytes([3]) + bytes([0xF5] * 4)):
        for byte in tree:
            b.put(byte, 8)
    rev6 = [int('{:06b}'.format(63 - s)[::-1], 2) for s in range(64)]
    last, i, n = {}, 0, len(data)
    while i < n:
        key = data[i:i + 3]
        j = last.get(key, -1)
        last[key] = i
        length = 0
        if j >= 0 and i - j <= 8192:
            while length < 320 and i + length < n and data[j + length] == data[i + length]:
                length += 1
        if length >= 3:
            d = i - j - 1
            b.put(0, 1); b.put(d & 127, 7); b.put(rev6[d >> 7], 6)
            b.put(rev6[min(length - 2, 63)], 6)
            if length - 2 >= 63:
                b.put(length - 2 - 63, 8)
            for k in range(i + 1, i + length):
                last[data[k:k + 3]] = k
            i += length
        else:
            b.put(1, 1); b.put(data[i], 8)
            i += 1
    return b.done()

def archive(path, method, flags, data, packed):
    name = b'member.txt'
    crc = zlib.crc32(data)
    local = struct.pack('<4sHHHHHIIIHH', b'PK\3\4', 10, flags, method, 0, 0x5A21, crc,
                        len(packed), len(data), len(name), 0) + name
    central = struct.pack('<4sHHHHHHIIIHHHHHII', b'PK\1\2', 10, 10, flags, method, 0, 0x5A21,
                          crc, len(packed), len(data), len(name), 0, 0, 0, 0, 0, 0) + name
    end = struct.pack('<4sHHHHIIH', b'PK\5\6', 0, 0, 1, 1, len(central),
                      len(local) + len(packed), 0)
    with open(path, 'wb') as f:
        f.write(local + packed + central + end)

work, source = sys.argv[1], sys.argv[2]
data = open(source, 'rb').read()
# A short period makes long phrases: the table's 8192 codes then cover megabytes (a 4096-byte
# period would give a member of a few kilobytes, where only the start of the process counts).
block = data[:8]
head, bits = shrink(block * (48 * 1024 * 1024 // len(block)))
archive(work + '/shrink.zip', 1, 0, head, bits.done())
archive(work + '/implode.zip', 6, 2, data, implode(data))
PY

for method in shrink implode; do
    unzip -tq "$WORK/$method.zip" >/dev/null
    q=(); u=()
    for run in $(seq "$RUNS"); do
        rm -rf "$WORK/q" "$WORK/u"; mkdir "$WORK/q" "$WORK/u"
        q+=("$(timed "$CLI" extract "$WORK/$method.zip" "$WORK/q")")
        u+=("$(timed unzip -o -q "$WORK/$method.zip" -d "$WORK/u")")
        cmp -s "$WORK/q/member.txt" "$WORK/u/member.txt" || { echo "$method: outputs differ" >&2; exit 1; }
    done
    qm=$(printf '%s\n' "${q[@]}" | median); um=$(printf '%s\n' "${u[@]}" | median)
    echo "$method: quoril-cli ${qm}s, unzip ${um}s, ratio $(ratio "$qm" "$um") (goal: at most 1.5)"
done
