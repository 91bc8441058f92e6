#!/usr/bin/env python3
"""Generates the IGC oracle fixture from two independent IGC readers, gpsbabel and the npm
package igc-parser (tools/oracles), for every real IGC file of a folder.

Output (tab-separated), per file:
  count  FILE  GPSBABEL_COUNT  IGC_PARSER_COUNT
  fix    FILE  INDEX  UNIX_TIME  LAT_GPSBABEL  LON_GPSBABEL  LAT_IGCPARSER  LON_IGCPARSER
         PRESSURE_ALT  GPS_ALT
for a sample of the fixes: every 100th, the last one, and both fixes around every change of
UTC date or step back in time (midnight crossings). Times and positions come from both
readers; the altitudes from igc-parser (gpsbabel's text output keeps only one of them).

Usage: tools/make_igc_fixtures.py OUTPUT_FILE DATA_DIR...
       tools/make_igc_fixtures.py --check FIXTURE_FILE DATA_DIR...
A file name found in several folders is read from the first.
--check regenerates into memory and compares: exit 0 identical, 1 different, 77 tool missing
(1 with TRACORA_REQUIRE_ORACLES set).
"""
import calendar
import datetime
import os
import subprocess
import sys
from xml.etree import ElementTree

import oracle_tools

# The two readers disagree on a step back in time of less than an hour (igc-parser takes it for
# a new day, gpsbabel does not); the tests check that file against hand-computed values.
SKIP = {'step-back-in-time.igc'}

HERE = os.path.dirname(os.path.abspath(__file__))


def gpsbabel_fixes(path):
    # With both altitudes gpsbabel makes two tracks of the same fixes; the first is enough.
    out = subprocess.run(['gpsbabel', '-t', '-i', 'igc', '-f', path, '-o', 'gpx', '-F', '-'],
                         check=True, capture_output=True, text=True).stdout
    ns = {'g': 'http://www.topografix.com/GPX/1/0'}
    root = ElementTree.fromstring(out)
    track = root.find('g:trk', ns)
    rows = []
    for point in track.iterfind('.//g:trkpt', ns):
        time = point.find('g:time', ns).text
        stamp = calendar.timegm(datetime.datetime.strptime(time[:19], '%Y-%m-%dT%H:%M:%S')
                                .timetuple())
        rows.append((stamp, '%.7f' % float(point.get('lat')), '%.7f' % float(point.get('lon'))))
    return rows


def igc_parser_fixes(path):
    out = subprocess.run(['node', os.path.join(HERE, 'oracles', 'igc_fixes.mjs'), path],
                         check=True, capture_output=True, text=True).stdout
    rows = []
    for line in out.splitlines():
        _i, t, lat, lon, pressure, gps = line.split('\t')
        rows.append((int(float(t)), lat, lon, pressure or '0', gps or '0'))
    return rows


def generate(data_dirs):
    files = {}
    for data_dir in data_dirs:
        for name in os.listdir(data_dir):
            if name.endswith('.igc') and name not in SKIP:
                files.setdefault(name, os.path.join(data_dir, name))
    lines = []
    for name in sorted(files):
        path = files[name]
        babel = gpsbabel_fixes(path)
        parser = igc_parser_fixes(path)
        lines.append(f'count\t{name}\t{len(babel)}\t{len(parser)}')
        n = min(len(babel), len(parser))
        keep = set(range(0, n, 100))
        keep.add(n - 1)
        for i in range(1, n):
            if babel[i][0] < babel[i - 1][0] or babel[i][0] // 86400 != babel[i - 1][0] // 86400:
                keep.update((i - 1, i))
        for i in sorted(keep):
            b, p = babel[i], parser[i]
            if b[0] != p[0]:
                sys.exit(f'{name}: fix {i}: the readers disagree on the time: {b[0]} {p[0]}')
            lines.append('\t'.join(['fix', name, str(i), str(b[0]), b[1], b[2], p[1], p[2], p[3],
                                    p[4]]))
    return '\n'.join(lines) + '\n'


def check_oracles():
    """None when gpsbabel and igc-parser can run, else the exit status."""
    status = oracle_tools.check_programs([oracle_tools.GPSBABEL, oracle_tools.NODE])
    return status if status is not None else oracle_tools.check_npm_package('igc-parser')


def main():
    status = check_oracles()
    if status is not None:
        return status
    dirs = sys.argv[3:] if sys.argv[1] == '--check' else sys.argv[2:]
    for data_dir in dirs:
        if not os.path.isdir(data_dir):
            print(f'missing data folder: {data_dir}', file=sys.stderr)
            return 1
    if sys.argv[1] == '--check':
        text = generate(sys.argv[3:])
        with open(sys.argv[2]) as f:
            same = f.read() == text
        if not same:
            print('the IGC oracle fixture differs from what the tools give now', file=sys.stderr)
        return 0 if same else 1
    text = generate(sys.argv[2:])
    with open(sys.argv[1], 'w') as f:
        f.write(text)
    return 0


if __name__ == '__main__':
    sys.exit(main())
