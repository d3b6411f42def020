// tervala::Ellipsoid: a validated reference ellipsoid and the conversions
// between geodetic and geocentric coordinates on it.
//
// Value types in namespace tervala are immutable once built: every method is
// const, nothing is shared between copies except read-only data, and any
// object may be used from many threads at once. Angles are decimal degrees,
// lengths metres.
#ifndef TERVALA_ELLIPSOID_HPP
#define TERVALA_ELLIPSOID_HPP

#include <string>
#include <vector>

#include "Export.hpp"

namespace tervala {

/// Geodetic coordinates: latitude and longitude in degrees, ellipsoidal
/// height in metres.
struct Geodetic {
    double latitude;  ///< latitude, degrees
    double longitude;  ///< longitude, degrees
    double height;  ///< height, metres
    /// Fields compared as doubles (so NaN is never equal, and -0 equals 0).
    /// @param[in] other the value to compare with
    /// @return whether every field is equal
    bool operator==(const Geodetic& other) const
    {
        return latitude == other.latitude && longitude == other.longitude && height == other.height;
    }
    /// @param[in] other the value to compare with
    /// @return whether a field differs
    bool operator!=(const Geodetic& other) const { return !(*this == other); }
};

/// Geocentric Cartesian coordinates (earth-centred, earth-fixed), metres.
struct Geocentric {
    double x;  ///< metres
    double y;  ///< metres
    double z;  ///< metres
    /// Fields compared as doubles (so NaN is never equal, and -0 equals 0).
    /// @param[in] other the value to compare with
    /// @return whether every field is equal
    bool operator==(const Geocentric& other) const { return x == other.x && y == other.y && z == other.z; }
    /// @param[in] other the value to compare with
    /// @return whether a field differs
    bool operator!=(const Geocentric& other) const { return !(*this == other); }
};

/// An ellipsoid of the built-in table: its name as the library spells it,
/// the semi-major axis (metres) and the inverse flattening.
struct NamedEllipsoid {
    const char* name;  ///< name as the library spells it
    double a;  ///< semi-major axis, metres
    double inverseFlattening;  ///< 1/f
};

/// A reference ellipsoid given by its semi-major axis a and inverse
/// flattening 1/f, with the series constants the projections use derived
/// once at construction. A sphere is 1/f = 0 (PROJ's `+R`, and
/// GeographicLib's f = 0): Krueger's Transverse Mercator, UTM, UPS and the
/// geocentric conversions serve it; the legacy Transverse Mercator series
/// (TmMethod::Legacy) and the legacy class do not.
class TERVALA_API Ellipsoid {
public:
    /// The built-in ellipsoids, in this order: GRS80, WGS84, Bessel1841,
    /// Clarke1866, International1924, Krassovsky1940, Airy1830, WGS72,
    /// WGS66, GRS67, AustralianNational, Everest1830, Helmert1906, Hough,
    /// BesselNamibia, AiryModified1849.
    /// @return the table of built-in ellipsoids
    static const std::vector<NamedEllipsoid>& known();

    /// GRS80 (a = 6378137 m, 1/f = 298.257222101).
    /// @return the GRS80 ellipsoid
    static Ellipsoid grs80();
    /// WGS84 (a = 6378137 m, 1/f = 298.257223563).
    /// @return the WGS84 ellipsoid
    static Ellipsoid wgs84();

    /// An ellipsoid of the built-in table by name.
    /// @param[in] name one of the names of known(), compared without regard
    ///   to case, spaces, dashes, underscores and punctuation ("grs 80",
    ///   "WGS-84"); the year may be left out ("Bessel", "Airy"); PROJ's
    ///   short names ("intl", "clrk66", "krass", "bessel", "airy",
    ///   "evrst30", "aust_SA", ...) and the EPSG names pyproj reports
    ///   ("GRS 1980", "WGS 84", "Krassowsky 1940", "International 1924",
    ///   "Australian National Spheroid", ...) name the same ellipsoids.
    ///   Spheres are not in the table: see sphere().
    /// @throw std::invalid_argument naming the text and the known names.
    explicit Ellipsoid(const std::string& name);

    /// A sphere of the given radius (1/f = 0).
    /// @param[in] radius metres: finite and > 0.
    /// @return the sphere
    /// @throw std::invalid_argument naming the radius.
    static Ellipsoid sphere(double radius);
    /// An ellipsoid from its defining constants.
    /// @param[in] a semi-major axis, metres: finite and > 0.
    /// @param[in] inverseFlattening 1/f: finite and > 1, or 0 for a sphere.
    /// @throw std::invalid_argument naming the offending value.
    Ellipsoid(double a, double inverseFlattening);

    /// The table name for a built-in ellipsoid, "" for one built from
    /// constants (even when the constants equal a built-in one).
    /// @return the table name, or ""
    std::string name() const;
    /// Semi-major axis a, metres.
    /// @return a, metres
    double a() const { return a_; }
    /// Inverse flattening 1/f as given.
    /// @return 1/f
    double inverseFlattening() const { return inverseFlattening_; }
    /// Flattening f = 1 / (1/f); 0 for a sphere.
    /// @return f
    double flattening() const { return series_[0]; }
    /// Semi-minor axis b = (1 - f) a, metres.
    /// @return b, metres
    double b() const { return series_[1]; }
    /// First eccentricity squared e^2 = (a^2 - b^2) / a^2.
    /// @return e^2
    double e2() const { return series_[2]; }

    /// Geodetic to geocentric coordinates.
    /// @param[in] point latitude and longitude in degrees (any finite
    ///   longitude; latitude in [-90, 90]), ellipsoidal height in metres.
    /// @return X, Y, Z in metres. NaN (all three) when the latitude lies
    ///   outside [-90, 90] or any input is not finite.
    Geocentric toGeocentric(const Geodetic& point) const;

    /// Geocentric to geodetic coordinates (iterative, to 1e-14 rad).
    /// @param[in] point X, Y, Z in metres.
    /// @return latitude in [-90, 90] and longitude in (-180, 180] in
    ///   degrees, ellipsoidal height in metres; on the polar axis the
    ///   latitude is +-90 by the sign of Z (0 at the centre). NaN (all
    ///   three) when any input is not finite.
    Geodetic toGeodetic(const Geocentric& point) const;

    /// Same constants (a and 1/f bit for bit); the name does not count.
    /// @param[in] other the ellipsoid to compare with
    /// @return whether a and 1/f are the same
    bool operator==(const Ellipsoid& other) const
    {
        return a_ == other.a_ && inverseFlattening_ == other.inverseFlattening_;
    }
    /// @param[in] other the ellipsoid to compare with
    /// @return whether a or 1/f differ
    bool operator!=(const Ellipsoid& other) const { return !(*this == other); }

private:
    friend struct ModernAccess;
    double a_;
    double inverseFlattening_;
    // The constants the projections and conversions read: f, b, e^2, e'^2,
    // n and the meridian-arc and footpoint series (derived, not settable).
    double series_[15];
    int known_;  // index into known(), -1 when built from constants
};

} // namespace tervala

#endif
