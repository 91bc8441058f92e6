// Prints the GeoJSON FeatureCollection that @openaip/openair-parser makes of an OpenAir file
// (version 1 records, geometry as parsed, no validation or repair).
// node openair_geojson.mjs FILE [CLASS...]
import { Parser } from '@openaip/openair-parser';

const [file, ...classes] = process.argv.slice(2);
const parser = new Parser({
    version: '1.0',
    allowedClasses: ['A', 'B', 'C', 'D', 'E', 'F', 'G', 'UNC', 'R', 'Q', 'P', 'W', 'GP', 'CTR',
                     'RMZ', 'TMZ', ...classes],
    validateGeometry: false,
    fixGeometry: false,
});
const { success, error } = parser.parse(file);
if (!success) {
    console.error(error.errorMessage);
    process.exit(1);
}
process.stdout.write(JSON.stringify(parser.toGeojson()) + '\n');
