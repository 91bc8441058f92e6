#!/usr/bin/env python3
"""Compares our track files with gpsbabel's readings and writings, and our GPX with the schema.

For every source track (IGC, GPX, OziExplorer .plt, CSV), gpsbabel's reading of it is the
reference (for IGC the GNSS-altitude track it makes):
1. What we write reads back in gpsbabel: `tracora-cli convert` writes the source in each of our
   formats; gpsbabel reads the file (-i gpx, -i ozi, -i unicsv) with the same number of points,
   the same times and positions to what the format holds. Our GPX validates against the GPX 1.1
   schema (xmllint).
2. What gpsbabel writes reads in ours: gpsbabel writes the reference in each format (-o gpx with
   gpxver=1.1, -o ozi, -o magellan; not unicsv, whose separate date and time columns the CSV format does not
   take); `tracora-cli convert` reads it and writes our GPX, which
   gpsbabel reads with the reference's points.

Usage: tools/check_track_oracles.py TRACORA_CLI GPX_XSD SOURCE...
Exit status: 0 when all agree, 1 when not, 77 when a tool is missing (1 with
TRACORA_REQUIRE_ORACLES set).
"""
import csv
import datetime
import io
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import oracle_tools  # noqa: E402

XMLLINT = ('xmllint', 'the Debian package libxml2-utils')
ENV = dict(os.environ, TZ='UTC')

# gpsbabel's reader of a source, by extension.
SOURCE_FORMAT = {'.igc': 'igc', '.gpx': 'gpx', '.plt': 'ozi', '.csv': 'unicsv'}

# Our format id, gpsbabel's reader and writer of it, the extension, the positions' resolution
# (degrees) and the times' (seconds). Formats not yet in the registry are passed over.
FORMATS = [
    ('gpx', 'gpx', 'gpx,gpxver=1.1', 'gpx', 1.01e-6, 0),
    ('ozi-track', 'ozi', 'ozi', 'plt', 1.01e-6, 1),
    # gpsbabel writes its CSV dates and times in columns of their own, which the CSV format's
    # single time column does not take: read back one way only.
    ('csv', 'unicsv', None, 'csv', 1.01e-6, 0),
    # Read only: gpsbabel's files (thousandths of a minute) read in ours.
    ('magellan', None, 'magellan', 'log', 1.0 / 60000 * 0.51, 0),
]


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, env=ENV, **kwargs)


def gpsbabel_points(fmt, path, only_gnss=False):
    args = ['gpsbabel', '-t', '-i', fmt, '-f', path]
    if only_gnss:
        args += ['-x', 'track,name=GNSSALTTRK']
    args += ['-o', 'unicsv,utc=0', '-F', '-']
    done = run(args)
    if done.returncode != 0:
        raise RuntimeError(f'gpsbabel -i {fmt} cannot read {path}: {done.stderr}')
    points = []
    for row in csv.DictReader(io.StringIO(done.stdout)):
        stamp = None
        if row.get('Date') and row.get('Time'):
            stamp = datetime.datetime.strptime(row['Date'] + ' ' + row['Time'].split('.')[0],
                                               '%Y/%m/%d %H:%M:%S')
            if '.' in row['Time']:
                stamp += datetime.timedelta(seconds=float('0.' + row['Time'].split('.')[1]))
        points.append((float(row['Latitude']), float(row['Longitude']), stamp))
    return points


def compare(label, mine, reference, resolution, time_resolution, problems):
    if len(mine) != len(reference):
        problems.append(f'{label}: {len(mine)} points, the reference {len(reference)}')
        return
    for k, (a, b) in enumerate(zip(mine, reference)):
        if abs(a[0] - b[0]) > resolution or abs(a[1] - b[1]) > resolution:
            problems.append(f'{label} #{k + 1}: {a[0]:.7f} {a[1]:.7f}, the reference '
                            f'{b[0]:.7f} {b[1]:.7f}')
            return
        # Whole seconds against times with a fraction: within half a second more.
        if a[2] is None or b[2] is None or \
                abs((a[2] - b[2]).total_seconds()) > time_resolution + 0.5:
            problems.append(f'{label} #{k + 1}: time {a[2]}, the reference {b[2]}')
            return


def registry(cli):
    done = run([cli, 'formats'])
    return {line.split()[0] for line in done.stdout.splitlines()[1:] if line.strip()}


def main():
    status = oracle_tools.check_programs([oracle_tools.GPSBABEL, XMLLINT])
    if status is not None:
        return status
    cli = os.path.abspath(sys.argv[1])
    xsd = os.path.abspath(sys.argv[2])
    known = registry(cli)
    formats = [f for f in FORMATS if f[0] in known]
    problems = []
    checked = 0
    with tempfile.TemporaryDirectory() as work:
        for source in sys.argv[3:]:
            name = os.path.basename(source)
            extension = os.path.splitext(source)[1].lower()
            reference = gpsbabel_points(SOURCE_FORMAT[extension], source,
                                        only_gnss=extension == '.igc')
            for ours_id, babel_in, babel_out, ext, resolution, time_resolution in formats:
                # Days with a fraction hold times to about 1 ms: to 1 s after rounding.
                if extension == '.plt':
                    time_resolution = 1
                if babel_in is not None:
                    written = os.path.join(work, f'ours.{ext}')
                    done = run([cli, 'convert', '--force', '--to', ours_id, source, written])
                    if done.returncode != 0:
                        problems.append(f'{name} -> {ours_id}: {done.stderr.strip()}')
                        continue
                    if ours_id == 'gpx':
                        valid = run(['xmllint', '--noout', '--schema', xsd, written])
                        if valid.returncode != 0:
                            problems.append(f'{name} -> gpx: not valid: {valid.stderr[:400]}')
                    compare(f'{name} -> {ours_id} -> gpsbabel',
                            gpsbabel_points(babel_in, written), reference, resolution,
                            time_resolution, problems)
                if babel_out is None:
                    checked += 1
                    continue
                # gpsbabel's file of the reference, read by ours and written as our GPX.
                theirs = os.path.join(work, f'theirs.{ext}')
                args = ['gpsbabel', '-t', '-i', SOURCE_FORMAT[extension], '-f', source]
                if extension == '.igc':
                    args += ['-x', 'track,name=GNSSALTTRK']
                else:
                    # One track (gpsbabel writes one Ozi file per track).
                    args += ['-x', 'track,merge']
                done = run(args + ['-o', babel_out, '-F', theirs])
                if done.returncode != 0:
                    problems.append(f'gpsbabel -o {babel_out} of {name}: {done.stderr}')
                    continue
                back = os.path.join(work, 'back.gpx')
                done = run([cli, 'convert', '--force', '--from', ours_id, '--to', 'gpx', theirs,
                            back])
                if done.returncode != 0:
                    problems.append(f'{name} -> gpsbabel {babel_out} -> ours: '
                                    f'{done.stderr.strip()}')
                    continue
                compare(f'{name} -> gpsbabel {babel_out} -> ours', gpsbabel_points('gpx', back),
                        reference, resolution, time_resolution, problems)
                checked += 1
    for problem in problems:
        print(problem, file=sys.stderr)
    print(f'{checked} conversions checked both ways, {len(problems)} problem(s)')
    return 1 if problems or checked == 0 else 0


if __name__ == '__main__':
    sys.exit(main())
