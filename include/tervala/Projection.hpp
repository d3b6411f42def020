// tervala::TransverseMercator and tervala::Utm: Transverse Mercator grids
// as value types with their grid fixed at construction, by one of two
// methods (TmMethod):
//   - Kruger (the default): Krueger's series in the third flattening n to
//     n^8 through the conformal latitude and the rectifying radius (Karney
//     2011, J. Geodesy 85). Within 3900 km of the central meridian it agrees
//     with an exact Transverse Mercator to about 10 nm in position and 2e-15
//     in scale; forward and inverse are each other's inverse to a few
//     nanometres. docs/accuracy.md gives the measured table to 60 degrees.
//   - Legacy: the Gauss-Krueger series in powers of the longitude difference
//     (8th order in the northing, 7th in the easting) and its closed-form
//     inverse, the series of CTervala's Geodetic_to_TM / TM_to_Geodetic and
//     the UTM members, whose doubles it returns bit for bit.
//
// Domain. Every method returns NaN (all fields) instead of a number outside
// the stated accuracy:
//   - latitude outside [-90, 90] or any input not finite;
//   - a point farther from the central meridian than maxOffsetAt(latitude)
//     degrees of longitude: 60 with Kruger (the measured range); with Legacy
//     the offset at which the series stay within 1 mm of an exact Transverse
//     Mercator, measured in 5-degree bands of latitude (6.18 degrees at the
//     equator on GRS80, 10.84 at 65-70 degrees, 19.68 near the poles; see
//     docs/accuracy.md). The inverses refuse a result that far out (with
//     Legacy, more than 1e-6 degrees beyond: the legacy forward and inverse
//     disagree by up to a millimetre there), or with a latitude outside
//     [-90, 90];
//   - for UTM, latitudes above 84 N or below 80 S (the polar caps belong to
//     UPS).
// Longitudes are reduced: the difference from the central meridian is taken
// in (-180, 180] before projecting (so 180 and -180 are the same meridian),
// and the inverses return longitudes in (-180, 180].
//
// Convergence and scale. The *WithScale methods also give the meridian
// convergence gamma (degrees, the angle from grid north to true north,
// positive east of the central meridian in the northern hemisphere) and the
// point scale k, from the series of the method (the inverses evaluate the
// forward series at the point they return).
#ifndef TERVALA_PROJECTION_HPP
#define TERVALA_PROJECTION_HPP

#include <memory>

#include "Ellipsoid.hpp"
#include "Export.hpp"

