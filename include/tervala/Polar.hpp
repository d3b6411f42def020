// tervala::Ups, tervala::UtmUps and tervala::Mgrs: every point on Earth on
// a military grid.
//
// Ups is the Universal Polar Stereographic projection: the ellipsoidal polar
// stereographic projection with scale 0.994 at the pole and false easting and
// northing 2000 km, one grid for each pole. UtmUps chooses between the UTM
// zones and the two polar grids as the standard rules do: UTM from 80 S up to
// (not including) 84 N, with the Norway (32V) and Svalbard (31X, 33X, 35X,
// 37X) exceptions, UPS beyond. Mgrs writes and reads Military Grid Reference
// System strings on those grids, from 100 km squares (precision 0) to 1 m
// squares (precision 5).
//
// Accuracy. Ups is closed form except for the inverse latitude, which is
// iterated to the last bit; forward and inverse agree with GeographicLib's
// PolarStereographic to a few nanometres. UtmUps inherits the accuracy of
// tervala::Utm in the UTM zones. MGRS strings equal GeographicLib's
// (GeoConvert -m) on the test tables.
//
// Results outside the domain are NaN, as in Projection.hpp; malformed MGRS
// strings and impossible requests throw std::invalid_argument naming the
// fault.
#ifndef TERVALA_POLAR_HPP
#define TERVALA_POLAR_HPP

#include <string>

#include "Ellipsoid.hpp"
#include "Export.hpp"
#include "Projection.hpp"

namespace tervala {

/// The UTM latitude band letter of a latitude: 'C' (80 S to 72 S) up to 'X'
/// (72 N to 84 N, the one band 12 degrees tall), skipping I and O; each
/// band includes its southern edge, X includes 84 N. 0 outside [-80, 84] or
/// for NaN.
/// @param[in] latitude latitude, degrees
/// @return the band letter, or 0
TERVALA_API char utmBand(double latitude);

/// The latitudes (degrees) a band letter covers, southern edge first; false
/// for a letter that is not a band (case is ignored).
/// @param[in] band a letter C to X other than I and O
/// @param[out] south southern edge, degrees
/// @param[out] north northern edge, degrees
/// @return whether `band` is a band letter
TERVALA_API bool utmBandLimits(char band, double& south, double& north);

/// Universal Polar Stereographic grid of one pole.
class TERVALA_API Ups {
public:
    /// @param[in] north true for the north polar grid, false for the south.
    /// @param[in] ellipsoid WGS84 unless given.
    explicit Ups(bool north, const Ellipsoid& ellipsoid = Ellipsoid::wgs84());

    /// Latitude and longitude (degrees) to easting and northing (metres).
    /// Any latitude of the grid's own hemisphere is projected (the pole
    /// included, 0 excluded); NaN for the other hemisphere, the equator or
    /// input that is not finite. The standard grid covers only 84 N to 90 N
    /// and 80 S to 90 S; UtmUps chooses it there.
    /// @param[in] latitude latitude, degrees
    /// @param[in] longitude longitude, degrees
    /// @return easting and northing (NaN where stated above)
    Projected forward(double latitude, double longitude) const;
    /// forward() with the meridian convergence (degrees: the longitude in the
    /// north, minus the longitude in the south, as the meridians radiate from
    /// the pole) and the point scale (0.994 at the pole).
    /// @param[in] latitude latitude, degrees
    /// @param[in] longitude longitude, degrees
    /// @return easting, northing, convergence and scale (NaN where stated above)
    ProjectedWithScale forwardWithScale(double latitude, double longitude) const;
    /// Easting and northing (metres) to latitude and longitude (degrees,
    /// longitude in (-180, 180]; at the pole itself 180 on the north grid and
    /// 0 on the south grid, as GeographicLib gives them). NaN for input that is
    /// not finite or that lies at or beyond the equator.
    /// @param[in] easting easting, metres
    /// @param[in] northing northing, metres
    /// @return latitude and longitude (NaN where stated above)
    Geographic inverse(double easting, double northing) const;
    /// inverse() with the convergence and the point scale.
    /// @param[in] easting easting, metres
    /// @param[in] northing northing, metres
    /// @return latitude, longitude, convergence and scale
    GeographicWithScale inverseWithScale(double easting, double northing) const;

