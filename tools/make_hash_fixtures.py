#!/usr/bin/env python3
"""Generates tests/fixtures/hashes/crc32_sha1.tsv: the CRC-32 register (zlib's crc32 with its
final inversion undone) and the SHA-1 (sha1sum) of a table of inputs. Each input is named by a
recipe that the tests rebuild:
  text:CHARS          the characters as written
  repeat:CHAR:COUNT   one character COUNT times
  bytes:FIRST:LAST    the byte values FIRST to LAST in order
Usage: tools/make_hash_fixtures.py [OUTPUT_FILE]     (--check OUTPUT_FILE compares instead)
"""
import os
import subprocess
import sys
import zlib

RECIPES = [
    'text:',
    'text:a',
    'text:abc',
    'text:123456789',
    'text:The quick brown fox jumps over the lazy dog',
    'text:abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq',
    'repeat:a:55',
    'repeat:a:56',
    'repeat:a:63',
    'repeat:a:64',
    'repeat:a:65',
    'repeat:a:1000000',
    'bytes:0:255',
]


def build(recipe):
    kind, _, rest = recipe.partition(':')
    if kind == 'text':
        return rest.encode('latin1')
    if kind == 'repeat':
        char, count = rest.split(':')
        return char.encode('latin1') * int(count)
    first, last = (int(x) for x in rest.split(':'))
    return bytes(range(first, last + 1))


def generate():
    lines = []
    for recipe in RECIPES:
        data = build(recipe)
        register = zlib.crc32(data) ^ 0xFFFFFFFF
        sha1 = subprocess.run(['sha1sum'], input=data, check=True,
                              capture_output=True).stdout.split()[0].decode()
        lines.append(f'{recipe}\t{register:08X}\t{sha1}')
    return '\n'.join(lines) + '\n'


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, '..', 'tests', 'fixtures', 'hashes', 'crc32_sha1.tsv')
    if len(sys.argv) > 2 and sys.argv[1] == '--check':
        with open(sys.argv[2]) as f:
            return 0 if f.read() == generate() else 1
    out = sys.argv[1] if len(sys.argv) > 1 else default
    os.makedirs(os.path.dirname(out), exist_ok=True)
    with open(out, 'w') as f:
        f.write(generate())
    return 0


if __name__ == '__main__':
    sys.exit(main())