namespace tervala {

struct EllipsoidConstants;  // the ellipsoid's derived constants as the series read them
struct KrugerSeries;        // the coefficients of Krueger's series for one ellipsoid

/// The series a TransverseMercator or Utm evaluates.
enum class TmMethod {
    Kruger,  ///< Krueger's series in n to n^8: nanometres within 3900 km of the central meridian
    Legacy,  ///< the series of CTervala's members, bit for bit (about 6 degrees of reach on GRS80)
};

/// Grid coordinates, metres.
struct Projected {
    double easting;  ///< metres
    double northing;  ///< metres
    /// Fields compared as doubles (so NaN is never equal, and -0 equals 0).
    /// @param[in] other the value to compare with
    /// @return whether every field is equal
    bool operator==(const Projected& other) const { return easting == other.easting && northing == other.northing; }
    /// @param[in] other the value to compare with
    /// @return whether a field differs
    bool operator!=(const Projected& other) const { return !(*this == other); }
};

/// Grid coordinates (metres) with the meridian convergence (degrees) and the
/// point scale (a plain ratio) at the point.
struct ProjectedWithScale {
    double easting;  ///< metres
    double northing;  ///< metres
    double convergence;  ///< meridian convergence, degrees
    double scale;  ///< point scale, a plain ratio
    /// Fields compared as doubles (so NaN is never equal, and -0 equals 0).
    /// @param[in] other the value to compare with
    /// @return whether every field is equal
    bool operator==(const ProjectedWithScale& other) const
    {
        return easting == other.easting && northing == other.northing && convergence == other.convergence &&
               scale == other.scale;
    }
    /// @param[in] other the value to compare with
    /// @return whether a field differs
    bool operator!=(const ProjectedWithScale& other) const { return !(*this == other); }
};

/// Latitude and longitude, degrees.
struct Geographic {
    double latitude;  ///< latitude, degrees
    double longitude;  ///< longitude, degrees
    /// Fields compared as doubles (so NaN is never equal, and -0 equals 0).
    /// @param[in] other the value to compare with
    /// @return whether every field is equal
    bool operator==(const Geographic& other) const
    {
        return latitude == other.latitude && longitude == other.longitude;
    }
    /// @param[in] other the value to compare with
    /// @return whether a field differs
    bool operator!=(const Geographic& other) const { return !(*this == other); }
};

/// Latitude and longitude (degrees) with the meridian convergence (degrees)
/// and the point scale at the point.
struct GeographicWithScale {
    double latitude;  ///< latitude, degrees
    double longitude;  ///< longitude, degrees
    double convergence;  ///< meridian convergence, degrees
    double scale;  ///< point scale, a plain ratio
    /// Fields compared as doubles (so NaN is never equal, and -0 equals 0).
    /// @param[in] other the value to compare with
    /// @return whether every field is equal
    bool operator==(const GeographicWithScale& other) const
    {
        return latitude == other.latitude && longitude == other.longitude && convergence == other.convergence &&
               scale == other.scale;
    }
    /// @param[in] other the value to compare with
    /// @return whether a field differs
    bool operator!=(const GeographicWithScale& other) const { return !(*this == other); }
};

/// The axes of a Transverse Mercator grid.
enum class TmAxes {
    EastNorth,  ///< easting and northing (the usual grids)
    WestSouth,  ///< westing and southing: both axes turned round about the false origin (South Orientated, as in
                ///< southern Africa); Projected::easting then holds the westing and northing the southing
};

/// A Transverse Mercator grid on an ellipsoid.
class TERVALA_API TransverseMercator {
public:
    /// @param[in] ellipsoid the ellipsoid of the geodetic coordinates.
    /// @param[in] latitudeOfOrigin degrees, in [-90, 90].
    /// @param[in] centralMeridian degrees, finite (any value; it is reduced
    ///   to (-180, 180] when stored).
    /// @param[in] falseNorthing metres, finite.
    /// @param[in] falseEasting metres, finite.
    /// @param[in] scaleFactor central scale factor k0, finite and > 0.
    /// @param[in] method the series (Kruger unless given).
    /// @param[in] axes EastNorth (the default) or WestSouth: westing =
    ///   falseEasting - k0 x and southing = falseNorthing - k0 (y - y0),
    ///   where easting and northing would add them.
    /// @throw std::invalid_argument naming the parameter and its value.
    TransverseMercator(const Ellipsoid& ellipsoid, double latitudeOfOrigin, double centralMeridian,
                       double falseNorthing = 0.0, double falseEasting = 0.0, double scaleFactor = 1.0,
                       TmMethod method = TmMethod::Kruger, TmAxes axes = TmAxes::EastNorth);
    /// Copies share the derived constants; a move copies too, so no object is
    /// ever left without them.
    /// @param[in] other the projection copied
    TransverseMercator(const TransverseMercator& other) = default;
    /// Copy assignment (a move assignment copies too).
    /// @param[in] other the projection copied
    /// @return this projection
    TransverseMercator& operator=(const TransverseMercator& other) = default;

    /// Geodetic latitude and longitude (degrees) to easting and northing
    /// (metres). NaN outside the domain (see the top of this header).
    /// @param[in] latitude latitude, degrees
    /// @param[in] longitude longitude, degrees
    /// @return the point on the target side (NaN where stated above)
    Projected forward(double latitude, double longitude) const;
    /// forward() with the convergence and the point scale.
    /// @param[in] latitude latitude, degrees
    /// @param[in] longitude longitude, degrees
    /// @return easting, northing, convergence and scale; NaN outside the domain
    ProjectedWithScale forwardWithScale(double latitude, double longitude) const;

    /// Easting and northing (metres) to latitude and longitude (degrees,
    /// longitude in (-180, 180]). NaN outside the domain.
    /// @param[in] easting easting, metres
    /// @param[in] northing northing, metres
    /// @return the point on the source side (NaN where stated above)
    Geographic inverse(double easting, double northing) const;
    /// inverse() with the convergence and the point scale.
    /// @param[in] easting easting, metres
    /// @param[in] northing northing, metres
    /// @return latitude, longitude, convergence and scale; NaN outside the domain
    GeographicWithScale inverseWithScale(double easting, double northing) const;

