// UPS, the UTM/UPS choice and MGRS against GeographicLib's GeoConvert: the
// oracle tables of tests/tables (written by scripts/polar-tables) and, when
// GeographicLib's library is present, its PolarStereographic directly.
#include <cmath>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "tervala/Polar.hpp"

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
#include <GeographicLib/PolarStereographic.hpp>
#endif

using namespace tervala;

namespace {

// Tolerances against the oracle, which prints nanometres. UPS is closed
// form; GeoConvert's UTM and ours are each Krueger's series, within a few
// nanometres of the exact projection.
constexpr double kUpsMetres = 1e-8;
constexpr double kUtmMetres = 1e-8;
constexpr double kUpsDegrees = 1e-11;
constexpr double kUtmDegrees = 1e-11;

double angleDifference(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)); }

// An MGRS reference of the table (8 digits per coordinate) cut to
// `precision` digits, which is what truncation to a coarser square means.
std::string cut(const std::string& reference, int precision)
{
    const std::size_t digits = reference.find_first_of("0123456789", reference[0] <= '9' ? 2 : 0);
    const std::string head = reference.substr(0, digits), body = reference.substr(digits);
    const std::size_t half = body.size() / 2;
    return head + body.substr(0, precision) + body.substr(half, precision);
}

} // namespace

// Zone choice (poles, limits, Norway, Svalbard, zone and band edges),
// coordinates, convergence, scale and the MGRS reference at every precision,
// point by point against GeoConvert -u, -c and -m.
TEST(UtmUps, ForwardAgreesWithGeoConvert)
{
    const UtmUps grids;
    const Mgrs mgrs;
    int rows = 0, ups = 0, norwaySvalbard = 0;
    for (const auto& row : testsupport::readTable("utmups-geoconvert.txt")) {
        SCOPED_TRACE("utmups-geoconvert.txt line " + std::to_string(row.line));
        ASSERT_EQ(row.fields.size(), 10u);
        const double lat = std::stod(row.fields[0]), lon = std::stod(row.fields[1]);
        const int zone = std::stoi(row.fields[3]);
        const bool north = row.fields[4] == "n";
        const double e = std::stod(row.fields[5]), n = std::stod(row.fields[6]);
        const double gamma = std::stod(row.fields[7]), k = std::stod(row.fields[8]);
        const std::string& reference = row.fields[9];
        const UtmUpsPoint p = grids.forward(lat, lon);
        ASSERT_EQ(p.zone, zone) << lat << " " << lon;
        ASSERT_EQ(p.north, north) << lat << " " << lon;
        EXPECT_EQ(UtmUps::standardZone(lat, lon), zone);
        const double metres = zone == 0 ? kUpsMetres : kUtmMetres;
        EXPECT_NEAR(p.easting, e, metres) << lat << " " << lon;
        EXPECT_NEAR(p.northing, n, metres) << lat << " " << lon;
        EXPECT_LE(angleDifference(p.convergence, gamma), 1e-11) << lat << " " << lon;
        EXPECT_NEAR(p.scale, k, 1e-12) << lat << " " << lon;
        // Where a UTM coordinate lies within the series' tolerance of a whole
        // metre the 1 m digit may differ; the coordinates are checked above.
        auto nearMetre = [](double v) { return std::fabs(v - std::round(v)) < kUtmMetres; };
        if (zone == 0 || (!nearMetre(e) && !nearMetre(n))) {
            for (int precision = 0; precision <= 5; ++precision)
                EXPECT_EQ(mgrs.forward(lat, lon, precision), cut(reference, precision)) << lat << " " << lon;
        }
        ++rows;
        ups += zone == 0;
        norwaySvalbard += (zone == 32 && lat >= 56 && lat < 64 && lon < 6) || (lat >= 72 && lat < 84 && lon >= 0 &&
                                                                                lon < 42 && zone % 2 == 1);
    }
    EXPECT_GT(rows, 3000);
    EXPECT_GT(ups, 250);
    EXPECT_GT(norwaySvalbard, 40);
}

