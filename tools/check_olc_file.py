#!/usr/bin/env python3
"""The .olc submission file read back by an independent URL decoder (Python's urllib.parse).

Writes the file with `tracora-cli olc FILE --olc OUT --with-igc` and pilot values full of the
characters that break a careless encoding ('&', '+', '%', '=', blanks, accents), decodes it
with urllib.parse.parse_qsl and checks every field: each value as given, the IGC text byte for
byte, the five points of the best result as `tracora-cli olc --json` names them.

Usage: tools/check_olc_file.py TRACORA_CLI FILE.igc
"""
import json
import os
import subprocess
import sys
import tempfile
import urllib.parse

PILOT = {
    "--first": "Jean-Luc",
    "--last": "M\u00fcller & S\u00f6hne",
    "--birth": "4.7.1981",
    "--class": "4",
    "--glider": "Sky & Co+ 2 (50% = best)",
    "--site": "Col de l'Arpettaz",
    "--call": "F-ABC#1",
    "--region": "FR",
    "--flight": "3",
}
EXPECTED = {
    "OLCvnolc": "Jean-Luc",
    "na": "M\u00fcller & S\u00f6hne",
    "geb": "04.07.81",
    "gty": "Sky & Co+ 2 (50% = best)",
    "sta": "Col de l'Arpettaz",
    "region": "FR",
    "gid": "F-ABC#1",
    "klasse": "4",
    "flugzeug": "1",
}


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    cli, igc = sys.argv[1:]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "flight.olc")
        args = [cli, "olc", igc, "--json", "--olc", out, "--with-igc"]
        for option, value in PILOT.items():
            args += [option, value]
        run = subprocess.run(args, capture_output=True, check=False)
        if run.returncode != 0:
            print("tracora-cli failed:", run.stderr.decode(errors="replace"))
            return 1
        scored = json.loads(run.stdout)
        with open(out, "rb") as f:
            raw = f.read()
    if not raw.endswith(b"\r\n") or b"\n" in raw[:-1]:
        failures.append("the file is not one line ended by CR LF")
    line = raw.rstrip(b"\r\n").decode("ascii")
    fields = urllib.parse.parse_qsl(line, keep_blank_values=True, strict_parsing=True,
                                    encoding="utf-8", errors="strict")
    names = [name for name, _ in fields]
    if len(names) != len(set(names)):
        failures.append(f"a field appears twice: {names}")
    got = dict(fields)
    for name, value in EXPECTED.items():
        if got.get(name) != value:
            failures.append(f"{name}: {got.get(name)!r}, expected {value!r}")
    with open(igc, "rb") as f:
        if got.get("IGCigcIGC", "").encode("utf-8") != f.read():
            failures.append("IGCigcIGC: not the IGC file byte for byte")
    if not got.get("igcfn", "").endswith("-03.igc"):
        failures.append(f"igcfn: {got.get('igcfn')!r} does not carry flight number 3")
    order = ["OLCvnolc", "na", "geb", "gty", "sta", "region", "gid", "klasse", "igcfn",
             "flugzeug", "ft", "s0"]
    for w in range(5):
        order += [f"w{w}{part}" for part in ("bh", "bg", "bm", "bmd", "lh", "lg", "lm", "lmd")]
    order += ["s4", "software", "IGCigcIGC"]
    if names != order:
        failures.append(f"fields in the order {names}")
    times = scored["best"]["index"]
    best = scored[{"free distance": "free_distance", "free triangle": "free_triangle",
                   "FAI triangle": "fai_triangle"}[scored["best"]["kind"]]]
    if best["index"] != times:
        failures.append("the JSON's best result and its kind disagree")
    start, finish = best["time"][0], best["time"][4]
    if got.get("s0") != start:
        failures.append(f"s0: {got.get('s0')!r}, expected {start!r}")
    if got.get("s4") not in (finish, f"{int(finish[:2]) + 24}{finish[2:]}"):
        failures.append(f"s4: {got.get('s4')!r}, expected {finish!r}")
    for failure in failures:
        print("FAIL", failure)
    if not failures:
        print(f"{len(fields)} fields decoded back as written")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
