#!/usr/bin/env python3
"""Generates tests/fixtures/kml/fsinfo_hashes.tsv: the FsInfo hash of the trip document's track
placemark for a small five-point flight and its variants, computed with sha1sum over the exact
bytes the hash covers (key, time of the first point, instrument text, download time, relative
times, pressure altitudes, coordinates), so the tests never take the expected value from our own
SHA-1 or from our own writer. The flight and its variants are the same as in
tests/kml/kml_writer_test.cpp (FsInfoHash cases).
Usage: tools/make_kml_hash_fixtures.py OUTPUT_FILE     (--check OUTPUT_FILE compares instead)
"""
import subprocess
import sys

# The stored key bytes; each byte gets its position added (mod 256) before use.
STORED_KEY = [0x54, 0x71, 0x70, 0x5f, 0x4b, 0x3f, 0x4c, 0x61, 0x2e, 0x6a, 0x59, 0x35,
              0x66, 0x27, 0x40, 0x5a, 0x63]
KEY = bytes((b + i) & 0xFF for i, b in enumerate(STORED_KEY))

# Five points: seconds after 2024-06-01 10:00:00 UTC, latitude and longitude in semicircles,
# GPS altitude in decimetres, pressure altitude in metres.
BASE_POINTS = [
    (0, 554766609, 89478485, 10004, 980),
    (5, 554770000, 89480000, 10056, 985),
    (10, 554775000, 89490000, 10114, 991),
    (15, 554781000, 89501000, 10207, 1000),
    (20, 554790000, 89515000, 10299, 1009),
]
BASE_INSTRUMENT = 'Flytec 6030 <&"> SN 1234'
DOWNLOADED = '2024-06-01T18:30:00Z'
FIRST = '2024-06-01T10:00:00Z'


def degrees(semicircles):
    return semicircles * 180.0 / 2147483648.0


def hashed_text(points, instrument):
    parts = [KEY, FIRST.encode(), instrument.encode(), DOWNLOADED.encode()]
    parts.append(' '.join(str(p[0]) for p in points).encode())
    parts.append(' '.join(str(p[4]) for p in points).encode())
    coords = ['%.6f,%.6f,%d' % (degrees(p[2]), degrees(p[1]), int((p[3] + 5) / 10)) for p in points]
    parts.append(' '.join(coords).encode())
    return b''.join(parts)


def cases():
    moved = list(BASE_POINTS)
    # 12 semicircles are about one millionth of a degree: the sixth decimal of one longitude.
    moved[2] = (moved[2][0], moved[2][1], moved[2][2] + 12, moved[2][3], moved[2][4])
    yield 'base', BASE_POINTS, BASE_INSTRUMENT
    yield 'coordinate_digit', moved, BASE_INSTRUMENT
    yield 'instrument_text', BASE_POINTS, BASE_INSTRUMENT.replace('1234', '1235')
    yield 'no_instrument', BASE_POINTS, 'unknown'


def sha1sum(data):
    out = subprocess.run(['sha1sum'], input=data, capture_output=True, check=True).stdout
    return out.split()[0].decode().upper()


def generate():
    lines = []
    texts = {}
    for name, points, instrument in cases():
        text = hashed_text(points, instrument)
        texts[name] = text
        lines.append('%s\t%s\n' % (name, sha1sum(text)))
    # The variant must really change one digit of one coordinate text.
    assert texts['base'] != texts['coordinate_digit']
    return ''.join(lines)


def main():
    args = sys.argv[1:]
    check = args[:1] == ['--check']
    if check:
        args = args[1:]
    if len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    text = generate()
    if check:
        with open(args[0]) as f:
            if f.read() != text:
                print('fixture differs from sha1sum:\n' + text, file=sys.stderr)
                return 1
        return 0
    with open(args[0], 'w') as f:
        f.write(text)
    return 0


if __name__ == '__main__':
    sys.exit(main())
