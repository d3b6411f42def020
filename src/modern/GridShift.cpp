// tervala::GridShift over datum/NtV2: degrees east at the edge, arc-seconds
// positive west inside, as the file stores them.
#include "tervala/GridShift.hpp"

#include <cmath>
#include <new>
#include <stdexcept>

#include "datum/NtV2.h"
#include "modern/ModernAccess.h"

namespace tervala {

using modern::kNaN;

struct GridShift::Data {
    std::string path;
    ntv2::Grid grid;
};

namespace {

constexpr double kInverseTolerance = 1e-12;  // degrees
constexpr int kInverseSteps = 20;
// The iterates of the inverse for a point near an edge may step outside the
// grid by about the change of the shift over the step; there the shift of
// the nearest edge point is used. The solution itself may lie outside by
// no more than the tolerance.
constexpr double kIterateReach = 60.0;               // arc-seconds
constexpr double kSolutionReach = 3600.0 * 1e-11;  // arc-seconds

// The shifts at (lat, lon) in degrees (longitude east); false outside the
// grid by more than `reach` arc-seconds.
bool shiftAt(const ntv2::Grid& grid, double lat, double lon, double& dLat, double& dLon, double reach = 0.0)
{
    double latS = lat * 3600.0;
    double lonW = -lon * 3600.0;
    const int k = ntv2::subgridAt(grid, latS, lonW, reach);
    if (k < 0)
        return false;
    double sLat, sLonW;
    ntv2::interpolate(grid.subgrids[static_cast<std::size_t>(k)], latS, lonW, sLat, sLonW);
    dLat = sLat / 3600.0;
    dLon = -sLonW / 3600.0;
    return true;
}

const Geodetic kNoPoint{kNaN, kNaN, kNaN};

} // namespace

GridShift::GridShift(const std::string& path)
{
    auto data = std::make_shared<Data>();
    const platform::LoadStatus status = ntv2::load(path, data->grid);
    if (!status.ok()) {
        if (status.problem == platform::LoadProblem::OutOfMemory)
            throw std::bad_alloc();
        throw std::runtime_error("NTv2 grid: " + status.message());
    }
    data->path = path;
    data_ = std::move(data);
}

Geodetic GridShift::forward(const Geodetic& p) const
{
    double dLat, dLon;
    if (!std::isfinite(p.height) || !shiftAt(data_->grid, p.latitude, p.longitude, dLat, dLon))
        return kNoPoint;
    return Geodetic{p.latitude + dLat, p.longitude + dLon, p.height};
}

Geodetic GridShift::inverse(const Geodetic& p) const
{
    double dLat, dLon;
    // The target point itself may lie just outside (a point on the grid's
    // edge shifted outward); what must lie inside is the solution.
    if (!std::isfinite(p.height) || !shiftAt(data_->grid, p.latitude, p.longitude, dLat, dLon, kIterateReach))
        return kNoPoint;
    // x = p - shift(x), solved by iteration from x0 = p - shift(p); the
    // shifts change little from cell to cell, so it converges in a few steps.
    double lat = p.latitude - dLat, lon = p.longitude - dLon;
    for (int step = 0; step < kInverseSteps; ++step) {
        if (!shiftAt(data_->grid, lat, lon, dLat, dLon, kIterateReach))
            return kNoPoint;
        const double rLat = lat + dLat - p.latitude, rLon = lon + dLon - p.longitude;
        lat -= rLat;
        lon -= rLon;
        if (std::fabs(rLat) <= kInverseTolerance && std::fabs(rLon) <= kInverseTolerance) {
            if (!shiftAt(data_->grid, lat, lon, dLat, dLon, kSolutionReach))
                return kNoPoint;
            return Geodetic{lat, lon, p.height};
        }
    }
    return kNoPoint;
}

GeodeticShift GridShift::shift(double latitude, double longitude) const
{
    double dLat, dLon;
    if (!shiftAt(data_->grid, latitude, longitude, dLat, dLon))
        return GeodeticShift{kNaN, kNaN, kNaN};
    return GeodeticShift{dLat, dLon, 0.0};
}

bool GridShift::contains(double latitude, double longitude) const
{
    double latS = latitude * 3600.0, lonW = -longitude * 3600.0;
    return ntv2::subgridAt(data_->grid, latS, lonW) >= 0;
}

std::string GridShift::subgridAt(double latitude, double longitude) const
{
    double latS = latitude * 3600.0, lonW = -longitude * 3600.0;
    const int k = ntv2::subgridAt(data_->grid, latS, lonW);
    return k < 0 ? std::string() : data_->grid.subgrids[static_cast<std::size_t>(k)].name;
}

const std::string& GridShift::path() const { return data_->path; }

bool GridShift::operator==(const GridShift& other) const { return data_ == other.data_ || path() == other.path(); }
std::size_t GridShift::subgridCount() const { return data_->grid.subgrids.size(); }
const std::string& GridShift::sourceSystem() const { return data_->grid.sourceSystem; }
const std::string& GridShift::targetSystem() const { return data_->grid.targetSystem; }
bool GridShift::bigEndian() const { return data_->grid.bigEndian; }

} // namespace tervala
