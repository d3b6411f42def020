// The time-dependent (fifteen-parameter) Helmert transformation between
// dynamic reference frames such as the ITRF realisations: the seven
// parameters of Helmert7, each changing linearly with time,
//   p(t) = p + dp (t - tRef),
// applied at the coordinate epoch t (decimal years) as X' = m(t) R(t) X + T(t).
// Rates and a pure rotation rate also describe plate motion: the ITRF2014
// plate-motion model is such a set with only rotation rates.
//
// Units: translations in metres, scale in ppm, rotations in arc-seconds;
// their rates per year. Conventions as Helmert7 (Convention). Rotations
// either as the exact product R3(rz) R2(ry) R1(rx) (the angles negated for
// position vector) or in the small-angle form that publishers of ITRF
// parameters use, R = [[1, rz, -ry], [-rz, 1, rx], [ry, -rx, 1]]
// (coordinate frame; its transpose for position vector). For the sizes of
// published ITRF rotations (milli-arc-seconds) the two differ by far less
// than a micrometre.
#ifndef TERVALA_HELMERT15_HPP
#define TERVALA_HELMERT15_HPP

#include "Datum.hpp"
#include "Ellipsoid.hpp"
#include "Export.hpp"

namespace tervala {

// The form of the rotation matrix is RotationForm (Datum.hpp), also named
// Rotations.

/// Seven values in the order of Helmert7: tx, ty, tz (m), s (ppm), rx, ry,
/// rz (arc-seconds), or their rates per year.
struct HelmertValues {
    double tx;  ///< translation x, metres (per year for a rate)
    double ty;  ///< translation y, metres
    double tz;  ///< translation z, metres
    double s;   ///< scale correction, ppm
    double rx;  ///< rotation about x, arc-seconds
    double ry;  ///< rotation about y, arc-seconds
    double rz;  ///< rotation about z, arc-seconds
    /// Fields compared as doubles (NaN never equal, -0 equals 0).
    /// @param[in] o the values to compare with
    /// @return whether all seven are equal
    bool operator==(const HelmertValues& o) const
    {
        return tx == o.tx && ty == o.ty && tz == o.tz && s == o.s && rx == o.rx && ry == o.ry && rz == o.rz;
    }
    /// @param[in] o the values to compare with
    /// @return whether one of the seven differs
    bool operator!=(const HelmertValues& o) const { return !(*this == o); }
};

/// The fifteen-parameter Helmert transformation (seven parameters, their
/// rates and a reference epoch).
class TERVALA_API Helmert15 {
public:
    /// @param[in] values tx, ty, tz (m), s (ppm), rx, ry, rz (arc-seconds) at
    ///   the reference epoch; finite, |r| <= 648000.
    /// @param[in] rates their rates: m/year, ppm/year, arc-seconds/year;
    ///   finite.
    /// @param[in] tRef the reference epoch, decimal years, finite.
    /// @param[in] convention how the rotations (and their rates) are read.
    /// @param[in] rotations the form of the rotation matrix.
    /// @throw std::invalid_argument naming a value that is not finite or out
    ///   of range.
    Helmert15(const HelmertValues& values, const HelmertValues& rates, double tRef, Convention convention,
              Rotations rotations = Rotations::Exact);

    /// Source to target at the coordinate epoch (decimal years). NaN (all
    /// three) for a non-finite point or epoch, or where the parameters at
    /// that epoch leave their ranges (scale factor not positive).
    /// @param[in] point the point, metres
    /// @param[in] epoch the coordinate epoch, decimal years
    /// @return the point on the target side
    Geocentric forward(const Geocentric& point, double epoch) const;
    /// Target to source at the coordinate epoch: the inverse of the matrix
    /// of forward() at that epoch (its transpose for exact rotations).
    /// @param[in] point the point, metres
    /// @param[in] epoch the coordinate epoch, decimal years
    /// @return the point on the source side (NaN as for forward)
    Geocentric inverse(const Geocentric& point, double epoch) const;
    /// The seven parameters at an epoch: values + rates (epoch - tRef).
    /// @param[in] epoch decimal years
    /// @return the parameters at that epoch
    HelmertValues at(double epoch) const;

    /// @return the values at the reference epoch
    const HelmertValues& values() const { return values_; }
    /// @return the rates per year
    const HelmertValues& rates() const { return rates_; }
    /// @return the reference epoch, decimal years
    double tRef() const { return tRef_; }
    /// @return how the rotations are read
    Convention convention() const { return convention_; }
    /// @return the form of the rotation matrix
    Rotations rotations() const { return rotations_; }
    /// Same values, rates, reference epoch, convention and rotation form.
    /// @param[in] o the set to compare with
    /// @return whether every defining value is equal
    bool operator==(const Helmert15& o) const
    {
        return values_ == o.values_ && rates_ == o.rates_ && tRef_ == o.tRef_ && convention_ == o.convention_ &&
               rotations_ == o.rotations_;
    }
    /// @param[in] o the set to compare with
    /// @return the negation of operator==
    bool operator!=(const Helmert15& o) const { return !(*this == o); }

private:
    HelmertValues values_, rates_;
    double tRef_;
    Convention convention_;
    Rotations rotations_;
};

/// A point moved between epochs with a constant velocity: X + v (to - from).
/// @param[in] point the point at epoch `from`, metres
/// @param[in] velocity metres per year
/// @param[in] from,to epochs, decimal years
/// @return the point at epoch `to` (NaN for non-finite input)
TERVALA_API Geocentric moveByVelocity(const Geocentric& point, const Geocentric& velocity, double from, double to);

/// A point moved between epochs by a plate-motion model given as rates (the
/// ITRF2014 model: rotation rates only): the transformation whose parameters
/// are the model's rates times (to - from), in the model's convention and
/// rotation form. The model's values and reference epoch do not enter.
/// @param[in] plate the plate's rotation-rate set
/// @param[in] point the point at epoch `from`, metres
/// @param[in] from,to epochs, decimal years
/// @return the point at epoch `to` (NaN for non-finite input)
TERVALA_API Geocentric moveOnPlate(const Helmert15& plate, const Geocentric& point, double from, double to);

} // namespace tervala

#endif
