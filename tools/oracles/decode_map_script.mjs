// Prints the paths of a web-map script (the strings given to decodePath) decoded with
// @mapbox/polyline, as JSON: one list of [lat, lon] per polygon, in the script's order.
// node decode_map_script.mjs SCRIPT
import fs from 'fs';
import polyline from '@mapbox/polyline';

const text = fs.readFileSync(process.argv[2], 'utf8');
const paths = [];
for (const match of text.matchAll(/decodePath\('((?:[^'\\]|\\.)*)'\)/g)) {
    // The script string's escapes: a doubled backslash stands for one.
    paths.push(polyline.decode(match[1].replace(/\\\\/g, '\\'), 5));
}
process.stdout.write(JSON.stringify(paths) + '\n');
