// Datum and local transformations as immutable value types: the seven-
// parameter similarity (Helmert7, about the geocentre; MolodenskyBadekas,
// about an origin), the abridged Molodensky shift between two ellipsoids,
// the four-parameter 2D Helmert transformation and the inclined height plane.
//
// Units: translations in metres, scale corrections s in parts per million
// (factor m = 1 + s 1e-6), rotations in arc-seconds. The rotation matrix is
// either the exact product R3(rz) R2(ry) R1(rx) or its small-angle form, as
// the parameter set states (RotationForm).
#ifndef TERVALA_DATUM_HPP
#define TERVALA_DATUM_HPP

#include "Ellipsoid.hpp"
#include "Export.hpp"

namespace tervala {

/// The sign convention of the three rotations of a seven-parameter set.
/// The two conventions differ only in the signs of rx, ry and rz; check the
/// source of published parameters, as the wrong choice moves points by
/// metres. For small angles and a point X:
///   PositionVector:  X' ~ X + t + s X + (r x X)   (rotates the point;
///                    EPSG 1033, ISO 19111 "position vector")
///   CoordinateFrame: X' ~ X + t + s X - (r x X)   (rotates the axes;
///                    EPSG 1032)
enum class Convention { PositionVector, CoordinateFrame };

/// Which rotation matrix a seven-parameter set is meant for. A parameter set
/// is estimated with one matrix and gives other coordinates with the other:
/// at the Earth's surface the two differ by about 0.3 mm for rotations of
/// 1 arc-second, 6.8 mm at 5 and 27 mm at 10 (docs/conventions.md).
///   exact:        R = R3(rz) R2(ry) R1(rx), a true rotation (PROJ's +exact;
///                 what this library's fits estimate).
///   small_angle:  R = I + [[0, rz, -ry], [-rz, 0, rx], [ry, -rx, 0]] in the
///                 coordinate-frame convention, radians (its transpose for
///                 position vector): the matrix of EPSG methods 1032/1033
///                 and of PROJ without +exact, for which published
///                 parameter sets are meant.
/// Each form has two spellings of one value: exact and Exact, small_angle and
/// SmallAngle (the spelling of Helmert15, whose Rotations is this type).
enum class RotationForm {
    exact,                     ///< R3(rz) R2(ry) R1(rx), no approximation
    small_angle,               ///< the first-order matrix, as PROJ's helmert without +exact
    Exact = exact,             ///< the same value as exact
    SmallAngle = small_angle,  ///< the same value as small_angle
};
/// The time-dependent Helmert's name for RotationForm: the same type.
using Rotations = RotationForm;

/// The seven-parameter (Bursa-Wolf) similarity about the geocentre:
/// X' = m R X + t.
class TERVALA_API Helmert7 {
public:
    /// @param[in] tx,ty,tz translations, metres.
    /// @param[in] s scale correction, ppm (m = 1 + s 1e-6 > 0, so s > -1e6).
    /// @param[in] rx,ry,rz rotations, arc-seconds, in `convention`;
    ///   |r| <= 648000 (180 degrees).
    /// @param[in] convention how the rotations are to be read; there is no
    ///   default on purpose.
    /// @param[in] rotations the rotation matrix the set is meant for;
    ///   RotationForm::exact unless given (what this library's fits estimate;
    ///   published EPSG sets are small_angle).
    /// @throw std::invalid_argument naming the parameter when a value is not
    ///   finite or out of range.
    Helmert7(double tx, double ty, double tz, double s, double rx, double ry, double rz, Convention convention,
             RotationForm rotations = RotationForm::exact);

    /// Source to target.
    /// @param[in] point the point
    /// @return the point on the target side (NaN where stated above)
    Geocentric forward(const Geocentric& point) const;
    /// Target to source: Inv(R) ((X' - t) / m), the exact inverse of forward
    /// up to rounding.
    /// @param[in] point the point
    /// @return the point on the source side (NaN where stated above)
    Geocentric inverse(const Geocentric& point) const;

