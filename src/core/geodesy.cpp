#include "core/geodesy.hpp"

#include <algorithm>
#include <cmath>

namespace tracora {

namespace {

// WGS-84.
constexpr double kFlattening = 0.0033528106647474805;       // 1 / 298.257223563
constexpr double kOneMinusFlattening = 0.9966471893352525;  // 1 - f
constexpr double kFlatteningOver16 = 0.00020955066654671753;
constexpr double kSecondEccentricitySquared = 0.006739496742276435;
constexpr double kSemiMinorAxisMetres = 6356752.314245179;
constexpr double kEccentricitySquared = 0.006694379990141317;
constexpr double kTmSecondEccentricitySquared = 0.0067394967422765;

// Transverse Mercator with the UTM scale factor 0.9996.
constexpr double kScaledSemiMajorAxisMetres = 6375585.7452;  // k0 * a
// Meridian arc M = k0 a (A0 phi - A2 sin 2phi + A4 sin 4phi - A6 sin 6phi).
constexpr double kArcA0 = 0.9983242984527952;
constexpr double kArcA2 = 0.002514607060518705;
constexpr double kArcA4 = 2.6390465943376217e-6;
constexpr double kArcA6 = 3.4180460865957886e-9;
// Footpoint latitude from the rectifying latitude mu = northing / (k0 a A0).
constexpr double kNorthingToRectifying = 1.571116057864735e-7;
constexpr double kFootpoint2 = 0.0025188265843906882;
constexpr double kFootpoint4 = 3.700949035620534e-6;
constexpr double kFootpoint6 = 7.447813767503948e-9;
constexpr double kFootpoint8 = 1.703599323859631e-11;
constexpr double kEastingToUnitless = 1.5684833362218868e-7;  // 1 / (k0 a)

constexpr double kFalseEastingMetres = 500000.0;
constexpr double kFalseNorthingSouthMetres = 10000000.0;

constexpr double kDegreesPerRadian = 180.0 / kPi;
constexpr double kRadiansPerDegree = kPi / 180.0;

constexpr int kMaxIterations = 100;

double MeridianArc(double latitude) {
    return kScaledSemiMajorAxisMetres *
           (kArcA0 * latitude - kArcA2 * std::sin(2 * latitude) + kArcA4 * std::sin(4 * latitude) -
            kArcA6 * std::sin(6 * latitude));
}

// The longitude difference brought into [-pi, pi], so that a line across the date line is
// measured the short way and +180 and -180 degrees are the same meridian.
double NormalisedLongitudeDifference(double difference) {
    double d = std::remainder(difference, 2 * kPi);
    if (d < -kPi) {
        d += 2 * kPi;
    }
    return d;
}

double CentralMeridian(int zone) {
    return (2 * zone - 61) * 3 * kRadiansPerDegree;
}

// The quantities of the auxiliary sphere for one value of lambda.
struct AuxiliarySphere {
    double sinSigma = 0;
    double cosSigma = 0;
    double sigma = 0;
    double sinAlpha = 0;
    double cosSquaredAlpha = 0;
    double cos2SigmaM = 0;
};

struct ReducedLatitudes {
    double sinU1, cosU1, sinU2, cosU2;
};

AuxiliarySphere Evaluate(const ReducedLatitudes& u, double lambda) {
    AuxiliarySphere s;
    const double sinLambda = std::sin(lambda);
    const double cosLambda = std::cos(lambda);
    const double p = u.cosU2 * sinLambda;
    const double q = u.cosU1 * u.sinU2 - u.sinU1 * u.cosU2 * cosLambda;
    s.sinSigma = std::sqrt(p * p + q * q);
    s.cosSigma = u.sinU1 * u.sinU2 + u.cosU1 * u.cosU2 * cosLambda;
    s.sigma = std::atan(s.sinSigma / s.cosSigma);
    if (s.sigma < 0) {
        s.sigma += kPi;
    }
    s.sinAlpha = u.cosU1 * u.cosU2 * sinLambda / s.sinSigma;
    s.cosSquaredAlpha = 1 - s.sinAlpha * s.sinAlpha;
    // Both points on the equator: cos^2 alpha is 0 and so is sin U1 sin U2. The line runs
    // along the equator and the ratio's limit is 0; taken literally, 0/0 would make every
    // equatorial line fail.
    s.cos2SigmaM =
        s.cosSquaredAlpha != 0 ? s.cosSigma - 2 * u.sinU1 * u.sinU2 / s.cosSquaredAlpha : 0;
    return s;
}

}  // namespace

int GeoDistance(const GeoPoint& a, const GeoPoint& b, double& metres) {
    double longitudeDifference = NormalisedLongitudeDifference(b.longitude - a.longitude);
    if (std::fabs(b.latitude - a.latitude) < 1.5e-9 && std::fabs(longitudeDifference) < 1e-9) {
        metres = 0;
        return 0;
    }
    if (std::fabs(longitudeDifference) < 1e-10) {
        longitudeDifference = 1e-10;
    }
    const double reduced1 = std::atan(kOneMinusFlattening * std::tan(a.latitude));
    const double reduced2 = std::atan(kOneMinusFlattening * std::tan(b.latitude));
    const ReducedLatitudes u{std::sin(reduced1), std::cos(reduced1), std::sin(reduced2),
                             std::cos(reduced2)};

    const double lambdaStart = longitudeDifference;
    double lambda = lambdaStart;
    bool converged = false;
    for (int iteration = 1; iteration <= kMaxIterations; ++iteration) {
        const AuxiliarySphere s = Evaluate(u, lambda);
        const double c =
            kFlatteningOver16 * s.cosSquaredAlpha * (4 + kFlattening * (4 - 3 * s.cosSquaredAlpha));
        const double previous = lambda;
        lambda = lambdaStart +
                 (1 - c) * kFlattening * s.sinAlpha *
                     (s.sigma +
                      c * s.sinSigma *
                          (s.cos2SigmaM + c * s.cosSigma * (2 * s.cos2SigmaM * s.cos2SigmaM - 1)));
        if (iteration >= 2 && std::fabs(lambda - previous) < 1e-10 * std::fabs(lambda)) {
            converged = true;
            break;
        }
    }
    if (!converged) {
        return -1;
    }

    // The sphere is evaluated once more at the converged lambda. The values of the last
    // step belong to the lambda before it, which at the 1e-10 stopping threshold can still
    // be off by a millimetre over ten thousand kilometres.
    const AuxiliarySphere s = Evaluate(u, lambda);
    const double uSquared = s.cosSquaredAlpha * kSecondEccentricitySquared;
    const double bigA =
        1 + uSquared / 16384 * (4096 + uSquared * (-768 + uSquared * (320 - 175 * uSquared)));
    const double bigB =
        uSquared / 1024 * (256 + uSquared * (-128 + uSquared * (74 - 47 * uSquared)));
    const double cos2SigmaMSquared = s.cos2SigmaM * s.cos2SigmaM;
    const double deltaSigma =
        bigB * s.sinSigma *
        (s.cos2SigmaM + bigB / 4 *
                            (s.cosSigma * (2 * cos2SigmaMSquared - 1) -
                             bigB / 6 * s.cos2SigmaM * (4 * s.sinSigma * s.sinSigma - 3) *
                                 (4 * cos2SigmaMSquared - 3)));
    metres = kSemiMinorAxisMetres * bigA * (s.sigma - deltaSigma);
    return 0;
}

void ProjectTransverseMercator(const GeoPoint& point, double centralMeridian, double& x,
                               double& y) {
    // Redfearn's series in the longitude difference w, through w^8 for the northing and
    // w^7 for the easting.
    const double phi = point.latitude;
    const double w = NormalisedLongitudeDifference(point.longitude - centralMeridian);
    const double sinPhi = std::sin(phi);
    const double cosPhi = std::cos(phi);
    const double t = std::tan(phi);
    const double t2 = t * t;
    const double t4 = t2 * t2;
    const double t6 = t4 * t2;
    // psi = nu / rho, the ratio of the two radii of curvature.
    const double psi = 1 + kTmSecondEccentricitySquared * cosPhi * cosPhi;
    const double psi2 = psi * psi;
    const double psi3 = psi2 * psi;
    const double psi4 = psi2 * psi2;
    const double k0Nu =
        kScaledSemiMajorAxisMetres / std::sqrt(1 - kEccentricitySquared * sinPhi * sinPhi);

    const double wc = w * cosPhi;
    const double wc2 = wc * wc;
    const double wc4 = wc2 * wc2;
    const double wc6 = wc4 * wc2;
    const double wc8 = wc4 * wc4;

    const double easting1 = 1;
    const double easting3 = wc2 / 6 * (psi - t2);
    const double easting5 =
        wc4 / 120 * (4 * psi3 * (1 - 6 * t2) + psi2 * (1 + 8 * t2) - psi * 2 * t2 + t4);
    const double easting7 = wc6 / 5040 * (61 - 479 * t2 + 179 * t4 - t6);
    x = k0Nu * wc * (easting1 + easting3 + easting5 + easting7);

    // nu sin(phi) w^n cos^(n-1)(phi) = nu t (w cos phi)^n
    const double northing2 = wc2 / 2;
    const double northing4 = wc4 / 24 * (4 * psi2 + psi - t2);
    const double northing6 = wc6 / 720 *
                             (8 * psi4 * (11 - 24 * t2) - 28 * psi3 * (1 - 6 * t2) +
                              psi2 * (1 - 32 * t2) - psi * 2 * t2 + t4);
    const double northing8 = wc8 / 40320 * (1385 - 3111 * t2 + 543 * t4 - t6);
    y = MeridianArc(phi) + k0Nu * t * (northing2 + northing4 + northing6 + northing8);
}

char UtmBand(double latitudeDegrees) {
    static constexpr char kBands[] = "CDEFGHJKLMNPQRSTUVWX";
    if (latitudeDegrees < -80) {
        return 'B';
    }
    if (latitudeDegrees >= 84) {
        return 'Y';
    }
    if (latitudeDegrees >= 72) {
        return 'X';  // the last band is 12 degrees high
    }
    const int index = static_cast<int>(std::floor((latitudeDegrees + 80) / 8));
    return kBands[std::clamp(index, 0, 19)];
}

int UtmZone(double latitudeDegrees, double longitudeDegrees) {
    if (std::isnan(longitudeDegrees)) {
        return 1;
    }
    // Clamped before the cast: a longitude far outside +-180 must not overflow the int.
    const double raw = std::clamp(std::trunc(longitudeDegrees / 6 + 30), 0.0, 59.0);
    const int zone = static_cast<int>(raw) + 1;
    const char band = UtmBand(latitudeDegrees);
    if (band == 'V' && longitudeDegrees >= 3 && longitudeDegrees < 12) {
        return 32;
    }
    if (band == 'X' && longitudeDegrees >= 0 && longitudeDegrees < 42) {
        if (longitudeDegrees < 9) {
            return 31;
        }
        if (longitudeDegrees < 21) {
            return 33;
        }
        if (longitudeDegrees < 33) {
            return 35;
        }
        return 37;
    }
    return zone;
}

void ToUtm(const GeoPoint& point, int& zone, UtmPosition& utm) {
    const double latitudeDegrees = point.latitude * kDegreesPerRadian;
    if (zone == 0) {
        zone = UtmZone(latitudeDegrees, point.longitude * kDegreesPerRadian);
    }
    double x = 0;
    double y = 0;
    ProjectTransverseMercator(point, CentralMeridian(zone), x, y);
    utm.zone = zone;
    utm.band = UtmBand(latitudeDegrees);
    utm.easting = x + kFalseEastingMetres;
    utm.northing = point.latitude < 0 ? y + kFalseNorthingSouthMetres : y;
}

void FromUtm(const UtmPosition& utm, GeoPoint& point) {
    const double northing =
        utm.band < 'N' ? utm.northing - kFalseNorthingSouthMetres : utm.northing;
    // Footpoint latitude: the latitude whose meridian arc equals the northing.
    const double mu = northing * kNorthingToRectifying;
    const double phi1 = mu + kFootpoint2 * std::sin(2 * mu) + kFootpoint4 * std::sin(4 * mu) +
                        kFootpoint6 * std::sin(6 * mu) + kFootpoint8 * std::sin(8 * mu);
    const double sinPhi1 = std::sin(phi1);
    const double cosPhi1 = std::cos(phi1);
    const double t = std::tan(phi1);
    const double t2 = t * t;
    const double t4 = t2 * t2;
    const double t6 = t4 * t2;
    const double psi = 1 + kTmSecondEccentricitySquared * cosPhi1 * cosPhi1;
    const double psi2 = psi * psi;
    const double psi3 = psi2 * psi;
    const double psi4 = psi2 * psi2;

    // x = E' / (k0 nu'), from E' / (k0 a).
    const double e = (utm.easting - kFalseEastingMetres) * kEastingToUnitless;
    const double x = e * std::sqrt(1 - kEccentricitySquared * sinPhi1 * sinPhi1);
    const double x2 = x * x;
    const double x4 = x2 * x2;
    const double x6 = x4 * x2;
    const double x8 = x4 * x4;

    // t / (k0 rho) E' x^n = t psi x^(n+1)
    const double latitude2 = x2 / 2;
    const double latitude4 = x4 / 24 * (-4 * psi2 + 9 * psi * (1 - t2) + 12 * t2);
    const double latitude6 =
        x6 / 720 *
        (8 * psi4 * (11 - 24 * t2) - 12 * psi3 * (21 - 71 * t2) +
         15 * psi2 * (15 - 98 * t2 + 15 * t4) + 180 * psi * (5 * t2 - 3 * t4) + 360 * t4);
    const double latitude8 = x8 / 40320 * (1385 + 3633 * t2 + 4095 * t4 + 1575 * t6);
    point.latitude = phi1 - t * psi * (latitude2 - latitude4 + latitude6 - latitude8);

    const double longitude1 = 1;
    const double longitude3 = x2 / 6 * (psi + 2 * t2);
    const double longitude5 =
        x4 / 120 * (-4 * psi3 * (1 - 6 * t2) + psi2 * (9 - 68 * t2) + 72 * psi * t2 + 24 * t4);
    const double longitude7 = x6 / 5040 * (61 + 662 * t2 + 1320 * t4 + 720 * t6);
    const double w = x / cosPhi1 * (longitude1 - longitude3 + longitude5 - longitude7);
    point.longitude = NormalisedLongitudeDifference(CentralMeridian(utm.zone) + w);
}

}  // namespace tracora