    /// Whether this is the north polar grid.
    /// @return true for the north polar grid
    bool north() const { return north_; }
    /// The ellipsoid of the geodetic coordinates.
    /// @return the ellipsoid
    const Ellipsoid& ellipsoid() const { return ellipsoid_; }
    /// Same pole and ellipsoid.
    /// @param[in] other the value to compare with
    /// @return whether both project every point to the same doubles
    bool operator==(const Ups& other) const { return north_ == other.north_ && ellipsoid_ == other.ellipsoid_; }
    /// @param[in] other the value to compare with
    /// @return the negation of operator==
    bool operator!=(const Ups& other) const { return !(*this == other); }

private:
    Ellipsoid ellipsoid_;
    bool north_;
    double e_;       // first eccentricity
    double radius_;  // 2 a k0 / sqrt((1+e)^(1+e) (1-e)^(1-e)): grid distance per unit of t
};

/// A point on the UTM/UPS grids: zone 1..60 for UTM, 0 for UPS; `north` says
/// the hemisphere (the UTM false northing, or the UPS pole).
struct UtmUpsPoint {
    int zone;  ///< 1..60 UTM, 0 UPS
    bool north;  ///< northern hemisphere (UTM) or north pole (UPS)
    double easting;  ///< metres
    double northing;  ///< metres
    double convergence;  ///< meridian convergence, degrees
    double scale;  ///< point scale, a plain ratio
};

/// The combined UTM and UPS grids, on one ellipsoid.
class TERVALA_API UtmUps {
public:
    /// Zone value that selects UPS in forward() and inverse().
    static constexpr int kUps = 0;
    /// Zone value that selects the standard zone of the point in forward().
    static constexpr int kStandard = -1;

    /// @param[in] ellipsoid WGS84 unless given.
    explicit UtmUps(const Ellipsoid& ellipsoid = Ellipsoid::wgs84());

    /// The standard zone of a point: 0 (UPS) north of 84 N (84 included)
    /// and south of 80 S, else its 6-degree zone (180 E is zone 1) with
    /// 32 for 3..12 E in 56..64 N and 31, 33, 35, 37 for 0..9, 9..21,
    /// 21..33, 33..42 E in 72..84 N.
    /// @param[in] latitude latitude, degrees, in [-90, 90]
    /// @param[in] longitude longitude, degrees, finite
    /// @return the zone, or -2 for input outside those ranges
    static int standardZone(double latitude, double longitude);

    /// Latitude and longitude (degrees) to a grid point. With zone
    /// kStandard the standard zone and the point's own hemisphere (latitude
    /// 0 is north); with a zone 1..60 that UTM zone in the hemisphere
    /// `north` (NaN where tervala::Utm gives NaN); with kUps the polar grid
    /// of `north` (NaN more than 20 degrees from its pole, as GeographicLib
    /// limits a forced polar grid). The hemisphere argument is
    /// ignored for kStandard.
    /// @param[in] latitude latitude, degrees
    /// @param[in] longitude longitude, degrees
    /// @param[in] zone kStandard, kUps or 1..60
    /// @param[in] north hemisphere of a forced zone
    /// @return the point; easting, northing, convergence and scale NaN outside the domain
    /// @throw std::invalid_argument for a zone outside -1..60
    UtmUpsPoint forward(double latitude, double longitude, int zone = kStandard, bool north = true) const;

    /// Grid coordinates of a zone (0 for UPS) and hemisphere to latitude
    /// and longitude (degrees) with convergence and scale; NaN where Ups or
    /// the zone's Transverse Mercator give NaN (unlike Utm::inverse, a
    /// latitude a little beyond 84 N or 80 S is returned: MGRS squares and
    /// rounded coordinates at the limits reach there).
    /// @param[in] zone kUps or 1..60
    /// @param[in] north hemisphere or pole
    /// @param[in] easting easting, metres
    /// @param[in] northing northing, metres
    /// @return latitude, longitude, convergence and scale
    /// @throw std::invalid_argument for a zone outside 0..60
    GeographicWithScale inverse(int zone, bool north, double easting, double northing) const;

