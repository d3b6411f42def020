// GTX to grid-file conversion. The input is read one row at a time, from the
// northern row down, so memory stays at one row whatever the grid's size.
#include "gridtools/GtxGrid.h"

#include <cerrno>
#include <cmath>
#include <limits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#include "platform/ByteOrder.h"
#include "platform/Files.h"

namespace tervala {
namespace gtx {
namespace {

using platform::bigEndian32;
using platform::File;
using platform::fromBits;

GtxHeader decodeHeader(const unsigned char* raw, bool bigEndian)
{
    auto word = [&](int offset) {
        return bigEndian ? platform::bigEndian32(raw + offset) : platform::littleEndian32(raw + offset);
    };
    auto real = [&](int offset) {
        return fromBits<double>(bigEndian ? platform::bigEndian64(raw + offset) : platform::littleEndian64(raw + offset));
    };
    return GtxHeader{real(0),
                     real(8),
                     real(16),
                     real(24),
                     fromBits<std::int32_t>(word(32)),
                     fromBits<std::int32_t>(word(36))};
}

// Tolerance for "lies on a node" and "spans 360 degrees", in units of one
// spacing: the header values are decimal steps such as 1/60 stored in binary.
constexpr double kNodeTolerance = 1e-6;

std::string number(double x)
{
    std::ostringstream s;
    s.precision(12);
    s << x;
    return s.str();
}

// What is wrong with a header, or "" when it describes a sensible grid that
// fills a file of `size` bytes exactly.
std::string headerProblem(const GtxHeader& h, long long size)
{
    if (h.rows < 1 || h.cols < 1)
        return "the header gives " + std::to_string(h.rows) + " rows and " + std::to_string(h.cols) +
               " columns; both must be at least 1";
    if (!(std::isfinite(h.dlat) && h.dlat > 0) || !(std::isfinite(h.dlon) && h.dlon > 0))
        return "the header gives a latitude step of " + number(h.dlat) + " and a longitude step of " +
               number(h.dlon) + " degrees; both must be positive and finite";
    if (!std::isfinite(h.south) || !std::isfinite(h.west))
        return "the header gives a southern latitude of " + number(h.south) + " and a western longitude of " +
               number(h.west) + "; both must be finite";
    const double north = h.south + (h.rows - 1) * h.dlat;
    const double slack = h.dlat * kNodeTolerance;
    if (h.south < -90 - slack || north > 90 + slack)
        return "the rows run from latitude " + number(h.south) + " to " + number(north) +
               ", outside -90 .. 90 degrees";
    if ((h.cols - 1) * h.dlon > 360 + h.dlon * kNodeTolerance)
        return "the " + std::to_string(h.cols) + " columns of " + number(h.dlon) +
               " degrees span more than 360 degrees";
    // Rows and columns are below 2^31, so their product fits in 64 bits; its
    // byte count may not, and no such file can exist.
    const long long values = static_cast<long long>(h.rows) * h.cols;
    if (values > (std::numeric_limits<long long>::max() - kGtxHeaderBytes) / 4)
        return "the header gives " + std::to_string(h.rows) + " rows x " + std::to_string(h.cols) +
               " columns, more values than any file can hold";
    const long long expected = kGtxHeaderBytes + 4 * values;
    if (size != expected)
        return "the header gives " + std::to_string(h.rows) + " rows x " + std::to_string(h.cols) + " columns = " +
               std::to_string(expected - kGtxHeaderBytes) + " bytes of values, but the file holds " +
               std::to_string(size - kGtxHeaderBytes) + " bytes after the header";
    return "";
}

double wrap360(double lon)
{
    double w = std::fmod(lon, 360.0);
    if (w < 0)
        w += 360.0;
    return w;
}

// Plans the output layout: wrap column, rotation, header.
std::string plan(const GtxHeader& in, Conversion& done)
{
    done = Conversion{};
    done.input = in;
    int cols = in.cols;
    const double span = in.cols * in.dlon;
    const double tolerance = in.dlon * kNodeTolerance;
    if (std::fabs(span - 360.0) <= tolerance) {
        done.global = true;
    } else if (in.cols > 1 && std::fabs(span - in.dlon - 360.0) <= tolerance) {
        done.global = true;
        done.droppedWrapColumn = true;
        cols = in.cols - 1;
    }

    double west;
    if (done.global) {
        // Columns from the first one to the one at 0 degrees (or east of it).
        const double offset = wrap360(-in.west) / in.dlon;
        const double nearest = std::round(offset);
        const bool onNode = std::fabs(offset - nearest) <= kNodeTolerance;
        const double steps = onNode ? nearest : std::ceil(offset);
        done.rotatedColumns = static_cast<int>(static_cast<long long>(steps) % cols);
        west = onNode ? 0.0 : wrap360(in.west + done.rotatedColumns * in.dlon);
        if (done.droppedWrapColumn)
            done.notes.push_back("dropped the last column, a repeat of the first one 360 degrees east");
        if (done.rotatedColumns != 0)
            done.notes.push_back("rotated the columns by " + std::to_string(done.rotatedColumns) +
                                 " so that the grid starts at longitude " + number(west));
    } else {
        west = wrap360(in.west);
        const double east = west + (in.cols - 1) * in.dlon;
        if (east > 360.0)
            done.notes.push_back("warning: the grid runs from longitude " + number(west) + " to " + number(east) +
                                 "; KEGMGeoidHeight reduces longitudes to 0 .. 360, so points east of 0 degrees "
                                 "in this grid are out of its range");
    }

    done.output = grid::GridHeader{in.south + (in.rows - 1) * in.dlat, west, in.dlat, in.dlon, in.rows, cols};
    const grid::GridLoadError loadable = grid::checkHeader(done.output, grid::kObjectMargin);
    if (loadable != grid::GridLoadError::None)
        return std::string("the grid file could not be loaded: ") + grid::describe(loadable);
    return "";
}

// Writes the converted rows to `out`; "" or what went wrong.
std::string writeRows(std::FILE* in, std::FILE* out, Conversion& done)
{
    const GtxHeader& h = done.input;
    const int cols = done.output.cols;
    const float smallest = grid::smallestGridValue();
    std::vector<unsigned char> raw(static_cast<std::size_t>(h.cols) * 4);
    std::vector<unsigned char> converted(static_cast<std::size_t>(cols) * 4);
    for (std::int32_t i = 0; i < h.rows; ++i) {
        const std::int32_t gtxRow = h.rows - 1 - i;  // north first
        const long long offset = kGtxHeaderBytes + static_cast<long long>(gtxRow) * h.cols * 4;
        if (std::fseek(in, static_cast<long>(offset), SEEK_SET) != 0 || std::fread(raw.data(), 1, raw.size(), in) != raw.size())
            return "cannot read row " + std::to_string(gtxRow) + " of the input: " + std::strerror(errno);
        for (int c = 0; c < cols; ++c) {
            const int source = (c + done.rotatedColumns) % cols;
            float v = fromBits<float>(bigEndian32(raw.data() + 4 * static_cast<std::size_t>(source)));
            const double magnitude = std::fabs(static_cast<double>(v));
            if (magnitude > 3.4e38)
                return "the value at row " + std::to_string(gtxRow) + " (latitude " +
                       number(h.south + gtxRow * h.dlat) + "), column " + std::to_string(source) + " (longitude " +
                       number(h.west + source * h.dlon) + ") is " + number(v) +
                       "; grid files cannot hold infinities or magnitudes above 3.4e38";
            if (!grid::isGridValue(magnitude)) {
                v = grid::storableGridValue(v);
                ++done.replacedValues;
            }
            platform::putLittleEndianFloat(&converted[4 * static_cast<std::size_t>(c)], v);
        }
        if (std::fwrite(converted.data(), 1, converted.size(), out) != converted.size())
            return std::string("cannot write the output: ") + std::strerror(errno);
    }
    if (done.replacedValues > 0)
        done.notes.push_back(std::to_string(done.replacedValues) +
                             " zero or subnormal values written as +-" + number(smallest) +
                             " (the loader skips zero)");
    return "";
}

} // namespace

bool convertGtxToGrid(const std::string& inPath, const std::string& outPath, Conversion& done,
                      std::string& error)
{
    platform::LoadStatus opened;
    File in = platform::openRegularFile(inPath, opened);
    if (!in) {
        error = opened.problem == platform::LoadProblem::CannotOpen && opened.systemError != EISDIR ? opened.reason
                                                                                         : "not a regular file";
        return false;
    }
    const long long size = platform::fileSize(in.get());
    unsigned char raw[kGtxHeaderBytes];
    if (size < kGtxHeaderBytes || std::fread(raw, 1, sizeof raw, in.get()) != sizeof raw) {
        error = "the file is " + std::to_string(size) + " bytes, shorter than the 40-byte GTX header";
        return false;
    }
    const GtxHeader h = decodeHeader(raw, true);
    std::string problem = headerProblem(h, size);
    if (!problem.empty()) {
        if (headerProblem(decodeHeader(raw, false), size).empty())
            problem += " (the header makes sense read as little-endian, but GTX files are big-endian)";
        error = problem;
        return false;
    }
    problem = plan(h, done);
    if (!problem.empty()) {
        error = problem;
        return false;
    }

    // Write beside the target and rename over it only when complete, so a
    // failed run never leaves a partial grid under the final name.
    platform::ReplacingFile out(outPath);
    if (out.get() == nullptr) {
        error = out.error();
        return false;
    }
    const std::vector<unsigned char> header = grid::encodeGridHeader(done.output);
    problem = std::fwrite(header.data(), 1, header.size(), out.get()) == header.size()
                  ? writeRows(in.get(), out.get(), done)
                  : std::string("cannot write the output: ") + std::strerror(errno);
    if (problem.empty() && !out.commit())
        problem = out.error();
    if (!problem.empty()) {
        error = problem;
        return false;
    }
    return true;
}

std::string describe(const Conversion& done, const std::string& inPath, const std::string& outPath)
{
    const GtxHeader& in = done.input;
    const grid::GridHeader& out = done.output;
    std::ostringstream s;
    s.precision(12);
    s << inPath << ": GTX, " << in.rows << " rows x " << in.cols << " columns, steps " << in.dlat << " x "
      << in.dlon << " degrees, south " << in.south << ", west " << in.west
      << (done.global ? ", global" : ", regional") << "\n";
    for (const std::string& note : done.notes)
        s << "  " << note << "\n";
    s << outPath << ": grid file, " << out.rows << " rows x " << out.cols << " columns, north " << out.north
      << ", west " << out.west << ", " << (kGtxHeaderBytes + 4LL * out.rows * out.cols) << " bytes\n";
    return s.str();
}

} // namespace gtx
} // namespace tervala
