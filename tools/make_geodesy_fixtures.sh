#!/usr/bin/env bash
# Generates the geodesy test fixtures with GeographicLib's command-line tools, which are
# independent of our own code:
#   geodesic_pairs.tsv  point pairs and their ellipsoidal distance from GeodSolve -i
#   utm_points.tsv      points and their UTM zone, band, easting and northing from GeoConvert
#
# The points come from a fixed pseudo-random sequence (Park-Miller minimal standard, computed
# with exact integer arithmetic in awk, so every awk gives the same numbers) plus a fixed list
# of special cases. Running the script twice gives identical files; the "oracle" ctest reruns
# it and compares with the committed copy.
#
# Usage: tools/make_geodesy_fixtures.sh [output-dir]   (default: tests/fixtures/geodesy)
#        tools/make_geodesy_fixtures.sh --check fixture-dir
# With --check the files are generated into a scratch directory and compared with those in
# fixture-dir; the exit status is 0 when they are identical, 1 when not, 77 when a tool is
# missing (1 with TRACORA_REQUIRE_ORACLES set).
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=oracle_tools.sh
. "$here/oracle_tools.sh"
check=
if [ "${1:-}" = "--check" ]; then
    check=${2:?"usage: $0 --check fixture-dir"}
fi

require_programs GeodSolve "the Debian package geographiclib-tools" \
    GeoConvert "the Debian package geographiclib-tools" awk "the Debian package mawk" \
    paste "the Debian package coreutils"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -n "$check" ]; then
    out=$work/generated
else
    out=${1:-$here/../tests/fixtures/geodesy}
fi
mkdir -p "$out"

# --- Geodesic pairs -------------------------------------------------------------------------
# Columns: category lat1 lon1 lat2 lon2 (degrees).
awk '
function rnd() { seed = (seed * 16807) % 2147483647; return seed / 2147483647 }
function uni(lo, hi) { return lo + (hi - lo) * rnd() }
function wrap(lon) { while (lon >= 180) lon -= 360; while (lon < -180) lon += 360; return lon }
function clamplat(lat) { return lat > 90 ? 180 - lat : (lat < -90 ? -180 - lat : lat) }
function pair(cat, a, b, c, d) { printf "%s\t%.9f\t%.9f\t%.9f\t%.9f\n", cat, a, b, c, d }
BEGIN {
    seed = 20240601
    # Metres apart: offsets up to about 100 m.
    for (i = 0; i < 60; i++) {
        lat = uni(-85, 85); lon = uni(-180, 180); r = 10 ^ uni(-5, -3)
        pair("short", lat, lon, clamplat(lat + r * uni(-1, 1)), wrap(lon + r * uni(-1, 1)))
    }
    # A few hundred metres to a few hundred kilometres.
    for (i = 0; i < 60; i++) {
        lat = uni(-80, 80); lon = uni(-180, 180); r = 10 ^ uni(-2, 0.7)
        pair("medium", lat, lon, clamplat(lat + r * uni(-1, 1)), wrap(lon + r * uni(-1, 1)))
    }
    # Anywhere to anywhere.
    for (i = 0; i < 60; i++)
        pair("long", uni(-90, 90), uni(-180, 180), uni(-90, 90), uni(-180, 180))
    # Across the date line, short and long.
    for (i = 0; i < 30; i++) {
        lat = uni(-70, 70); r = (i < 15) ? uni(0.0001, 0.5) : uni(1, 20)
        pair("dateline", lat, uni(180 - r, 180), clamplat(lat + uni(-r, r)), uni(-180, -180 + r))
    }
    # Near the poles, over and around them.
    for (i = 0; i < 30; i++) {
        s = (i % 2) ? 1 : -1
        pair("polar", s * uni(80, 90), uni(-180, 180), s * uni(80, 90), uni(-180, 180))
    }
    # Near-antipodal: the antipode moved by up to r degrees in latitude and longitude.
    for (i = 0; i < 70; i++) {
        lat = uni(-60, 60); lon = uni(-180, 180)
        r = (i < 20) ? 0 : ((i < 40) ? 0.1 : ((i < 55) ? 0.5 : 3))
        if (i < 10) { lat2 = -lat; lon2 = wrap(lon + 180) }
        else { lat2 = -lat + uni(-r, r); lon2 = wrap(lon + 180 + uni(-r, r)) }
        pair("antipodal", lat, lon, lat2, lon2)
    }
    # Along the equator, up to and beyond the point where the geodesic leaves the equator.
    for (i = 0; i < 20; i++) {
        lon = uni(-180, 180)
        d = (i < 10) ? uni(1, 179) : uni(179.5, 180)
        pair("equator", 0, lon, 0, wrap(lon + d))
    }
    # Fixed special cases.
    pair("special", 0, 0, 0, 0)                      # identical points
    pair("special", 46.5, 7.25, 46.5, 7.25)          # identical points
    pair("special", 45, 180, 45, -180)               # one point, two longitudes
    pair("special", 90, 0, -90, 0)                   # pole to pole
    pair("special", 90, 45, 90, -135)                # the pole, two longitudes
    pair("special", 0, 0, 10, 0)                     # along a meridian
    pair("special", -30, 100, 50, 100)               # along a meridian, across the equator
    pair("special", 0, 0, 0, 10)                     # along the equator
    pair("special", 0, 0, 0, 179)                    # along the equator, long
    pair("special", 0, 0, 0.5, 179.5)                # near-antipodal
    pair("special", 0, 0, 0, 180)                    # antipodal on the equator
    pair("special", 30, 0, -30, 180)                 # antipodal
    pair("special", 46.0, 7.0, 46.0000001, 7.0000001) # about a centimetre
    pair("special", 47.2, 11.3, 45.9, 6.8)           # a cross-alps flight
}' >"$work/pairs.in"

