#!/usr/bin/env python3
"""Checks that IGC files written by our writer are read by gpsbabel and igc-parser with the same
fixes as the files they came from: every real IGC file is converted with
`tracora-cli convert` and both readers read both files; count, times, positions (to the
thousandth of a minute the format holds; gpsbabel's reading must be identical) and altitudes
must agree. LAD/LOD extensions are not written, so igc-parser's positions of the original are
compared within a thousandth of a minute.

Usage: tools/check_igc_roundtrip.py TRACORA_CLI DATA_DIR...
Exit status: 0 when all agree, 1 when not, 77 when a tool is missing (1 with
TRACORA_REQUIRE_ORACLES set).
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_igc_fixtures as oracles  # noqa: E402

THOUSANDTH_MINUTE = 1.0 / 60000


def main():
    status = oracles.check_oracles()
    if status is not None:
        return status
    cli = sys.argv[1]
    files = {}
    for data_dir in sys.argv[2:]:
        for name in os.listdir(data_dir):
            if name.endswith('.igc') and name not in oracles.SKIP:
                files.setdefault(name, os.path.join(data_dir, name))
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        for name in sorted(files):
            written = os.path.join(work, name)
            subprocess.run([cli, 'convert', files[name], written], check=True,
                           capture_output=True)
            before_b, after_b = oracles.gpsbabel_fixes(files[name]), oracles.gpsbabel_fixes(written)
            before_p = oracles.igc_parser_fixes(files[name])
            after_p = oracles.igc_parser_fixes(written)
            problems = []
            if not (len(before_b) == len(after_b) == len(before_p) == len(after_p)):
                problems.append(f'counts {len(before_b)} {len(after_b)} {len(before_p)} '
                                f'{len(after_p)}')
            else:
                for i, (b0, b1, p0, p1) in enumerate(zip(before_b, after_b, before_p, after_p)):
                    if b0 != b1:
                        problems.append(f'fix {i}: gpsbabel {b0} then {b1}')
                    if p0[0] != p1[0] or p0[3:] != p1[3:]:
                        problems.append(f'fix {i}: igc-parser {p0} then {p1}')
                    if (abs(float(p0[1]) - float(p1[1])) > THOUSANDTH_MINUTE or
                            abs(float(p0[2]) - float(p1[2])) > THOUSANDTH_MINUTE):
                        problems.append(f'fix {i}: igc-parser position {p0} then {p1}')
                    if len(problems) > 5:
                        break
            print(f'{name}: {len(after_b)} fixes {"ok" if not problems else "DIFFER"}')
            for problem in problems[:5]:
                print('  ' + problem)
            failures += bool(problems)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
