// Distances on the WGS-84 ellipsoid, Transverse Mercator and UTM.
#pragma once

#include "core/angles.hpp"

namespace tracora {

// Vincenty's inverse problem on WGS-84. Returns 0 and writes `metres`, or -1 when the
// iteration does not converge within 100 steps (nearly antipodal points); `metres` is then
// left untouched. The longitude difference is taken the short way round, so +180 and -180
// degrees are the same meridian.
int GeoDistance(const GeoPoint& a, const GeoPoint& b, double& metres);

// Planar coordinates in metres about `centralMeridian` (radians), without false easting or
// northing, scale factor 0.9996.
void ProjectTransverseMercator(const GeoPoint& point, double centralMeridian, double& x, double& y);

struct UtmPosition {
    double easting = 0;
    double northing = 0;
    int zone = 0;     // 1-60
    char band = 'N';  // 'B'..'Y' without 'I' and 'O'
};

// Latitude band letter for a latitude in degrees.
char UtmBand(double latitudeDegrees);
// Zone chosen by the standard rules with the Norway and Svalbard exceptions.
int UtmZone(double latitudeDegrees, double longitudeDegrees);

// Projects `point` into UTM. With `zone` 0 on entry the zone is chosen (and written back);
// otherwise the given zone is used.
void ToUtm(const GeoPoint& point, int& zone, UtmPosition& utm);
// Inverse of ToUtm; bands below 'N' are southern.
void FromUtm(const UtmPosition& utm, GeoPoint& point);

}  // namespace tracora