cut -f2- "$work/pairs.in" | tr '\t' ' ' | GeodSolve -i -p 9 | awk '{ print $3 }' >"$work/pairs.s12"
{
    printf '# category\tlat1\tlon1\tlat2\tlon2\ts12_m (GeodSolve -i -p 9; degrees, WGS-84)\n'
    paste "$work/pairs.in" "$work/pairs.s12"
} >"$out/geodesic_pairs.tsv"

# --- UTM points -----------------------------------------------------------------------------
# Columns: lat lon (degrees).
awk '
function rnd() { seed = (seed * 16807) % 2147483647; return seed / 2147483647 }
function uni(lo, hi) { return lo + (hi - lo) * rnd() }
function point(lat, lon) { printf "%.7f\t%.7f\n", lat, lon }
BEGIN {
    seed = 19891231
    # Inside the normal range of every zone, from band C to band X.
    for (z = 1; z <= 60; z++) {
        cm = (2 * z - 61) * 3
        for (i = 0; i < 5; i++)
            point(uni(-80, 84), uni(cm - 3, cm + 3))
    }
    # The widened zone 32 in band V and what is left of zone 31 there.
    for (i = 0; i < 20; i++) point(uni(56, 64), uni(3, 12))
    for (i = 0; i < 5; i++) point(uni(56, 64), uni(0, 3))
    # Svalbard: zones 31, 33, 35 and 37 in band X.
    for (i = 0; i < 8; i++) point(uni(72, 84), uni(0, 9))
    for (i = 0; i < 8; i++) point(uni(72, 84), uni(9, 21))
    for (i = 0; i < 8; i++) point(uni(72, 84), uni(21, 33))
    for (i = 0; i < 8; i++) point(uni(72, 84), uni(33, 42))
    # Fixed cases: the two named in our notes, the equator, the band edges.
    point(60, 3.5); point(78, 10); point(0, 9); point(-0.0000001, 9)
    point(-79.9999, -177); point(83.9999, 179.9999); point(46.5, 7.25); point(-33.9, 151.2)
}' >"$work/utm.in"

tr '\t' ' ' <"$work/utm.in" | GeoConvert -u -p 6 >"$work/utm.u"
tr '\t' ' ' <"$work/utm.in" | GeoConvert -m -p -6 >"$work/utm.m"
{
    printf '# lat\tlon\tzone\tband\teasting_m\tnorthing_m (GeoConvert -u -p 6, band from -m)\n'
    paste "$work/utm.in" "$work/utm.u" "$work/utm.m" |
        awk -F'\t' '{
            split($3, u, " ")
            zone = u[1] + 0
            band = substr($4, length($4), 1)
            printf "%s\t%s\t%d\t%s\t%s\t%s\n", $1, $2, zone, band, u[2], u[3]
        }'
} >"$out/utm_points.tsv"

if [ -n "$check" ]; then
    diff -r "$check" "$out" && echo "fixtures in $check match the tools' output"
fi
