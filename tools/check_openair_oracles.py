#!/usr/bin/env python3
"""Compares our OpenAir reading and outlines with independent programs.

1. The polygons of @openaip/openair-parser (run here, and equal to the GeoJSON fixtures that
   project publishes) against `tracora-cli airspace FILE --json --segments`: every DP position
   of the file is a point of both outlines; every other point of ours lies on one of the
   airspace's arcs or circles within the segment error (GeodSolve distance from the centre);
   every point of ours lies within the segment error of the independent outline (so arcs run
   the same way round).
2. The aerofiles reading of its OpenAir sample (its expected JSON) against our records: the
   same airspaces with the same names, classes, limits and segments.

Usage: tools/check_openair_oracles.py TRACORA_CLI OPENAIR_FIXTURES_DIR
Exit status: 0 when all agree, 1 when not, 77 when a tool is missing (1 with
TRACORA_REQUIRE_ORACLES set).
"""
import json
import math
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import oracle_tools  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SEGMENT_ERROR = 10.0  # metres, the program's default
NAUTICAL_MILE = 1852.0
SAME_POSITION = 1e-6  # degrees
POLYGON_FIXTURES = ['arc-angle-cw', 'arc-cw', 'circular']

ANGLE = r'(\d+(?::\d+(?::\d+)?)?(?:[.,]\d+)?)\s*([NSEWnsew])'
POSITION = re.compile(ANGLE + r'\s*' + ANGLE)


def angle(text, hemisphere):
    parts = [float(p.replace(',', '.')) for p in text.split(':')]
    value = parts[0] + (parts[1] / 60 if len(parts) > 1 else 0) + \
        (parts[2] / 3600 if len(parts) > 2 else 0)
    return -value if hemisphere.upper() in 'SW' else value


def position(text):
    m = POSITION.search(text)
    return (angle(m.group(1), m.group(2)), angle(m.group(3), m.group(4)))


def read_text(path):
    """The file's airspaces as this script reads them: DP points and curves (centre, radius or
    radius range in metres)."""
    areas = []
    centre = None
    for raw in open(path, encoding='utf-8', errors='replace'):
        line = raw.strip()
        if line.startswith('AC '):
            areas.append({'points': [], 'curves': []})
        elif line.startswith('DP '):
            areas[-1]['points'].append(position(line[3:]))
        elif line.startswith('V X='):
            centre = position(line[4:])
        elif line.startswith('DA ') or line.startswith('DC '):
            radius = float(line[3:].split(',')[0]) * NAUTICAL_MILE
            areas[-1]['curves'].append({'centre': centre, 'radius': (radius, radius)})
        elif line.startswith('DB '):
            start, end = [position(p) for p in line[3:].split(',')]
            areas[-1]['curves'].append({'centre': centre, 'ends': (start, end)})
    return areas


def geodesic(pairs):
    """GeodSolve distances of (point, point) pairs, metres."""
    if not pairs:
        return []
    text = ''.join(f'{a[0]:.12f} {a[1]:.12f} {b[0]:.12f} {b[1]:.12f}\n' for a, b in pairs)
    out = subprocess.run(['GeodSolve', '-i', '-p', '6'], input=text, capture_output=True,
                         text=True, check=True).stdout.split('\n')
    return [float(line.split()[2]) for line in out if line.strip()]


def near(a, b, tolerance=SAME_POSITION):
    return abs(a[0] - b[0]) <= tolerance and abs(a[1] - b[1]) <= tolerance


def distance_to_outline(point, outline):
    """Metres from `point` to the closed outline, on a local plane (short distances only)."""
    scale = math.cos(math.radians(point[0]))
    best = float('inf')
    px, py = point[1] * scale * 111320.0, point[0] * 110574.0
    for a, b in zip(outline, outline[1:] + outline[:1]):
        ax, ay = a[1] * scale * 111320.0, a[0] * 110574.0
        bx, by = b[1] * scale * 111320.0, b[0] * 110574.0
        dx, dy = bx - ax, by - ay
        length = dx * dx + dy * dy
        t = 0 if length == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length))
        best = min(best, math.hypot(px - (ax + t * dx), py - (ay + t * dy)))
    return best


def ours(cli, path):
    run = subprocess.run([cli, 'airspace', path, '--json', '--segments'], capture_output=True,
                         text=True)
    if run.returncode != 0:
        raise RuntimeError(f'tracora-cli failed on {path}: {run.stderr}')
    return json.loads(run.stdout)