    /// The ellipsoid of the geodetic coordinates.
    /// @return The ellipsoid of the geodetic coordinates.
    const Ellipsoid& ellipsoid() const { return ellipsoid_; }
    /// Latitude of origin, degrees, as given.
    /// @return Latitude of origin, degrees, as given.
    double latitudeOfOrigin() const { return latitudeOfOrigin_; }
    /// The central meridian reduced to (-180, 180], degrees.
    /// @return The central meridian reduced to (-180, 180], degrees.
    double centralMeridian() const { return centralMeridian_; }
    /// False northing, metres.
    /// @return False northing, metres.
    double falseNorthing() const { return falseNorthing_; }
    /// False easting, metres.
    /// @return False easting, metres.
    double falseEasting() const { return falseEasting_; }
    /// Central scale factor k0.
    /// @return Central scale factor k0.
    double scaleFactor() const { return scaleFactor_; }
    /// Largest distance from the central meridian (degrees of longitude)
    /// that forward accepts at any latitude (with Legacy: at the equator).
    /// @return Largest distance from the central meridian (degrees of longitude)
    double maxOffset() const { return maxOffset_; }
    /// Largest distance from the central meridian (degrees of longitude)
    /// that forward accepts at this latitude (degrees).
    /// @param[in] latitude latitude, degrees
    /// @return degrees of longitude; NaN for a latitude outside [-90, 90]
    double maxOffsetAt(double latitude) const;
    /// The series this grid evaluates.
    /// @return Kruger or Legacy
    TmMethod method() const { return method_; }
    /// The grid's axes.
    /// @return EastNorth or WestSouth
    TmAxes axes() const { return axes_; }

    /// Same ellipsoid (a and 1/f), method, axes and the same defining values
    /// as the accessors return them (the central meridian after its reduction).
    /// @param[in] other the value to compare with
    /// @return whether both project every point to the same doubles
    bool operator==(const TransverseMercator& other) const
    {
        return ellipsoid_ == other.ellipsoid_ && latitudeOfOrigin_ == other.latitudeOfOrigin_ &&
               centralMeridian_ == other.centralMeridian_ && falseNorthing_ == other.falseNorthing_ &&
               falseEasting_ == other.falseEasting_ && scaleFactor_ == other.scaleFactor_ &&
               method_ == other.method_ && axes_ == other.axes_;
    }
    /// @param[in] other the value to compare with
    /// @return the negation of operator==
    bool operator!=(const TransverseMercator& other) const { return !(*this == other); }

private:
    friend struct ModernAccess;
    double krugerScale() const { return axes_ == TmAxes::WestSouth ? -scaleFactor_ : scaleFactor_; }
    Ellipsoid ellipsoid_;
    TmMethod method_;
    TmAxes axes_;
    double latitudeOfOrigin_;
    double centralMeridian_;
    double falseNorthing_;
    double falseEasting_;
    double scaleFactor_;
    double maxOffset_;
    double originArc_;         // meridian arc to the latitude of origin, metres
    double centralRadians_;    // central meridian, radians
    double krugerOrigin_;      // Kruger: northing of the latitude of origin at unit scale, metres
    std::shared_ptr<const EllipsoidConstants> constants_;  // derived once, shared by copies
    std::shared_ptr<const KrugerSeries> kruger_;           // Kruger only, shared by copies
};

/// A UTM zone: Transverse Mercator (either method) with scale 0.9996 on the zone's central
/// meridian 6 zone - 183 degrees, false easting 500 km, false northing 0 in
/// the northern and 10000 km in the southern hemisphere. The zone is the
/// caller's choice: points of a neighbouring zone project as long as they lie
/// within maxOffset() of the central meridian. Latitudes from 80 S to 84 N.
class TERVALA_API Utm {
public:
    /// @param[in] zone 1 to 60.
    /// @param[in] south true for the southern false northing (10000 km).
    /// @param[in] ellipsoid WGS84 unless given.
    /// @param[in] method the series (Kruger unless given).
    /// @throw std::invalid_argument naming the zone when it is not 1..60.
    explicit Utm(int zone, bool south = false, const Ellipsoid& ellipsoid = Ellipsoid::wgs84(),
                 TmMethod method = TmMethod::Kruger);
    /// Copies share the derived constants; a move copies too.
    /// @param[in] other the zone copied
    Utm(const Utm& other) = default;
    /// Copy assignment (a move assignment copies too).
    /// @param[in] other the zone copied
    /// @return this zone
    Utm& operator=(const Utm& other) = default;