// GeoConvert -g: every reference of the table at every precision read back
// to the centre of its square. A centre farther from the zone's central
// meridian than tervala::Utm reaches (maxOffset) is refused, never guessed.
TEST(Mgrs, ReverseAgreesWithGeoConvert)
{
    const Mgrs mgrs;
    int rows = 0, beyondReach = 0;
    for (const auto& row : testsupport::readTable("mgrs-reverse-geoconvert.txt")) {
        SCOPED_TRACE("mgrs-reverse-geoconvert.txt line " + std::to_string(row.line) + " " + row.fields[0]);
        ASSERT_EQ(row.fields.size(), 4u);
        const double lat = std::stod(row.fields[2]), lon = std::stod(row.fields[3]);
        Mgrs::Square q;
        try {
            q = mgrs.reverse(row.fields[0]);
        } catch (const std::invalid_argument& e) {
            const int zone = std::stoi(row.fields[0].substr(0, 2));
            const Utm utm(zone);
            EXPECT_GT(angleDifference(lon, utm.centralMeridian()), utm.maxOffset()) << e.what();
            ++beyondReach;
            continue;
        }
        const double tolerance = q.zone == 0 ? kUpsDegrees : kUtmDegrees;
        EXPECT_NEAR(q.latitude, lat, tolerance);
        EXPECT_LE(angleDifference(q.longitude, lon), tolerance / std::max(std::cos(lat * testsupport::kPi / 180), 1e-9));
        ++rows;
    }
    EXPECT_GT(rows, 2000);
    EXPECT_LT(beyondReach, 10);
}

// Malformed references are refused with a message naming the fault (the
// table holds GeoConvert's own refusals; 32X and more than 5 digits are
// refused here though GeoConvert reads them).
TEST(Mgrs, MalformedReferencesAreRefusedWithTheReason)
{
    const Mgrs mgrs;
    int refused = 0;
    for (const auto& row : testsupport::readTable("mgrs-malformed.txt")) {
        SCOPED_TRACE("mgrs-malformed.txt line " + std::to_string(row.line) + " " + row.fields[0]);
        if (row.fields[1] == "none") {
            EXPECT_NO_THROW(mgrs.reverse(row.fields[0]));
            continue;
        }
        try {
            mgrs.reverse(row.fields[0]);
            ADD_FAILURE() << "accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(row.fields[1]), std::string::npos) << e.what();
            ++refused;
        }
    }
    EXPECT_GT(refused, 20);
}

// Squares in lower case and with blanks between the parts read as the
// reference itself; the square's corner and size follow the digit count.
TEST(Mgrs, SquareCornerAndSize)
{
    const Mgrs mgrs;
    const Mgrs::Square a = mgrs.reverse("52S CG 4953 6723");
    const Mgrs::Square b = mgrs.reverse("52scg49536723");
    EXPECT_EQ(a.latitude, b.latitude);
    EXPECT_EQ(a.zone, 52);
    EXPECT_TRUE(a.north);
    EXPECT_EQ(a.precision, 4);
    EXPECT_EQ(a.size, 10.0);
    // Column C of zone 52 (set 1: A..H) is the third: 300 km; row G of an
    // even zone is (6 - 5) = 1 of the 2000 km cycle, in band S the third
    // cycle: 4100 km.
    EXPECT_EQ(a.easting, 349530.0);
    EXPECT_EQ(a.northing, 4167230.0);
    EXPECT_THROW(mgrs.forward(37.5, 127.3, 6), std::invalid_argument);
    EXPECT_THROW(mgrs.forward(90.5, 0, 3), std::invalid_argument);
}

// The older lettering (Bessel 1841, Clarke 1866, Clarke 1880) moves every
// row letter 10 places on in the 20-letter cycle and leaves the rest alone.
TEST(Mgrs, OlderLetteringOnItsEllipsoids)
{
    const std::string rows = "ABCDEFGHJKLMNPQRSTUV";
    for (const char* name : {"Bessel1841", "Clarke1866"}) {
        const Ellipsoid e(name);
        const Mgrs older(e), current(e, Mgrs::Lettering::Current);
        EXPECT_EQ(older.lettering(), Mgrs::Lettering::Older) << name;
        for (double lat : {-40.5, 10.2, 52.3}) {
            const std::string a = older.forward(lat, 13.4, 3), b = current.forward(lat, 13.4, 3);
            ASSERT_EQ(a.size(), b.size());
            EXPECT_EQ(a.substr(0, 4), b.substr(0, 4));
            EXPECT_EQ(rows.find(a[4]), (rows.find(b[4]) + 10) % 20) << name << " " << a << " " << b;
            EXPECT_NEAR(older.reverse(a).latitude, current.reverse(b).latitude, 1e-12);
        }
    }
    EXPECT_EQ(Mgrs(Ellipsoid::grs80()).lettering(), Mgrs::Lettering::Current);
}

