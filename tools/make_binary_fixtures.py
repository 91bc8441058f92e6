#!/usr/bin/env python3
"""Builds the binary track fixtures of tests/fixtures/binary by hand, byte by byte, with the
checksum words computed here, not by the program under test:

- MapSource files (.mps) of the versions 'd', 'h' and 'i' with waypoints and tracks, and the
  faulty ones the reader must refuse;
- .dat position logs with and without altitudes, their sum and validation words, and the
  faulty ones (a sum one off, a validation word one off, a forged record count whose 32-bit
  size product wraps to the size of a 28-byte file).

The positions of the .dat logs are UTM metres GeoConvert (GeographicLib) gives for the
positions listed in POSITIONS; the tests expect those positions back within a metre.

Usage: tools/make_binary_fixtures.py OUT_DIR
"""
import os
import struct
import subprocess
import sys

UNIX_TO_RECEIVER = 631065600
DEG = 2 ** 31 / 180.0

# Waypoints: name, comment, latitude, longitude, altitude (None: no altitude).
WAYPOINTS = [
    ('TAKEOFF long name', 'Start place', 46.5, 7.25, 1234.7),
    ('LZ', 'Landing \xe9t\xe9', -33.9, -70.125, None),
]
# Tracks: points of (latitude, longitude, altitude in metres, time as 'seconds since 1970').
TRACKS = [
    [(46.5, 7.25, 1000.9, 1717236000), (46.501, 7.251, 1001.2, 1717236001),
     (46.502, 7.252, -5.5, 1717236002)],
    [(-33.9, 151.2, 12.0, 1717239600), (-33.901, 151.201, 13.0, 1717239605)],
]
# .dat logs: positions (latitude, longitude, altitude in metres) and times (receiver seconds).
POSITIONS = [(46.5, 7.25, 1500), (46.51, 7.26, -12), (46.52, 7.27, 8000000)]
DAT_TIMES = [1086602400, 1086602401, 1086602405]


def word(value):
    return struct.pack('<I', value & 0xFFFFFFFF)


def record(kind, data):
    return word(len(data)) + kind.encode('latin-1') + data


def semicircles(degrees):
    return int(round(degrees * DEG)) & 0xFFFFFFFF


def waypoint_record(version, name, comment, lat, lon, alt):
    data = name.encode('latin-1') + b'\0' + b'\0' * 4 + b'sym\0'
    data += b'\x01' * {'d': 17, 'i': 22}.get(version, 18)
    data += word(semicircles(lat)) + word(semicircles(lon))
    data += (b'\x01' + struct.pack('<d', alt)) if alt is not None else \
        (b'\x00' + struct.pack('<d', 1e25))
    data += comment.encode('latin-1') + b'\0' + b'\0' * 17 + word(18)
    data += b'a\0b\0c\0' + b'\0' * (12 if version == 'd' else 17)
    return record('W', data)


def track_record(name, points):
    data = name.encode('latin-1') + b'\0' + b'\x01' + b'\0' * 4 + word(len(points))
    for lat, lon, alt, unix in points:
        data += word(semicircles(lat)) + word(semicircles(lon)) + b'\x01' + \
            struct.pack('<d', alt) + b'\x01' + word(unix) + b'\0' * 9
    return record('T', data)


def mapsource(version, body, tail=b''):
    return b'MsRcd\0' + record('D', version.encode() + b'\0') + \
        record('A', b'\xf8\x01SQA\0Nov  6 2003\x0016:01:32\0') + body + \
        record('V', b'\0\x01') + tail


def utm(lat, lon):
    out = subprocess.run(['GeoConvert', '-u', '-p', '0'], input=f'{lat} {lon}\n',
                         capture_output=True, text=True, check=True).stdout.split()
    return out[0], int(out[1]), int(out[2])


def big(value):
    return struct.pack('>I', value & 0xFFFFFFFF)


def dat(with_altitude, count=None, sum_off=0, validation_off=0, validation=True, points=None,
        times=None):
    points = points if points is not None else POSITIONS
    times = times if times is not None else DAT_TIMES
    zone_band, _, _ = utm(points[0][0], points[0][1])
    zone, band = int(zone_band[:-1]), zone_band[-1].upper()
    band_letter = 'T' if band == 'N' else 'H'  # the latitude bands of the positions used
    words = [0x12345678, (1 if with_altitude else 0) << 24, count if count is not None
             else len(points), (0x80 << 24) | (zone << 8) | ord(band_letter)]
    for (lat, lon, alt), time in zip(points, times):
        _, easting, northing = utm(lat, lon)
        words += [time, easting, northing]
        if with_altitude:
            words.append(alt & 0xFFFFFF)
    words.append((-sum(words) + sum_off) & 0xFFFFFFFF)
    if validation:
        r = 0
        for w in words:
            r = (r * 2 ** 32 + w) % 1431655777
        words.append((~r + validation_off) & 0xFFFFFFFF)
    return b''.join(big(w) for w in words)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)

    def write(name, data):
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)

    for version in 'dhi':
        body = b''.join(waypoint_record(version, *w) for w in WAYPOINTS)
        body += track_record('first', TRACKS[0]) + record('R', b'route\0')
        body += track_record('second track', TRACKS[1])
        write(f'both-{version}.mps', mapsource(version, body))
    write('version-j.mps', mapsource('j', b''))
    write('after-end.mps', mapsource('i', b'', b'\0'))
    # A waypoint record one byte short of its last skip: the walk must stop at its end.
    short = waypoint_record('i', *WAYPOINTS[0])
    short = word(len(short) - 6) + short[4:-1]
    write('short-waypoint.mps', mapsource('i', short))
    # A track record whose count asks for more points than the record holds.
    forged = bytearray(track_record('first', TRACKS[0]))
    count_at = 5 + len('first') + 1 + 5
    forged[count_at:count_at + 4] = word(0x7FFFFFFF)
    write('forged-count.mps', mapsource('i', bytes(forged)))

    write('altitudes.dat', dat(True))
    write('no-altitudes.dat', dat(False, validation=False))
    south = [(-33.9, 151.2, 5), (-33.91, 151.21, 6)]
    write('south.dat', dat(False, points=south))
    # A flight of 120 points, 4 s apart, climbing along a line: enough for a trip document.
    flight = [(46.5 + k * 0.0003, 7.25 + k * 0.0005, 1000 + k) for k in range(120)]
    write('flight.dat', dat(True, points=flight, times=[DAT_TIMES[0] + 4 * k for k in range(120)]))
    write('sum-off.dat', dat(True, sum_off=1))
    write('validation-off.dat', dat(True, validation_off=1))
    # N x 3 + 5 wraps to 7 words in 32 bits: 28 bytes that claim 1431655766 records.
    write('wrapping-count.dat', dat(False, count=0x55555556, points=POSITIONS[:1], validation=False)[:28])
    # Four words per record announced by byte 4 = 0: inconsistent.
    four = dat(True, validation=False)
    write('inconsistent.dat', four[:4] + b'\0' + four[5:])


if __name__ == '__main__':
    main()
