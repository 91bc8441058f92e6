// Times @openaip/openair-parser on an OpenAir file: the file read and turned into polygons
// `runs` times (geometry as parsed, no validation or repair), as our reader's benchmark does.
// That parser knows only "AMSL"/"AGL" altitudes, so the AL and AH texts of real files ("MSL",
// "ft GND", trailing blanks, a missing name) are first written as it expects into NORMALISED; our benchmark then
// reads that same file (TRACORA_OPENAIR_FILE=NORMALISED).
// node openair_bench.mjs FILE NORMALISED [RUNS]
import { readFileSync, writeFileSync } from 'node:fs';
import { Parser } from '@openaip/openair-parser';

const [file, normalised, runsText] = process.argv.slice(2);
const runs = Number(runsText ?? 5);
const lines = readFileSync(file, 'latin1').split(/\r?\n/).map((line) => {
    const match = /^(AL|AH)\s+(.*?)\s*$/.exec(line);
    if (!match) {
        return line.trimEnd();
    }
    const value = match[2].replace(/\bMSL$/, 'AMSL').replace(/\bAAMSL$/, 'AMSL')
                      .replace(/(\d)\s*ft\s+GND$/i, '$1ft AGL').replace(/^FL\s+/, 'FL');
    return `${match[1]} ${value}`;
});
// An airspace without a name gets one (that parser wants AN right after AC).
const named = [];
lines.forEach((line, i) => {
    named.push(line);
    if (line.startsWith('AC ') && !(lines[i + 1] ?? '').startsWith('AN ')) {
        named.push('AN UNNAMED');
    }
});
writeFileSync(normalised, named.join('\r\n'), 'latin1');
const options = {
    version: '1.0',
    allowedClasses: ['A', 'B', 'C', 'D', 'E', 'F', 'G', 'UNC', 'R', 'Q', 'P', 'W', 'GP', 'CTR',
                     'RMZ', 'TMZ'],
    validateGeometry: false,
    fixGeometry: false,
};
let features = 0;
const times = [];
for (let i = 0; i < runs; ++i) {
    const start = process.hrtime.bigint();
    const parser = new Parser(options);
    const { success, error } = parser.parse(normalised);
    if (!success) {
        console.error(error.errorMessage);
        process.exit(1);
    }
    features = parser.toGeojson().features.length;
    times.push(Number(process.hrtime.bigint() - start) / 1e6);
}
times.sort((a, b) => a - b);
console.log(JSON.stringify({ file, airspaces: features, runs,
                             medianMs: times[Math.floor(runs / 2)], bestMs: times[0] }));