    /// The ellipsoid of the geodetic coordinates.
    /// @return the ellipsoid
    const Ellipsoid& ellipsoid() const { return ellipsoid_; }
    /// Same ellipsoid.
    /// @param[in] other the value to compare with
    /// @return whether both give the same doubles
    bool operator==(const UtmUps& other) const { return ellipsoid_ == other.ellipsoid_; }
    /// @param[in] other the value to compare with
    /// @return the negation of operator==
    bool operator!=(const UtmUps& other) const { return !(*this == other); }

private:
    Ellipsoid ellipsoid_;
    Ups north_, south_;
};

/// Military Grid Reference System strings on one ellipsoid.
///
/// A UTM reference is the zone (1 or 2 digits), the band letter, the 100 km
/// square's column and row letters and 0 to 5 digits each of easting and
/// northing within the square, truncated (not rounded): 52SCG4953 is a 1 km
/// square. A polar reference starts with A or B (south pole, west or east
/// of the 0/180 meridian) or Y or Z (north pole) instead of zone and band.
/// The square letters follow the lettering of the ellipsoid: the current
/// scheme (rows of even zones offset by 5 letters) everywhere except on the
/// Bessel 1841, Clarke 1866 and Clarke 1880 ellipsoids, which keep the older
/// scheme (rows offset by 10 more letters); lettering() can be set.
class TERVALA_API Mgrs {
public:
    /// Which 100 km square lettering applies.
    enum class Lettering {
        Current,  ///< the WGS84 scheme (columns and rows from A)
        Older,    ///< Bessel 1841, Clarke 1866 and Clarke 1880
    };

    /// @param[in] ellipsoid WGS84 unless given; the lettering follows from it.
    explicit Mgrs(const Ellipsoid& ellipsoid = Ellipsoid::wgs84());
    /// @param[in] ellipsoid the ellipsoid
    /// @param[in] lettering the 100 km square lettering to use
    Mgrs(const Ellipsoid& ellipsoid, Lettering lettering);

    /// The MGRS reference of a point.
    /// @param[in] latitude latitude, degrees, [-90, 90]
    /// @param[in] longitude longitude, degrees, finite
    /// @param[in] precision digits per coordinate, 0 (100 km) to 5 (1 m)
    /// @return the reference, upper case, no spaces
    /// @throw std::invalid_argument for a precision outside 0..5, a latitude
    ///   outside [-90, 90] or input that is not finite
    std::string forward(double latitude, double longitude, int precision = 5) const;

    /// A reference read back: the grid square's zone (0 for UPS), hemisphere,
    /// south-west corner (metres), side (metres) and the latitude and
    /// longitude of its centre.
    struct Square {
        int zone;  ///< 1..60 UTM, 0 UPS
        bool north;  ///< hemisphere or pole
        double easting;  ///< south-west corner, metres
        double northing;  ///< south-west corner, metres
        double size;  ///< side of the square, metres (100000 to 1)
        int precision;  ///< digits per coordinate, 0..5
        double latitude;  ///< centre of the square, degrees
        double longitude;  ///< centre of the square, degrees
    };

    /// Reads a reference (case and blanks between its parts ignored).
    /// @param[in] reference such as "52SCG4953067231", "ZGC2998", "4QFJ"
    /// @return the square and its centre
    /// @throw std::invalid_argument naming what is wrong: a zone outside
    ///   1..60, a letter that is not a band, a column or row letter not used
    ///   in that zone or pole, an odd or too large number of digits, a band
    ///   the square does not reach, or a zone that does not exist (32X, 34X,
    ///   36X)
    Square reverse(const std::string& reference) const;

    /// The lettering in use.
    /// @return the lettering
    Lettering lettering() const { return lettering_; }
    /// The ellipsoid of the geodetic coordinates.
    /// @return the ellipsoid
    const Ellipsoid& ellipsoid() const { return grids_.ellipsoid(); }
    /// Same ellipsoid and lettering.
    /// @param[in] other the value to compare with
    /// @return whether both give the same references
    bool operator==(const Mgrs& other) const { return grids_ == other.grids_ && lettering_ == other.lettering_; }
    /// @param[in] other the value to compare with
    /// @return the negation of operator==
    bool operator!=(const Mgrs& other) const { return !(*this == other); }

private:
    UtmUps grids_;
    Lettering lettering_;
};

} // namespace tervala

#endif