    /// Translations, metres.
    /// @return Translations, metres.
    double tx() const { return tx_; }
    /// @return ty, metres.
    double ty() const { return ty_; }
    /// @return tz, metres.
    double tz() const { return tz_; }
    /// Scale correction, ppm.
    /// @return Scale correction, ppm.
    double s() const { return s_; }
    /// Rotations in convention(), arc-seconds.
    /// @return Rotations in convention(), arc-seconds.
    double rx() const { return rx_; }
    /// @return ry, arc-seconds.
    double ry() const { return ry_; }
    /// @return rz, arc-seconds.
    double rz() const { return rz_; }
    /// How rx, ry and rz are to be read.
    /// @return How rx, ry and rz are to be read.
    Convention convention() const { return convention_; }
    /// The rotation matrix the parameters are meant for.
    /// @return The rotation matrix the parameters are meant for.
    RotationForm rotations() const { return rotations_; }
    /// The same transformation with its rotations expressed in `convention`
    /// (the rotations negated when it differs; the form is kept).
    /// @param[in] convention the rotation convention wanted
    /// @return the same transformation in the given convention
    Helmert7 in(Convention convention) const;

    /// The same seven values in the same convention and rotation form. The
    /// same transformation stated in the other convention (in()) compares
    /// unequal: compare a.in(b.convention()) with b for that.
    /// @param[in] other the value to compare with
    /// @return whether the two are the same transformation as constructed
    bool operator==(const Helmert7& other) const
    {
        return tx_ == other.tx_ && ty_ == other.ty_ && tz_ == other.tz_ && s_ == other.s_ && rx_ == other.rx_ &&
               ry_ == other.ry_ && rz_ == other.rz_ && convention_ == other.convention_ &&
               rotations_ == other.rotations_;
    }
    /// @param[in] other the value to compare with
    /// @return the negation of operator==
    bool operator!=(const Helmert7& other) const { return !(*this == other); }

private:
    friend struct ModernAccess;
    double tx_, ty_, tz_, s_, rx_, ry_, rz_;
    Convention convention_;
    RotationForm rotations_;
    double m_;           // 1 + s 1e-6
    double r_[3][3];     // R in the coordinate-frame convention
    double rInv_[3][3];  // its inverse as a general matrix
};

/// The seven-parameter similarity about an origin X0 (usually the centroid
/// of the network): X' = m R (X - X0) + t + X0.
class TERVALA_API MolodenskyBadekas {
public:
    /// @param[in] tx,ty,tz translations, metres.
    /// @param[in] s scale correction, ppm (> -1e6).
    /// @param[in] rx,ry,rz rotations, arc-seconds, in `convention`;
    ///   |r| <= 648000.
    /// @param[in] convention how the rotations are to be read.
    /// @param[in] origin the origin X0 of rotation and scale, metres, finite.
    /// @param[in] rotations the rotation matrix the set is meant for, as for
    ///   Helmert7 (exact unless given).
    /// @throw std::invalid_argument naming the parameter.
    MolodenskyBadekas(double tx, double ty, double tz, double s, double rx, double ry, double rz,
                      Convention convention, const Geocentric& origin,
                      RotationForm rotations = RotationForm::exact);

    /// Source to target.
    /// @param[in] point the point
    /// @return the point on the target side (NaN where stated above)
    Geocentric forward(const Geocentric& point) const;
    /// Exact inverse: Inv(R) ((X' - X0 - t) / m) + X0.
    /// @param[in] point the point
    /// @return the point on the source side (NaN where stated above)
    Geocentric inverse(const Geocentric& point) const;

    /// The parameters without the origin, as a Helmert7 (the same
    /// transformation only when the origin is the geocentre).
    /// @return The seven parameters as a Helmert7.
    const Helmert7& parameters() const { return parameters_; }
    /// The origin X0 of rotation and scale, metres.
    /// @return The origin X0 of rotation and scale, metres.
    const Geocentric& origin() const { return origin_; }
    /// The rotation matrix the parameters are meant for.
    /// @return The rotation matrix the parameters are meant for.
    RotationForm rotations() const { return parameters_.rotations(); }
    /// The same transformation with its rotations expressed in `convention`.
    /// @param[in] convention the rotation convention wanted
    /// @return the same transformation in the given convention
    MolodenskyBadekas in(Convention convention) const;

