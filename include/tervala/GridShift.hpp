// Horizontal datum shifts from NTv2 grid files (.gsb): Canada's format, used
// for Germany's BeTA2007, France's NTF to RGF93, Switzerland's CHENyx06, New
// Zealand's NZGD49 to NZGD2000, Australia's and others.
//
// A file holds one or more subgrids, finer ones nested in coarser ones; the
// shift at a point is interpolated bilinearly in the finest subgrid that
// contains it (edges included, and 1e-9 degrees beyond them so that an edge
// typed in decimal degrees counts), from the four nodes of its cell. Shifts are
// added to the source latitude and longitude; the height passes unchanged.
// Points outside every subgrid are refused (NaN), never passed through.
// The inverse is found by iteration to 1e-12 degrees. Both byte orders are
// read; a file whose header, counts or values are inconsistent is refused
// when it is loaded.
#ifndef TERVALA_GRIDSHIFT_HPP
#define TERVALA_GRIDSHIFT_HPP

#include <cstddef>
#include <memory>
#include <string>

#include "Datum.hpp"
#include "Ellipsoid.hpp"
#include "Export.hpp"

namespace tervala {

/// An NTv2 horizontal shift grid, loaded once and immutable (copies share
/// the data; safe to use from many threads).
class TERVALA_API GridShift {
public:
    /// @param[in] path the .gsb file.
    /// @throw std::runtime_error naming the path and the reason (missing, not
    ///   a regular file, truncated, a header or counts that cannot describe a
    ///   grid, a non-finite shift, a PARENT that names no subgrid);
    ///   std::bad_alloc when memory runs out.
    explicit GridShift(const std::string& path);

    /// Source to target: latitude and longitude (degrees; longitude in any
    /// turn, east positive) plus the interpolated shifts, longitude of the
    /// result in the turn of the input. NaN (all three) outside the grid
    /// and for non-finite input.
    /// @param[in] point the point on the source datum
    /// @return the point on the target datum, or NaN outside the grid
    Geodetic forward(const Geodetic& point) const;
    /// Target to source: the point whose forward() is `point`, found by
    /// fixed-point iteration (at most 20 steps) to 1e-12 degrees. The target
    /// point may lie up to 60 arc-seconds outside the grid (an edge point
    /// shifted outward); NaN when the solution lies outside the grid, when
    /// the target point lies farther out, or without convergence.
    /// @param[in] point the point on the target datum
    /// @return the point on the source datum, or NaN where stated
    Geodetic inverse(const Geodetic& point) const;
    /// The shifts at a source point: latitude and longitude (east positive),
    /// degrees; height 0. NaN outside the grid.
    /// @param[in] latitude latitude, degrees
    /// @param[in] longitude longitude, degrees
    /// @return the shifts, degrees
    GeodeticShift shift(double latitude, double longitude) const;
    /// Whether a subgrid contains the point (degrees).
    /// @param[in] latitude latitude, degrees
    /// @param[in] longitude longitude, degrees
    /// @return true inside the grid, edges included
    bool contains(double latitude, double longitude) const;
    /// The name of the finest subgrid containing the point, empty outside.
    /// @param[in] latitude latitude, degrees
    /// @param[in] longitude longitude, degrees
    /// @return the SUB_NAME of that subgrid
    std::string subgridAt(double latitude, double longitude) const;

    /// The path the grid was read from, as given.
    /// @return the path
    const std::string& path() const;
    /// The number of subgrids in the file.
    /// @return the number of subgrids
    std::size_t subgridCount() const;
    /// The source and target system names of the file's header (SYSTEM_F,
    /// SYSTEM_T), trailing blanks removed.
    /// @return the source system name
    const std::string& sourceSystem() const;
    /// @return the target system name
    const std::string& targetSystem() const;
    /// Whether the file was stored big-endian.
    /// @return true for a big-endian file
    bool bigEndian() const;

    /// Read from the same path (as given), or copies of one grid. The
    /// shifts are not compared.
    /// @param[in] other the grid to compare with
    /// @return whether both name the same grid file
    bool operator==(const GridShift& other) const;
    /// @param[in] other the grid to compare with
    /// @return the negation of operator==
    bool operator!=(const GridShift& other) const { return !(*this == other); }

private:
    struct Data;
    std::shared_ptr<const Data> data_;
};

} // namespace tervala

#endif