    /// The zone that contains the longitude (degrees, any finite value;
    /// zones are 6 degrees wide from 180 W, 180 E falls in zone 1). The
    /// Norway and Svalbard exceptions are not applied.
    /// @throw std::invalid_argument when the longitude is not finite.
    /// @param[in] longitude longitude, degrees
    /// @param[in] south true for the southern false northing (10000 km)
    /// @param[in] ellipsoid the ellipsoid (WGS84 unless given)
    /// @param[in] method the series (Kruger unless given)
    /// @return the UTM zone of the longitude
    static Utm forLongitude(double longitude, bool south = false, const Ellipsoid& ellipsoid = Ellipsoid::wgs84(),
                            TmMethod method = TmMethod::Kruger);

    /// Latitude and longitude (degrees) to easting and northing (metres).
    /// NaN outside 80 S .. 84 N and the rest of the domain (see the top of
    /// this header).
    /// @param[in] latitude latitude, degrees
    /// @param[in] longitude longitude, degrees
    /// @return the point on the target side (NaN where stated above)
    Projected forward(double latitude, double longitude) const;
    /// forward() with the convergence and the point scale.
    /// @param[in] latitude latitude, degrees
    /// @param[in] longitude longitude, degrees
    /// @return easting, northing, convergence and scale; NaN outside the domain
    ProjectedWithScale forwardWithScale(double latitude, double longitude) const;
    /// Easting and northing (metres) to latitude and longitude (degrees,
    /// longitude in (-180, 180]). NaN for a result outside 80 S .. 84 N or
    /// beyond maxOffset() (easting and northing swapped, for example).
    /// @param[in] easting easting, metres
    /// @param[in] northing northing, metres
    /// @return the point on the source side (NaN where stated above)
    Geographic inverse(double easting, double northing) const;
    /// inverse() with the convergence and the point scale.
    /// @param[in] easting easting, metres
    /// @param[in] northing northing, metres
    /// @return latitude, longitude, convergence and scale; NaN outside the domain
    GeographicWithScale inverseWithScale(double easting, double northing) const;

    /// The zone, 1 to 60.
    /// @return The zone, 1 to 60.
    int zone() const { return zone_; }
    /// Whether the southern false northing (10000 km) applies.
    /// @return Whether the southern false northing (10000 km) applies.
    bool south() const { return south_; }
    /// The ellipsoid of the geodetic coordinates.
    /// @return The ellipsoid of the geodetic coordinates.
    const Ellipsoid& ellipsoid() const { return ellipsoid_; }
    /// 6 zone - 183, degrees.
    /// @return 6 zone - 183, degrees.
    double centralMeridian() const { return centralMeridian_; }
    /// Largest distance from the central meridian (degrees of longitude)
    /// that forward accepts at any latitude (with Legacy: at the equator).
    /// @return Largest distance from the central meridian (degrees of longitude)
    double maxOffset() const { return maxOffset_; }
    /// Largest distance from the central meridian (degrees of longitude)
    /// that forward accepts at this latitude (degrees).
    /// @param[in] latitude latitude, degrees
    /// @return degrees of longitude; NaN for a latitude outside [-90, 90]
    double maxOffsetAt(double latitude) const;
    /// The series this zone evaluates.
    /// @return Kruger or Legacy
    TmMethod method() const { return method_; }

    /// Same zone, hemisphere, ellipsoid (a and 1/f) and method.
    /// @param[in] other the value to compare with
    /// @return whether both project every point to the same doubles
    bool operator==(const Utm& other) const
    {
        return zone_ == other.zone_ && south_ == other.south_ && ellipsoid_ == other.ellipsoid_ &&
               method_ == other.method_;
    }
    /// @param[in] other the value to compare with
    /// @return the negation of operator==
    bool operator!=(const Utm& other) const { return !(*this == other); }

private:
    friend struct ModernAccess;
    Ellipsoid ellipsoid_;
    TmMethod method_;
    int zone_;
    bool south_;
    double maxOffset_;
    double centralMeridian_;   // 6 zone - 183, degrees
    double centralRadians_;
    double footDivisor_;       // northing per radian of rectified latitude
    std::shared_ptr<const EllipsoidConstants> constants_;  // derived once, shared by copies
    std::shared_ptr<const KrugerSeries> kruger_;           // Kruger only, shared by copies
};

} // namespace tervala

#endif