def check_polygons(cli, folder):
    problems = []
    for name in POLYGON_FIXTURES:
        text = os.path.join(folder, name + '.txt')
        published = json.load(open(os.path.join(folder, name + '-result.json')))
        live = json.loads(subprocess.run(
            ['node', os.path.join(HERE, 'oracles', 'openair_geojson.mjs'), text],
            capture_output=True, text=True, check=True, cwd=os.path.join(HERE, 'oracles')).stdout)
        theirs = [[(lat, lon) for lon, lat in f['geometry']['coordinates'][0]]
                  for f in live['features']]
        published_rings = [[(lat, lon) for lon, lat in f['geometry']['coordinates'][0]]
                           for f in published['features']]
        if [[(round(a, 6), round(b, 6)) for a, b in r] for r in theirs] != \
                [[(round(a, 6), round(b, 6)) for a, b in r] for r in published_rings]:
            problems.append(f'{name}: the npm parser no longer gives its published polygons')
        mine = [[tuple(p) for p in a['polygon']] for a in ours(cli, text)['airspaces']]
        areas = read_text(text)
        if not (len(mine) == len(theirs) == len(areas)):
            problems.append(f'{name}: {len(mine)} airspaces, the oracle {len(theirs)}')
            continue
        for index, (outline, other, area) in enumerate(zip(mine, theirs, areas)):
            for dp in area['points']:
                if not any(near(dp, p) for p in outline):
                    problems.append(f'{name}[{index}]: DP {dp} missing from our outline')
                if not any(near(dp, p, 1e-5) for p in other):
                    problems.append(f'{name}[{index}]: DP {dp} missing from the oracle outline')
            # Every point that is not a DP position lies on one of the curves.
            for label, points, tolerance in (('our', outline, SEGMENT_ERROR),
                                             ('the oracle', other, 0.01)):
                curve_points = [p for p in points
                                if not any(near(dp, p, 1e-5) for dp in area['points'])]
                pairs, ranges = [], []
                for p in curve_points:
                    for curve in area['curves']:
                        pairs.append((curve['centre'], p))
                        if 'ends' in curve:
                            r1, r2 = geodesic([(curve['centre'], e) for e in curve['ends']])
                            ranges.append((min(r1, r2), max(r1, r2)))
                        else:
                            ranges.append(curve['radius'])
                distances = geodesic(pairs)
                per_point = len(area['curves'])
                worst = 0.0
                for k, p in enumerate(curve_points):
                    errors = []
                    for c in range(per_point):
                        d = distances[k * per_point + c]
                        low, high = ranges[k * per_point + c]
                        errors.append(max(low - d, d - high, 0.0) /
                                      (1.0 if label == 'our' else high))
                    error = min(errors)
                    worst = max(worst, error)
                    if error > tolerance:
                        problems.append(f'{name}[{index}]: {label} point {p} off every curve '
                                        f'by {error:.3f}')
                print(f'{name}[{index}]: {len(curve_points)} {label} curve points, worst '
                      f'{worst:.3f}{" m" if label == "our" else " of the radius"}')
            # The same way round: each of our points near the independent outline.
            far = max(distance_to_outline(p, other) for p in outline)
            print(f'{name}[{index}]: our points at most {far:.2f} m from the oracle outline')
            if far > SEGMENT_ERROR + 2.0:
                problems.append(f'{name}[{index}]: a point of ours {far:.1f} m off the oracle '
                                'outline')
    return problems


def check_aerofiles(cli, folder):
    problems = []
    path = os.path.join(folder, 'openair-spec-sample-minden.txt')
    expected = [a for a in json.load(open(os.path.join(
        folder, 'openair-spec-sample-minden.expected.json'))) if a['type'] == 'airspace']
    read = ours(cli, path)['airspaces']
    if len(read) != len(expected):
        return [f'aerofiles sample: {len(read)} airspaces, aerofiles {len(expected)}']
    for index, (mine, theirs) in enumerate(zip(read, expected)):
        where = f'aerofiles sample [{index}] {theirs["name"]}'
        for key, theirs_key in (('name', 'name'), ('class', 'class'), ('floor', 'floor'),
                                ('ceiling', 'ceiling')):
            if mine[key] != (theirs[theirs_key] or ''):
                problems.append(f'{where}: {key} {mine[key]!r}, aerofiles {theirs[theirs_key]!r}')
        segments, elements = mine['segments'], theirs['elements']
        if len(segments) != len(elements):
            problems.append(f'{where}: {len(segments)} segments, aerofiles {len(elements)}')
            continue
        for s, e in zip(segments, elements):
            ok = True
            if e['type'] == 'point':
                where_point = e['location']
                if isinstance(where_point, str):
                    where_point = position(where_point)
                ok = s['kind'] == 'point' and near(s['position'], where_point, 1e-4)
            elif e['type'] == 'circle':
                ok = (s['kind'] == 'circle' and near(s['centre'], e['center'], 1e-4) and
                      abs(s['radius_m'] / 1852.185 - e['radius']) < 1e-3)
            elif isinstance(e['start'], list):
                ok = (s['kind'] == 'arc_endpoints' and near(s['centre'], e['center'], 1e-4) and
                      near(s['start'], e['start'], 1e-4) and near(s['end'], e['end'], 1e-4) and
                      (s['direction'] == '+') == e['clockwise'])
            else:
                ok = (s['kind'] == 'arc_angles' and near(s['centre'], e['center'], 1e-4) and
                      abs(s['radius_m'] / 1852.185 - e['radius']) < 1e-3 and
                      abs(s['start_bearing'] - e['start']) < 1e-9 and
                      abs(s['end_bearing'] - e['end']) < 1e-9 and
                      (s['direction'] == '+') == e['clockwise'])
            if not ok:
                problems.append(f'{where}: segment {s} differs from aerofiles {e}')
    print(f'aerofiles sample: {len(read)} airspaces compared')
    return problems


def main():
    status = oracle_tools.check_programs([oracle_tools.NODE,
                                          ('GeodSolve', 'the Debian package geographiclib-tools')])
    if status is None:
        status = oracle_tools.check_npm_package('@openaip/openair-parser')
    if status is not None:
        return status
    cli, folder = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    problems = check_polygons(cli, folder) + check_aerofiles(cli, folder)
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