    /// The same seven values in the same convention and rotation form about
    /// the same origin.
    /// @param[in] other the value to compare with
    /// @return whether the two are the same transformation as constructed
    bool operator==(const MolodenskyBadekas& other) const
    {
        return parameters_ == other.parameters_ && origin_ == other.origin_;
    }
    /// @param[in] other the value to compare with
    /// @return the negation of operator==
    bool operator!=(const MolodenskyBadekas& other) const { return !(*this == other); }

private:
    friend struct ModernAccess;
    Helmert7 parameters_;
    Geocentric origin_;
};

/// Shifts of latitude, longitude (degrees) and ellipsoidal height (metres).
struct GeodeticShift {
    double latitude;  ///< latitude, degrees
    double longitude;  ///< longitude, degrees
    double height;  ///< height, metres
    /// Fields compared as doubles (so NaN is never equal, and -0 equals 0).
    /// @param[in] other the value to compare with
    /// @return whether every field is equal
    bool operator==(const GeodeticShift& other) const
    {
        return latitude == other.latitude && longitude == other.longitude && height == other.height;
    }
    /// @param[in] other the value to compare with
    /// @return whether a field differs
    bool operator!=(const GeodeticShift& other) const { return !(*this == other); }
};

/// The abridged Molodensky transformation (DMA TR 8350.2) between a source
/// and a target ellipsoid for a geocentric shift (dx, dy, dz) of the origin.
/// Its accuracy is that of the abridged formulas (metre level for typical
/// datum shifts).
class TERVALA_API AbridgedMolodensky {
public:
    /// @param[in] source,target the ellipsoids; da and df are target minus
    ///   source.
    /// @param[in] dx,dy,dz shift of the origin, metres, finite.
    /// @throw std::invalid_argument naming a non-finite shift.
    AbridgedMolodensky(const Ellipsoid& source, const Ellipsoid& target, double dx, double dy, double dz);

    /// The shifts at a point of the source datum (degrees; the height does
    /// not enter). NaN (all three) for a latitude outside (-90, 90) (at the
    /// poles the longitude shift is undefined) or non-finite input.
    /// @param[in] latitude latitude, degrees
    /// @param[in] longitude longitude, degrees
    /// @return the shifts of latitude, longitude (degrees) and height (metres); NaN outside (-90, 90)
    GeodeticShift shift(double latitude, double longitude) const;
    /// The point moved to the target datum: latitude, longitude (reduced to
    /// (-180, 180]) and height plus the shifts. NaN as for shift().
    /// @param[in] point the point
    /// @return the point on the target side (NaN where stated above)
    Geodetic forward(const Geodetic& point) const;
    /// The transformation back: target to source with the negated shift.
    /// @return the reverse transformation
    AbridgedMolodensky reversed() const;

    /// The source and target ellipsoids.
    /// @return The source and target ellipsoids.
    const Ellipsoid& source() const { return source_; }
    /// @return The target ellipsoid.
    const Ellipsoid& target() const { return target_; }
    /// Shift of the origin, metres.
    /// @return Shift of the origin, metres.
    double dx() const { return dx_; }
    /// @return dy, metres.
    double dy() const { return dy_; }
    /// @return dz, metres.
    double dz() const { return dz_; }

    /// Same ellipsoids (a and 1/f) and origin shift.
    /// @param[in] other the value to compare with
    /// @return whether the two are the same transformation as constructed
    bool operator==(const AbridgedMolodensky& other) const
    {
        return source_ == other.source_ && target_ == other.target_ && dx_ == other.dx_ && dy_ == other.dy_ &&
               dz_ == other.dz_;
    }
    /// @param[in] other the value to compare with
    /// @return the negation of operator==
    bool operator!=(const AbridgedMolodensky& other) const { return !(*this == other); }

private:
    friend struct ModernAccess;
    Ellipsoid source_;
    Ellipsoid target_;
    double dx_, dy_, dz_;
};

/// Plane coordinates of a local system: the first and second coordinate
/// (for example easting and northing, or x and y), metres.
struct PlaneCoordinates {
    double first;  ///< first coordinate, metres
    double second;  ///< second coordinate, metres
    /// Fields compared as doubles (so NaN is never equal, and -0 equals 0).
    /// @param[in] other the value to compare with
    /// @return whether every field is equal
    bool operator==(const PlaneCoordinates& other) const { return first == other.first && second == other.second; }
    /// @param[in] other the value to compare with
    /// @return whether a field differs
    bool operator!=(const PlaneCoordinates& other) const { return !(*this == other); }
};

/// The four-parameter 2D Helmert (similarity) transformation about an
/// origin (x0, y0), with m = 1 + scale 1e-6 and rotation r:
///   first'  = m (cos r (x - x0) - sin r (y - y0)) + t1 + x0
///   second' = m (sin r (x - x0) + cos r (y - y0)) + t2 + y0
/// A positive rotation turns the first axis toward the second.
class TERVALA_API Helmert2D {
public:
    /// @param[in] t1,t2 translations of the first and second coordinate,
    ///   metres.
    /// @param[in] scale scale correction, ppm, > -1e6.
    /// @param[in] rotation arc-seconds, |rotation| <= 648000.
    /// @param[in] origin (x0, y0), metres; (0, 0) unless given.
    /// @throw std::invalid_argument naming a non-finite or out-of-range value.
    Helmert2D(double t1, double t2, double scale, double rotation, const PlaneCoordinates& origin = {0.0, 0.0});