// Band letters and their limits (C at 80 S, X from 72 N through 84 N).
TEST(UtmUps, BandLetters)
{
    struct Case {
        double lat;
        char band;
    };
    for (const Case& c : {Case{-80, 'C'}, Case{-72.0000001, 'C'}, Case{-72, 'D'}, Case{-0.5, 'M'}, Case{0, 'N'},
                          Case{37.5, 'S'}, Case{71.9999, 'W'}, Case{72, 'X'}, Case{84, 'X'}, Case{84.0001, 0},
                          Case{-80.0001, 0}, Case{std::nan(""), 0}})
        EXPECT_EQ(utmBand(c.lat), c.band) << c.lat;
    double s = 0, n = 0;
    EXPECT_TRUE(utmBandLimits('s', s, n));
    EXPECT_EQ(s, 32);
    EXPECT_EQ(n, 40);
    EXPECT_TRUE(utmBandLimits('X', s, n));
    EXPECT_EQ(n, 84);
    EXPECT_FALSE(utmBandLimits('I', s, n));
    EXPECT_FALSE(utmBandLimits('Y', s, n));
}

// Forced zones and poles: a neighbouring zone, the other hemisphere's false
// northing, UPS below its standard limit; NaN where no grid applies.
TEST(UtmUps, ForcedZonesAndRefusals)
{
    const UtmUps grids;
    const UtmUpsPoint a = grids.forward(60.0, 4.0, 31, true);  // standard would be 32
    EXPECT_EQ(a.zone, 31);
    EXPECT_NEAR(grids.inverse(31, true, a.easting, a.northing).longitude, 4.0, 1e-9);
    const UtmUpsPoint b = grids.forward(-10.0, 20.0, 34, true);
    EXPECT_NEAR(b.northing - grids.forward(-10.0, 20.0, 34, false).northing, -1e7, 1e-6);
    const UtmUpsPoint c = grids.forward(70.0, 0.0, UtmUps::kUps, true);
    EXPECT_TRUE(std::isfinite(c.easting));
    EXPECT_TRUE(std::isnan(grids.forward(-70.0, 0.0, UtmUps::kUps, true).easting));
    EXPECT_TRUE(std::isnan(grids.forward(88.0, 0.0, 31, true).easting));
    EXPECT_EQ(grids.forward(91.0, 0.0).zone, UtmUps::kStandard);
    EXPECT_THROW(grids.forward(1, 1, 61), std::invalid_argument);
    EXPECT_THROW(grids.inverse(-1, true, 0, 0), std::invalid_argument);
    const Ups north(true);
    EXPECT_TRUE(std::isnan(north.inverse(2000000.0, 2000000.0 - 1.3e7).latitude));
    EXPECT_EQ(north.inverse(2000000.0, 2000000.0).latitude, 90.0);
}

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
// GeographicLib's PolarStereographic with the UPS constants, on other
// ellipsoids too and far from the caps: forward, inverse, convergence and
// scale to nanometres.
TEST(Ups, AgreesWithGeographicLibOnOtherEllipsoids)
{
    std::mt19937_64 rng(25);
    std::uniform_real_distribution<double> latitude(1.0, 90.0), longitude(-180.0, 180.0);
    for (const char* name : {"WGS84", "Bessel1841", "International1924"}) {
        const Ellipsoid el(name);
        const GeographicLib::PolarStereographic peer(el.a(), el.flattening(), 0.994);
        for (bool north : {true, false}) {
            const Ups ups(north, el);
            for (int i = 0; i < 400; ++i) {
                const double lat = north ? latitude(rng) : -latitude(rng), lon = longitude(rng);
                double x, y, gamma, k;
                peer.Forward(north, lat, lon, x, y, gamma, k);
                const ProjectedWithScale p = ups.forwardWithScale(lat, lon);
                EXPECT_NEAR(p.easting, x + 2e6, 5e-9 * std::max(1.0, std::hypot(x, y) / 1e6)) << name << lat << " " << lon;
                EXPECT_NEAR(p.northing, y + 2e6, 5e-9 * std::max(1.0, std::hypot(x, y) / 1e6)) << name << lat << " " << lon;
                EXPECT_LE(angleDifference(p.convergence, gamma), 1e-12);
                EXPECT_NEAR(p.scale, k, 1e-14 * k);
                const GeographicWithScale g = ups.inverseWithScale(p.easting, p.northing);
                EXPECT_NEAR(g.latitude, lat, 1e-12) << name << " " << lat;
                EXPECT_LE(angleDifference(g.longitude, lon), 1e-11) << name << " " << lat;
            }
        }
    }
}
#endif
