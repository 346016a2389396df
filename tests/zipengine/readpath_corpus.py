#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes a corpus of valid and hostile ZIP archives into the folder given, for the test that
holds the engine's two read paths equal. Archives come from Python's zipfile, Info-ZIP zip and
a raw writer that controls every byte (names, flags, extra fields, sizes), plus byte surgery
on all of them."""
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
DIZ = b'A description\r\n' * 8


def put(name, data):
    with open(os.path.join(out, name), 'wb') as f:
        f.write(data)


def pyzip(members, method=zipfile.ZIP_DEFLATED, comment=b'', unseekable=False):
    buf = io.BytesIO()

    class Unseekable:
        def write(self, b):
            return buf.write(b)

        def flush(self):
            pass

    with zipfile.ZipFile(Unseekable() if unseekable else buf, 'w', method) as z:
        for name, data in members:
            z.writestr(name, data)
        z.comment = comment
    return buf.getvalue()


def raw(members, comment=b'', zip64_end=False):
    """members: dicts with name (bytes), data (bytes) and optional method, flags, extra,
    local_extra, date, time, crc, size, csize, local_name, local_method, local_flags."""
    body, central = b'', b''
    for m in members:
        method = m.get('method', 8)
        data = m['data']
        packed = data
        if method == 8:
            c = zlib.compressobj(6, zlib.DEFLATED, -15)
            packed = c.compress(data) + c.flush()
        packed = m.get('packed', packed)
        crc = m.get('crc', zlib.crc32(data))
        size, csize = m.get('size', len(data)), m.get('csize', len(packed))
        flags, date, time = m.get('flags', 0), m.get('date', 0x5A21), m.get('time', 0x6000)
        name = m['name']
        lname = m.get('local_name', name)
        lextra = m.get('local_extra', b'')
        offset = len(body)
        body += struct.pack('<4sHHHHHIIIHH', b'PK\3\4', 20, m.get('local_flags', flags),
                            m.get('local_method', method), time, date, crc,
                            min(csize, 0xFFFFFFFF), min(size, 0xFFFFFFFF), len(lname),
                            len(lextra)) + lname + lextra + packed
        extra = m.get('extra', b'')
        central += struct.pack('<4sHHHHHHIIIHHHHHII', b'PK\1\2', 0x031E, 20, flags, method, time,
                               date, crc, m.get('cd_csize', csize), m.get('cd_size', size),
                               len(name), len(extra), 0, 0, 0, m.get('attr', 0),
                               m.get('cd_offset', offset)) + name + extra
    n = len(members)
    tail = b''
    if zip64_end:
        z64 = len(body) + len(central)
        tail = struct.pack('<4sQHHIIQQQQ', b'PK\6\6', 44, 45, 45, 0, 0, n, n, len(central),
                           len(body))
        tail += struct.pack('<4sIQI', b'PK\6\7', 0, z64, 1)
        end = struct.pack('<4sHHHHIIH', b'PK\5\6', 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF,
                          0xFFFFFFFF, len(comment))
    else:
        end = struct.pack('<4sHHHHIIH', b'PK\5\6', 0, 0, n, n, len(central), len(body),
                          len(comment))
    return body + central + tail + end + comment


def m(name, data=DIZ, **kw):
    return dict(name=name, data=data, **kw)


def unicode_extra(stored, real):
    payload = struct.pack('<BI', 1, zlib.crc32(stored)) + real
    return struct.pack('<HH', 0x7075, len(payload)) + payload


# Valid archives from Python's zipfile.
base = [('file_id.diz', DIZ), ('readme.txt', b'Read me\n'), ('GAME.txt', b'game\n'),
        ('docs/info.txt', b'info\n' * 100)]
put('py_deflated.zip', pyzip(base))
put('py_stored.zip', pyzip(base, zipfile.ZIP_STORED))
put('py_descriptors.zip', pyzip(base, unseekable=True))
put('py_cases.zip', pyzip([('File_Id.Diz', b'mixed\n'), ('FILE_ID.DIZ', b'upper\n'),
                           ('file_id.diz', b'lower\n'), ('readme.txt', b'one\n'),
                           ('readme.txt', b'two\n'), ('README.TXT', b'three\n')]))
put('py_utf8.zip', pyzip([('ÄRGER.TXT', b'upper umlaut\n'), ('ärger.txt', b'lower umlaut\n'),
                          ('Straße.diz', b'sharp s\n'), ('\u212aelvin.txt', b'kelvin sign\n')]))
put('py_empty.zip', pyzip([]))
put('py_comment.zip', pyzip(base, comment=b'Visit our board!'))
put('py_zip64.zip', pyzip([('m%05d' % i, b'x') for i in range(70000)] + [('FILE_ID.DIZ', DIZ)],
                          zipfile.ZIP_STORED))
put('py_bigmember.zip', pyzip([('file_id.diz', os.urandom(5 * 1024 * 1024))],
                              zipfile.ZIP_STORED))
buf = io.BytesIO()
with zipfile.ZipFile(buf, 'w', zipfile.ZIP_DEFLATED) as z:
    with z.open('file_id.diz', 'w', force_zip64=True) as f:
        f.write(DIZ)
    z.writestr('readme.txt', b'after a zip64 member\n')
put('py_zip64_local.zip', buf.getvalue())

# Info-ZIP zip: a plain archive and an encrypted one.
with tempfile.TemporaryDirectory() as tmp:
    for name, data in base[:3]:
        with open(os.path.join(tmp, name), 'wb') as f:
            f.write(data)
    for target, extra in (('izip.zip', []), ('izip_encrypted.zip', ['-P', 'secret'])):
        subprocess.run(['zip', '-q', '-X'] + extra + [os.path.join(out, target), 'file_id.diz',
                                                      'readme.txt', 'GAME.txt'],
                       cwd=tmp, check=True)

# The raw writer: names, extra fields and headers as the test needs them.
put('raw_cp437.zip', raw([m(b'\x8eRGER.TXT', b'cp437 upper\n'), m(b'\x84rger.txt', b'cp437\n'),
                          m(b'file_id.diz')]))
put('raw_utf8_flag_invalid.zip', raw([m(b'\xff\xfe.txt', flags=0x800), m(b'file_id.diz')]))
put('raw_unicode_path.zip', raw([m(b'ARGER.TXT', b'unicode path\n',
                                   extra=unicode_extra(b'ARGER.TXT', 'ÄRGER.TXT'.encode())),
                                 m(b'file_id.diz', extra=unicode_extra(b'other', b'x.txt'))]))
put('raw_unicode_path_flagged.zip', raw([m(b'ARGER.TXT', flags=0x800,
                                           extra=unicode_extra(b'ARGER.TXT', "ÄR'ER.TXT".encode()))]))
put('raw_control_name.zip', raw([m(b'file_id.diz\x01'), m(b'read\x7fme.txt'), m(b'readme.txt')]))
put('raw_methods.zip', raw([m(b'file_id.diz', method=12, packed=b'BZh9junk'),
                            m(b'readme.txt', method=0)]))
put('raw_bad_dates.zip', raw([m(b'file_id.diz', date=(5 << 9) | (13 << 5) | 1),
                              m(b'readme.txt', time=(25 << 11))]))
put('raw_zip64_end.zip', raw([m(b'file_id.diz'), m(b'readme.txt', method=0)], zip64_end=True))
put('raw_torn_extra.zip', raw([m(b'file_id.diz', extra=b'\x01\x02\x03')]))
put('raw_lying_size.zip', raw([m(b'file_id.diz', cd_size=10), m(b'readme.txt', cd_size=5000)]))
put('raw_lying_crc.zip', raw([m(b'file_id.diz', crc=0x12345678)]))
put('raw_local_name.zip', raw([m(b'file_id.diz', local_name=b'other_name.x')]))
put('raw_local_method.zip', raw([m(b'file_id.diz', local_method=0)]))
put('raw_local_flags.zip', raw([m(b'file_id.diz', local_flags=8)]))
put('raw_encrypted_flag.zip', raw([m(b'file_id.diz', flags=1)]))
put('raw_bomb.zip', raw([m(b'file_id.diz', b'\0' * (8 * 1024 * 1024), cd_size=100)]))
put('raw_offset_past_end.zip', raw([m(b'file_id.diz', cd_offset=999999)]))
put('raw_stored_short.zip', raw([m(b'readme.txt', b'abcdef', method=0, cd_csize=3, cd_size=3)]))

# Comments holding end records: garbage, and a copy of the real one.
good = pyzip(base)
end = good.rindex(b'PK\5\6')
real_end = good[end:end + 22]
put('fake_end_garbage.zip', good[:end + 20] + struct.pack('<H', 26) +
    b'PK\5\6' + b'\xff' * 22)
put('fake_end_copy.zip', good[:end + 20] + struct.pack('<H', 22) + real_end[:20] + b'\0\0')
put('fake_end_zeros.zip', good[:end + 20] + struct.pack('<H', 22) + b'PK\5\6' + b'\0' * 18)
put('comment_too_long.zip', good[:end + 20] + struct.pack('<H', 40) + b'short')
put('comment_too_short.zip', good + b'trailing bytes')
put('front_comment_short.zip', b'a stub in front' * 3 + good + b'trailing bytes')

# Directories libzip refuses and the classic unzip reads: odd bytes in the extra block of the
# last central record (file_id.diz) of a zipfile-made archive. `marked`: 32-bit fields (size,
# compressed size, offset) set to 0xFFFFFFFF, their values then in the block from byte 4 on.
def odd_extra(extra, marked=()):
    info = zipfile.ZipInfo('file_id.diz', (2010, 5, 6, 7, 8, 10))
    info.extra = b'\x66\x66' + struct.pack('<H', len(extra) - 4) + bytes(len(extra) - 4)
    info.compress_type = zipfile.ZIP_DEFLATED
    data = bytearray(pyzip([('readme.txt', b'Read me\n'), (info, DIZ)]))
    at = data.rindex(b'PK\1\2')
    values = b''.join(data[at + f:at + f + 4] + bytes(4) for f in marked)[:len(extra) - 4]
    extra = extra[:4] + values + extra[4 + len(values):]
    data[at + 57:at + 57 + len(extra)] = extra
    for f in marked:
        data[at + f:at + f + 4] = b'\xff' * 4
    return bytes(data)


put('odd_ff_after_field.zip', odd_extra(b'\xff\xff\x06\x00123456\xff'))
put('odd_field_overrun.zip', odd_extra(b'UT\x05\x00\x01\x00\xca\x9a\x3bux\x0c\x00' + bytes(11)))
put('odd_zip64_short.zip', odd_extra(b'\x01\x00\x07\x00' + bytes(24), (24, 20, 42)))
put('odd_zip64_missing.zip', odd_extra(b'\x01\x00\x10\x00' + bytes(16), (24, 20, 42)))

# Truncations and overwritten bytes of a valid archive.
for cut in (len(good) - 1, len(good) - 21, end - 10, end // 2, 30, 4):
    put('cut_%d.zip' % cut, good[:cut])
for at in (end - 40, end - 60, end + 8, end + 12, end + 16, 14, 18, 22, 26, 28):
    damaged = bytearray(good)
    damaged[at] ^= 0x5A
    put('flip_%d.zip' % at, bytes(damaged))
put('not_a_zip.zip', b'This is plain text, not an archive.\n' * 10)
put('empty_file.zip', b'')
# Long names alike in length, beginning and end: a lookup compares them, not only their hashes.
put('alike_long_names.zip', pyzip([('descript%03d_info.txt' % i, b'%d\n' % i) for i in range(20)] +
                                  [('DESCRIPT007_INFO.TXT', b'upper\n'), ('Descrip_x_0_info.txt', b'x\n')]))
put('many_names.zip', pyzip([('dir%d/file_id.diz' % i, b'%d' % i) for i in range(200)] +
                            [('FILE_ID.DIZ', DIZ), ('file_id.diz', b'exact\n')]))


# The methods of the DOS era, from small encoders written for the test (no tool at hand
# writes them): each packs real redundancy so that every part of its decoder is used.
class Bits:
    def __init__(self):
        self.v, self.n, self.out = 0, 0, bytearray()

    def put(self, value, n):
        self.v |= value << self.n
        self.n += n
        while self.n >= 8:
            self.out.append(self.v & 255)
            self.v, self.n = self.v >> 8, self.n - 8

    def msb_first(self, code, n):
        for i in reversed(range(n)):
            self.put((code >> i) & 1, 1)

    def done(self):
        return bytes(self.out) + (bytes([self.v]) if self.n else b'')


def shrink(data):
    b, width, table, nxt, w = Bits(), 9, {bytes([i]): i for i in range(256)}, 257, b''
    for c in data:
        if w + bytes([c]) in table:
            w += bytes([c])
            continue
        b.put(table[w], width)
        if nxt < 8192:
            table[w + bytes([c])], nxt = nxt, nxt + 1
            if nxt == 1 << width and width < 13:
                b.put(256, width), b.put(1, width)
                width += 1
        w = bytes([c])
    b.put(table[w], width)
    return b.done()


def matches(data, i, window, longest):
    best = (0, 0)
    for d in range(1, min(i, window) + 1):
        n = 0
        while n < longest and i + n < len(data) and data[i + n - d] == data[i + n]:
            n += 1
        best = max(best, (n, d))
    return best


def reduce(data, factor):
    mask, inter, i = 0xFF >> factor, bytearray(), 0
    while i < len(data):
        n, d = matches(data, i, 256 << factor, mask + 255 + 3)
        if n >= 4:
            length = n - 3
            v = ((d - 1) >> 8 << (8 - factor)) | min(length, mask)
            inter += bytes([144, v]) + (bytes([length - mask]) if length >= mask else b'')
            inter.append((d - 1) & 255)
            i += n
        else:
            inter += bytes([data[i], 0]) if data[i] == 144 else bytes([data[i]])
            i += 1
    follow = {}
    for x, y in zip(b'\0' + bytes(inter), inter):
        follow.setdefault(x, {}).setdefault(y, 0)
        follow[x][y] += 1
    sets = {x: sorted(f, key=lambda y: -f[y])[:3] for x, f in follow.items()}
    b = Bits()
    for x in range(255, -1, -1):
        b.put(len(sets.get(x, [])), 6)
        for y in sets.get(x, []):
            b.put(y, 8)
    last = 0
    for y in inter:
        s = sets.get(last, [])
        if s and y in s:
            b.put(0, 1), b.put(s.index(y), max(1, (len(s) - 1).bit_length()))
        else:
            if s:
                b.put(1, 1)
            b.put(y, 8)
        last = y
    return b.done()


def sf_tree(lengths):
    runs, out = [], bytearray()
    for n in lengths:
        if runs and runs[-1][0] == n and runs[-1][1] < 16:
            runs[-1][1] += 1
        else:
            runs.append([n, 1])
    out = bytes([len(runs) - 1]) + bytes(((k - 1) << 4) | (n - 1) for n, k in runs)
    order = sorted(range(len(lengths)), key=lambda s: lengths[s])
    codes, code, inc, last = {}, 0, 0, 0
    for s in reversed(order):
        code += inc
        if lengths[s] != last:
            last, inc = lengths[s], 1 << (16 - lengths[s])
        codes[s] = (code >> (16 - lengths[s]), lengths[s])
    return out, codes


def implode(data, big, literal_tree):
    low, minimum = (7 if big else 6), (3 if literal_tree else 2)
    lit, lit_codes = sf_tree([8] * 256)
    lens, len_codes = sf_tree([4] * 8 + [7] * 48 + [6] * 8)
    dist, dist_codes = sf_tree([6] * 64)
    b = Bits()
    for t in ([lit] if literal_tree else []) + [lens, dist]:
        for byte in t:
            b.put(byte, 8)
    i = 0
    while i < len(data):
        n, d = matches(data, i, 8192 if big else 4096, minimum + 63 + 255)
        if n >= minimum:
            b.put(0, 1), b.put((d - 1) & ((1 << low) - 1), low)
            b.msb_first(*dist_codes[(d - 1) >> low])
            b.msb_first(*len_codes[min(n - minimum, 63)])
            if n - minimum >= 63:
                b.put(n - minimum - 63, 8)
            i += n
        else:
            b.put(1, 1)
            b.msb_first(*lit_codes[data[i]]) if literal_tree else b.put(data[i], 8)
            i += 1
    return b.done()


TEXT = b''.join(b'%d: The quick brown fox jumps over the lazy dog \x90 %s\r\n' % (i, b'=' * (i % 7))
                for i in range(120))
# The last: bytes stored as they are under the shrink label, as some packers do.
legacy = [(1, 0, shrink(TEXT), 'shrink'), (1, 0, TEXT, 'stored_shrink')] + \
         [(1 + f, 0, reduce(TEXT, f), 'reduce%d' % f) for f in (1, 2, 3, 4)] + \
         [(6, (2 if big else 0) | (4 if lt else 0), implode(TEXT, big, lt),
           'implode_%s_%d' % ('8k' if big else '4k', 3 if lt else 2))
          for big in (False, True) for lt in (False, True)]
for method, flags, packed, name in legacy:
    members = [m(b'FILE_ID.DIZ', TEXT, method=method, flags=flags, packed=packed),
               m(b'readme.txt', b'Read me\n')]
    put('legacy_%s.zip' % name, raw(members))
    put('legacy_%s_cut.zip' % name,
        raw([m(b'FILE_ID.DIZ', TEXT, method=method, flags=flags, packed=packed[:len(packed) // 2])]))
    flipped = bytearray(packed)
    flipped[len(packed) // 3] ^= 0x24
    put('legacy_%s_flipped.zip' % name,
        raw([m(b'FILE_ID.DIZ', TEXT, method=method, flags=flags, packed=bytes(flipped))]))
with tempfile.TemporaryDirectory() as tmp:
    with open(os.path.join(tmp, 'FILE_ID.DIZ'), 'wb') as f:
        f.write(TEXT * 40)
    subprocess.run(['7z', 'a', '-bd', '-tzip', '-mm=Deflate64', os.path.join(out, 'legacy_deflate64.zip'),
                    'FILE_ID.DIZ'], cwd=tmp, check=True, stdout=subprocess.DEVNULL)
# Data in front of an archive whose offsets do not count it; members that overlap.
put('front_stub.zip', b'MZ' + b'\x90' * 500 + pyzip(base))
put('overlap.zip', raw([m(b'file_id.diz', TEXT), m(b'readme.txt', TEXT, cd_offset=0)]))
# A last name whose bytes before the end record look like a Zip64 end record and locator.
put('false_locator.zip', pyzip([('file_id.diz', DIZ), ('zPK\x06\x06PK\x06\x07' + '0' * 16, DIZ)]))
# An empty file with every DOS attribute bit set; a member carrying its time in UTC.
put('attr_ff.zip', raw([m(b'empty.txt', b'', method=0, attr=0xFF), m(b'label', b'', attr=0x08)]))
put('utc_time.zip', raw([m(b'stamped.txt', extra=struct.pack('<HHBI', 0x5455, 5, 1, 1000000000))]))
