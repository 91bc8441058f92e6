#!/usr/bin/env python3
"""Compares our waypoint files with gpsbabel's readings and writings.

1. What we write reads back in gpsbabel: every source file is read by `tracora-cli waypoints`,
   written with `tracora-cli convert` as OziExplorer, SeeYou and WinPilot, and read by gpsbabel
   (-i ozi, -i cup, -i cambridge): the same number of points, the same positions (to what
   each format holds), altitudes and IDs. Free text with ',' and '"' must not shift a field.
2. What gpsbabel writes reads in ours: gpsbabel converts every source to the same three formats
   and `tracora-cli waypoints` reads them with the positions and altitudes gpsbabel reads.

Usage: tools/check_waypoint_oracles.py TRACORA_CLI SOURCE_FILE...
Exit status: 0 when all agree, 1 when not, 77 when a tool is missing (1 with
TRACORA_REQUIRE_ORACLES set).
"""
import csv
import io
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import oracle_tools  # noqa: E402

# Our format id, gpsbabel's, the positions' resolution (degrees), altitudes (metres).
FORMATS = [
    ('ozi-waypoints', 'ozi', 'wpt', 6e-7, 0.2),
    ('seeyou', 'cup', 'cup', 1.0 / 60000 * 0.51, 0.5),  # elevations are truncated
    ('winpilot', 'cambridge', 'dat', 1.0 / 60000 * 0.51, 0.0),
]
# The source formats gpsbabel reads, by extension.
SOURCE_FORMAT = {'.cup': 'cup', '.dat': 'cambridge'}


def ours(cli, path):
    run = subprocess.run([cli, 'waypoints', path, '--json'], capture_output=True, text=True)
    if run.returncode != 0:
        raise RuntimeError(f'tracora-cli cannot read {path}: {run.stderr}')
    return json.loads(run.stdout)['waypoints']


def gpsbabel(fmt, path):
    out = subprocess.run(['gpsbabel', '-i', fmt, '-f', path, '-o', 'unicsv', '-F', '-'],
                         capture_output=True, text=True, check=True).stdout
    return list(csv.DictReader(io.StringIO(out)))


def compare(label, mine, theirs, resolution, altitude_tolerance, check_ids, problems):
    if len(mine) != len(theirs):
        problems.append(f'{label}: {len(mine)} waypoints, gpsbabel {len(theirs)}')
        return
    for k, (a, b) in enumerate(zip(mine, theirs)):
        where = f'{label} #{k + 1}'
        if abs(a['lat'] - float(b['Latitude'])) > resolution + 1e-9 or \
                abs(a['lon'] - float(b['Longitude'])) > resolution + 1e-9:
            problems.append(f'{where}: {a["lat"]:.6f} {a["lon"]:.6f}, gpsbabel '
                            f'{b["Latitude"]} {b["Longitude"]}')
        if abs(a['altitude'] - float(b.get('Altitude') or 0)) > altitude_tolerance + 0.5:
            problems.append(f'{where}: altitude {a["altitude"]}, gpsbabel {b.get("Altitude")}')
        # An empty ID is written "-" where the format needs a name.
        expected_id = a['id'] or ('-' if check_ids == 'dash' else '')
        if check_ids and expected_id != (b.get('Name') or ''):
            problems.append(f'{where}: ID {a["id"]!r}, gpsbabel {b.get("Name")!r}')


def main():
    status = oracle_tools.check_programs([oracle_tools.GPSBABEL])
    if status is not None:
        return status
    cli = os.path.abspath(sys.argv[1])
    problems = []
    with tempfile.TemporaryDirectory() as work:
        for source in sys.argv[2:]:
            name = os.path.basename(source)
            read = ours(cli, source)
            for ours_id, theirs_id, extension, resolution, altitude in FORMATS:
                written = os.path.join(work, f'ours.{extension}')
                subprocess.run([cli, 'convert', '--force', '--to', ours_id, source, written],
                               capture_output=True, check=True)
                # WinPilot files carry the waypoint number where the others carry the ID.
                compare(f'{name} written as {ours_id}, read by gpsbabel', read,
                        gpsbabel(theirs_id, written), resolution, altitude,
                        {'ozi-waypoints': 'dash', 'seeyou': True}.get(ours_id, False), problems)
                # The file gpsbabel writes from the source reads in ours.
                source_format = SOURCE_FORMAT.get(os.path.splitext(source)[1])
                if source_format is None:
                    continue
                theirs_file = os.path.join(work, f'theirs.{extension}')
                subprocess.run(['gpsbabel', '-i', source_format, '-f', source, '-o', theirs_id,
                                '-F', theirs_file], capture_output=True, check=True)
                compare(f'{name} written by gpsbabel as {theirs_id}, read by us',
                        ours(cli, theirs_file), gpsbabel(theirs_id, theirs_file), resolution,
                        altitude, False, problems)
            print(f'{name}: {len(read)} waypoints compared')
    for problem in problems[:40]:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
