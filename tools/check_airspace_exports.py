#!/usr/bin/env python3
"""Reads our airspace exports back with independent programs. For every OpenAir file given,
`tracora-cli airspace FILE --json --gpx OUT --script OUT` writes the outlines three ways:
- the GPX file must validate against the GPX 1.1 schema (xmllint) and gpsbabel must read the
  same tracks, names and points (to the 1e-6 degree the file holds) as the JSON outlines;
- the web-map script must pass `node --check` and its paths, decoded with @mapbox/polyline,
  must give the outlines within 1e-5 degree.

Usage: tools/check_airspace_exports.py TRACORA_CLI GPX_XSD OPENAIR_FILE...
Exit status: 0 when all agree, 1 when not, 77 when a tool is missing (1 with
TRACORA_REQUIRE_ORACLES set).
"""
import json
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import oracle_tools  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
GPX = '{http://www.topografix.com/GPX/1/1}'


def gpsbabel_tracks(path):
    """The tracks gpsbabel reads from a GPX file: (name, [(lat, lon)...])."""
    out = subprocess.run(['gpsbabel', '-t', '-i', 'gpx', '-f', path, '-o', 'gpx', '-F', '-'],
                         capture_output=True, text=True, check=True).stdout
    tracks = []
    for trk in ET.fromstring(out).iter(GPX + 'trk'):
        name = trk.find(GPX + 'name')
        points = [(float(p.get('lat')), float(p.get('lon'))) for p in trk.iter(GPX + 'trkpt')]
        tracks.append((name.text if name is not None else '', points))
    return tracks


def check_file(cli, schema, path, work):
    problems = []
    gpx = os.path.join(work, 'out.gpx')
    script = os.path.join(work, 'out.js')
    run = subprocess.run([cli, 'airspace', path, '--json', '--gpx', gpx, '--script', script,
                          '--force'], capture_output=True, text=True)
    if run.returncode != 0:
        return [f'{path}: tracora-cli failed: {run.stderr}']
    outlines = json.loads(run.stdout)['airspaces']
    valid = subprocess.run(['xmllint', '--noout', '--nonet', '--schema', schema, gpx],
                           capture_output=True, text=True)
    if valid.returncode != 0:
        problems.append(f'{path}: the GPX file is not valid: {valid.stderr[-500:]}')
    tracks = gpsbabel_tracks(gpx)
    if len(tracks) != len(outlines):
        problems.append(f'{path}: gpsbabel reads {len(tracks)} tracks of {len(outlines)}')
    else:
        for (name, points), outline in zip(tracks, outlines):
            # gpsbabel leaves an empty name out.
            if (name or '') != outline['name']:
                problems.append(f'{path}: track name {name!r}, airspace {outline["name"]!r}')
            if len(points) != len(outline['polygon']) or any(
                    abs(a[0] - b[0]) > 6e-7 or abs(a[1] - b[1]) > 6e-7
                    for a, b in zip(points, outline['polygon'])):
                problems.append(f'{path}: the points of {outline["name"]!r} differ in gpsbabel')
    check = subprocess.run(['node', '--check', script], capture_output=True, text=True)
    if check.returncode != 0:
        problems.append(f'{path}: the script does not pass node --check: {check.stderr[-500:]}')
    decoded = json.loads(subprocess.run(
        ['node', os.path.join(HERE, 'oracles', 'decode_map_script.mjs'), script],
        capture_output=True, text=True, check=True, cwd=os.path.join(HERE, 'oracles')).stdout)
    unmatched = [o['polygon'] for o in outlines]
    for path_points in decoded:
        match = next((k for k, o in enumerate(unmatched) if len(o) == len(path_points) and all(
            abs(a[0] - b[0]) <= 1e-5 and abs(a[1] - b[1]) <= 1e-5
            for a, b in zip(o, path_points))), None)
        if match is None:
            problems.append(f'{path}: a decoded path matches no outline')
        else:
            unmatched.pop(match)
    if unmatched:
        problems.append(f'{path}: {len(unmatched)} outlines have no path in the script')
    print(f'{os.path.basename(path)}: {len(outlines)} airspaces, '
          f'{sum(len(o["polygon"]) for o in outlines)} points '
          f'{"ok" if not problems else "DIFFER"}')
    return problems


def main():
    status = oracle_tools.check_programs([oracle_tools.GPSBABEL, oracle_tools.NODE,
                                          ('xmllint', 'the Debian package libxml2-utils')])
    if status is None:
        status = oracle_tools.check_npm_package('@mapbox/polyline')
    if status is not None:
        return status
    cli, schema = os.path.abspath(sys.argv[1]), sys.argv[2]
    problems = []
    with tempfile.TemporaryDirectory() as work:
        for path in sys.argv[3:]:
            problems += check_file(cli, schema, os.path.abspath(path), work)
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
