#include "gridtools/RasterGrid.h"

#include <cerrno>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <sstream>

#include "geoid/CheckFile.h"
#include "platform/ByteOrder.h"
#include "platform/Files.h"

namespace tervala {
namespace raster {
namespace {

// Tolerance for "lies on a node", "beyond the pole" and "spans 360 degrees",
// in units of one spacing: steps such as 1/24 degree are not exact in binary.
constexpr double kNodeTolerance = 1e-6;

double wrap360(double lon)
{
    double w = std::fmod(lon, 360.0);
    if (w < 0)
        w += 360.0;
    return w;
}

// Plans rows and columns of the output; "" or why the lattice cannot be a grid.
std::string plan(const Lattice& in, Conversion& done, int& firstRow)
{
    if (in.rows < 1 || in.cols < 1)
        return "the raster has " + std::to_string(in.rows) + " rows and " + std::to_string(in.cols) +
               " columns; both must be at least 1";
    if (!(std::isfinite(in.dlat) && in.dlat != 0) || !(std::isfinite(in.dlon) && in.dlon > 0))
        return "the raster's pixel size is " + number(in.dlon) + " x " + number(in.dlat) +
               " degrees; it needs a finite size, positive eastward";
    if (!std::isfinite(in.firstLat) || !std::isfinite(in.firstLon))
        return "the raster's origin is not finite";
    const double step = std::fabs(in.dlat), latSlack = step * kNodeTolerance;

    // Rows north first; those whose nodes lie beyond a pole are dropped.
    const double northernmost = in.dlat < 0 ? in.firstLat : in.firstLat + (in.rows - 1) * in.dlat;
    int drop = 0;
    while (drop < in.rows && northernmost - drop * step > 90 + latSlack)
        ++drop;
    int rows = in.rows - drop;
    while (rows > 0 && northernmost - (drop + rows - 1) * step < -90 - latSlack)
        --rows;
    if (rows < 1)
        return "no row of the raster lies between latitudes -90 and 90 (are the coordinates degrees?)";
    done.droppedRows = in.rows - rows;
    firstRow = drop;  // in north-first order
    double north = northernmost - drop * step;
    if (std::fabs(north - 90) <= latSlack)
        north = 90;
    if (done.droppedRows > 0)
        done.notes.push_back("dropped " + std::to_string(done.droppedRows) + " rows beyond the poles");

    // Columns: one turn of a global lattice, rotated to start at 0 degrees.
    const double lonSlack = in.dlon * kNodeTolerance;
    const double perTurn = 360.0 / in.dlon;
    int cols = in.cols;
    double west = wrap360(in.firstLon);
    if (in.cols * in.dlon >= 360 - lonSlack) {
        if (std::fabs(perTurn - std::round(perTurn)) > kNodeTolerance)
            return "the raster's columns span 360 degrees or more, but " + number(in.dlon) +
                   " degrees does not divide 360, so they cannot wrap round the globe";
        cols = static_cast<int>(std::round(perTurn));
        done.global = true;
        const double offset = wrap360(-in.firstLon) / in.dlon;
        const double nearest = std::round(offset);
        const bool onNode = std::fabs(offset - nearest) <= kNodeTolerance;
        done.rotatedColumns = static_cast<int>(static_cast<long long>(onNode ? nearest : std::ceil(offset)) % cols);
        west = onNode ? 0.0 : wrap360(in.firstLon + done.rotatedColumns * in.dlon);
        if (in.cols > cols)
            done.notes.push_back("kept one turn of " + std::to_string(cols) + " columns; the other " +
                                 std::to_string(in.cols - cols) + " repeat them 360 degrees apart");
        if (done.rotatedColumns != 0)
            done.notes.push_back("rotated the columns by " + std::to_string(done.rotatedColumns) +
                                 " so that the grid starts at longitude " + number(west));
    } else {
        if (in.firstLon < -180 - lonSlack || in.firstLon + (in.cols - 1) * in.dlon > 360 + lonSlack)
            return "the raster's columns run from longitude " + number(in.firstLon) + " to " +
                   number(in.firstLon + (in.cols - 1) * in.dlon) +
                   ", outside -180 .. 360 (are the coordinates degrees?)";
        if (std::fabs(west - 360) <= lonSlack)
            west = 0;
        const double east = west + (in.cols - 1) * in.dlon;
        if (east > 360 + lonSlack)
            done.notes.push_back("warning: the grid runs from longitude " + number(west) + " to " + number(east) +
                                 "; KEGMGeoidHeight reduces longitudes to 0 .. 360, so points east of 0 degrees "
                                 "in this grid are out of its range");
    }
    done.output = grid::GridHeader{north, west, step, in.dlon, rows, cols};
    const grid::GridLoadError loadable = grid::checkHeader(done.output, grid::kObjectMargin);
    if (loadable != grid::GridLoadError::None)
        return std::string("the grid file could not be loaded: ") + grid::describe(loadable);
    return "";
}

std::string writeRows(const RowReader& read, int firstRow, std::FILE* out, Conversion& done, std::uint32_t& crc)
{
    const Lattice& in = done.input;
    const int cols = done.output.cols;
    std::vector<double> values(static_cast<std::size_t>(in.cols));
    std::vector<unsigned char> converted(static_cast<std::size_t>(cols) * 4);
    for (int i = 0; i < done.output.rows; ++i) {
        const int northFirst = firstRow + i;
        const int row = in.dlat < 0 ? northFirst : in.rows - 1 - northFirst;
        const std::string problem = read(row, values.data());
        if (!problem.empty())
            return problem;
        const double lat = done.output.north - i * done.output.dlat;
        for (int c = 0; c < cols; ++c) {
            const int source = done.global ? (done.rotatedColumns + c) % cols : c;
            const double v = values[static_cast<std::size_t>(source)];
            if (std::isnan(v)) {
                ++done.noData;
            } else if (!(std::fabs(v) <= grid::kMaxGeoidHeight)) {
                return "the value at row " + std::to_string(row) + " (latitude " + number(lat) + "), column " +
                       std::to_string(source) + " (longitude " + number(in.firstLon + source * in.dlon) + ") is " +
                       number(v) + "; no geoid height lies beyond +-150 m (is this a geoid grid in metres?)";
            }
            float f = static_cast<float>(v);
            if (!std::isnan(v) && !grid::isGridValue(std::fabs(static_cast<double>(f)))) {
                f = grid::storableGridValue(f);
                ++done.replacedValues;
            }
            platform::putLittleEndianFloat(&converted[4 * static_cast<std::size_t>(c)], f);
        }
        if (std::fwrite(converted.data(), 1, converted.size(), out) != converted.size())
            return std::string("cannot write the output: ") + std::strerror(errno);
        crc = check::crc32(converted.data(), converted.size(), crc);
    }
    if (done.noData > 0)
        done.notes.push_back(std::to_string(done.noData) + " nodes without data stored as NaN");
    if (done.replacedValues > 0)
        done.notes.push_back(std::to_string(done.replacedValues) + " zero or subnormal values written as +-" +
                             number(grid::smallestGridValue()) + " (the loader skips zero)");
    return "";
}

} // namespace

std::string number(double x)
{
    std::ostringstream s;
    s.precision(12);
    s << x;
    return s.str();
}

bool writeGridFile(const Lattice& lattice, const RowReader& read, const std::string& outPath, Conversion& done,
                   std::string& error)
{
    done.input = lattice;
    int firstRow = 0;
    error = plan(lattice, done, firstRow);
    if (!error.empty())
        return false;
    // Written beside the target and renamed over it only when complete, so
    // a failed run never leaves a partial grid under the final name.
    platform::ReplacingFile out(outPath);
    if (out.get() == nullptr) {
        error = out.error();
        return false;
    }
    const std::vector<unsigned char> header = grid::encodeGridHeader(done.output);
    std::uint32_t crc = check::crc32(header.data(), header.size());
    error = std::fwrite(header.data(), 1, header.size(), out.get()) == header.size()
                ? writeRows(read, firstRow, out.get(), done, crc)
                : std::string("cannot write the output: ") + std::strerror(errno);
    if (!error.empty())
        return false;
    if (!out.replacesAtomically()) {
        // A pipe or a device: no file to check later.
        if (!out.commit())
            error = out.error();
        return error.empty();
    }
    platform::ReplacingFile sum(check::checkFilePath(outPath));
    if (!sum.ok()) {
        error = sum.error();
        return false;
    }
    const long long bytes = grid::kGridHeaderBytes + 4LL * done.output.rows * done.output.cols;
    std::fputs(check::formatCheckFile(bytes, crc, done.source).c_str(), sum.get());
    platform::ReplacingFile* both[] = {&out, &sum};
    platform::commitTogether(both, 2, error);
    return error.empty();
}

std::string describe(const Conversion& done, const std::string& inPath, const std::string& outPath)
{
    const Lattice& in = done.input;
    const grid::GridHeader& out = done.output;
    std::ostringstream s;
    s.precision(12);
    s << inPath << ": " << done.format << ", " << in.rows << " rows x " << in.cols << " columns, steps "
      << std::fabs(in.dlat) << " x " << in.dlon << " degrees, first node " << in.firstLat << ", " << in.firstLon
      << (in.dlat < 0 ? ", north-up" : ", south-up") << (done.global ? ", global" : ", regional") << "\n";
    for (const std::string& note : done.notes)
        s << "  " << note << "\n";
    s << outPath << ": grid file, " << out.rows << " rows x " << out.cols << " columns, north " << out.north
      << ", west " << out.west << ", " << (grid::kGridHeaderBytes + 4LL * out.rows * out.cols) << " bytes\n";
    return s.str();
}

} // namespace raster
} // namespace tervala
