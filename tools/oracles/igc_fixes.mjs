// Prints the fixes of an IGC file as igc-parser reads them, one a line:
// index, UNIX time in seconds, latitude, longitude (degrees), pressure and GPS altitude (m).
import fs from 'fs';
import IGCParser from 'igc-parser';

const [file] = process.argv.slice(2);
const result = IGCParser.parse(fs.readFileSync(file, 'latin1'), { lenient: true });
const lines = result.fixes.map((fix, i) => [i, fix.timestamp / 1000, fix.latitude.toFixed(7),
    fix.longitude.toFixed(7), fix.pressureAltitude ?? '', fix.gpsAltitude ?? ''].join('\t'));
process.stdout.write(lines.join('\n') + '\n');