    /// Source to target coordinates, metres.
    /// @param[in] point the point
    /// @return the point on the target side (NaN where stated above)
    PlaneCoordinates forward(const PlaneCoordinates& point) const;
    /// Exact inverse of forward up to rounding.
    /// @param[in] point the point
    /// @return the point on the source side (NaN where stated above)
    PlaneCoordinates inverse(const PlaneCoordinates& point) const;

    /// Translations of the first and second coordinate, metres.
    /// @return Translations of the first and second coordinate, metres.
    double t1() const { return t1_; }
    /// @return t2, metres.
    double t2() const { return t2_; }
    /// Scale correction, ppm.
    /// @return Scale correction, ppm.
    double scale() const { return scale_; }
    /// Rotation, arc-seconds.
    /// @return Rotation, arc-seconds.
    double rotation() const { return rotation_; }
    /// The origin (x0, y0), metres.
    /// @return The origin (x0, y0), metres.
    const PlaneCoordinates& origin() const { return origin_; }

    /// Same four parameters about the same origin.
    /// @param[in] other the value to compare with
    /// @return whether the two are the same transformation as constructed
    bool operator==(const Helmert2D& other) const
    {
        return t1_ == other.t1_ && t2_ == other.t2_ && scale_ == other.scale_ && rotation_ == other.rotation_ &&
               origin_ == other.origin_;
    }
    /// @param[in] other the value to compare with
    /// @return the negation of operator==
    bool operator!=(const Helmert2D& other) const { return !(*this == other); }

private:
    friend struct ModernAccess;
    double t1_, t2_, scale_, rotation_;
    PlaneCoordinates origin_;
    double m_, cos_, sin_;  // 1 + scale 1e-6, cos and sin of the rotation
};

/// The inclined height plane about an origin (x0, y0):
///   h' = h + slope1 (x - x0) + slope2 (y - y0) + shift.
class TERVALA_API HeightPlane {
public:
    /// @param[in] slope1,slope2 slopes along the first and second coordinate,
    ///   metre per metre.
    /// @param[in] shift metres.
    /// @param[in] origin (x0, y0), metres; (0, 0) unless given.
    /// @throw std::invalid_argument naming a non-finite value.
    HeightPlane(double slope1, double slope2, double shift, const PlaneCoordinates& origin = {0.0, 0.0});

    /// Source height h at plane position `position` to the target height.
    /// @param[in] position plane position (first, second), metres
    /// @param[in] height height, metres
    /// @return the point on the target side (NaN where stated above)
    double forward(const PlaneCoordinates& position, double height) const;
    /// Target height back to the source height.
    /// @param[in] position plane position (first, second), metres
    /// @param[in] height height, metres
    /// @return the point on the source side (NaN where stated above)
    double inverse(const PlaneCoordinates& position, double height) const;

    /// Slopes along the first and second coordinate, metre per metre.
    /// @return Slopes along the first and second coordinate, metre per metre.
    double slope1() const { return slope1_; }
    /// @return slope2, metre per metre.
    double slope2() const { return slope2_; }
    /// Shift, metres.
    /// @return the shifts of latitude, longitude (degrees) and height (metres); NaN outside (-90, 90)
    double shift() const { return shift_; }
    /// The origin (x0, y0), metres.
    /// @return The origin (x0, y0), metres.
    const PlaneCoordinates& origin() const { return origin_; }

    /// Same slopes and shift about the same origin.
    /// @param[in] other the value to compare with
    /// @return whether the two are the same transformation as constructed
    bool operator==(const HeightPlane& other) const
    {
        return slope1_ == other.slope1_ && slope2_ == other.slope2_ && shift_ == other.shift_ &&
               origin_ == other.origin_;
    }
    /// @param[in] other the value to compare with
    /// @return the negation of operator==
    bool operator!=(const HeightPlane& other) const { return !(*this == other); }

private:
    friend struct ModernAccess;
    double slope1_, slope2_, shift_;
    PlaneCoordinates origin_;
};

} // namespace tervala

#endif
