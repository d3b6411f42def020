#include "gridtools/Egm2008Grid.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/ByteOrder.h"
#include "platform/Files.h"

namespace tervala {
namespace egm2008 {
namespace {

struct Header {
    int border = 0, rows = 0, cols = 0;
    double dlat = 0, dlon = 0;
    long long rowBytes() const { return 4LL * (cols + 2LL * border + 1); }
};

// The header of an open file, or "" in `problem` when it describes exactly
// the file of `size` bytes.
Header readHeader(std::FILE* in, long long size, std::string& problem)
{
    Header h;
    unsigned char raw[kHeaderBytes];
    if (size < kHeaderBytes || std::fread(raw, 1, sizeof raw, in) != sizeof raw) {
        problem = "the file is shorter than the 28-byte header";
        return h;
    }
    h.border = platform::fromBits<std::int32_t>(platform::bigEndian32(raw));
    h.rows = platform::fromBits<std::int32_t>(platform::bigEndian32(raw + 4));
    h.cols = platform::fromBits<std::int32_t>(platform::bigEndian32(raw + 8));
    h.dlat = platform::fromBits<double>(platform::bigEndian64(raw + 12));
    h.dlon = platform::fromBits<double>(platform::bigEndian64(raw + 20));
    if (h.border < 0 || h.border > 1000 || h.rows < 2 || h.cols < 2 || !(h.dlat > 0 && h.dlat < 180) ||
        !(h.dlon > 0 && h.dlon < 360)) {
        problem = "the header gives border " + std::to_string(h.border) + ", " + std::to_string(h.rows) + " rows, " +
                  std::to_string(h.cols) + " columns, steps " + raster::number(h.dlat) + " x " +
                  raster::number(h.dlon) + ": not a global grid";
        return h;
    }
    const long long expected = kHeaderBytes + (h.rows + 2LL * h.border) * h.rowBytes();
    if (expected != size) {
        problem = "the header promises " + std::to_string(expected) + " bytes, the file holds " + std::to_string(size);
        return h;
    }
    if (std::fabs((h.rows - 1) * h.dlat - 180) > 1e-6 * h.dlat || std::fabs(h.cols * h.dlon - 360) > 1e-6 * h.dlon)
        problem = "the header describes a grid that is not global (pole to pole, 360 degrees round)";
    return h;
}

} // namespace

bool looksLikeGeotranzGrid(const std::string& path)
{
    platform::File in = platform::openRegularFile(path);
    if (!in)
        return false;
    std::string problem;
    readHeader(in.get(), platform::fileSize(in.get()), problem);
    return problem.empty();
}

bool convert(const std::string& inPath, const std::string& outPath, raster::Conversion& done, std::string& error)
{
    platform::LoadStatus opened;
    platform::File in = platform::openRegularFile(inPath, opened);
    if (!in) {
        error = opened.reason.empty() ? "cannot open the file" : opened.reason;
        return false;
    }
    const Header h = readHeader(in.get(), platform::fileSize(in.get()), error);
    if (!error.empty())
        return false;
    raster::Lattice lattice;
    lattice.rows = h.rows + 2 * h.border;
    lattice.cols = h.cols + 2 * h.border + 1;
    lattice.dlat = -h.dlat;
    lattice.dlon = h.dlon;
    lattice.firstLat = 90 + h.border * h.dlat;
    lattice.firstLon = -h.border * h.dlon;
    std::vector<unsigned char> raw(static_cast<std::size_t>(h.rowBytes()));
    std::FILE* file = in.get();
    auto read = [&](int row, double* values) -> std::string {
        const long long offset = kHeaderBytes + row * h.rowBytes();
        if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0 || std::fread(raw.data(), 1, raw.size(), file) != raw.size())
            return "cannot read row " + std::to_string(row) + " of the input: " + std::strerror(errno);
        for (int c = 0; c < lattice.cols; ++c)
            values[c] = platform::fromBits<float>(platform::bigEndian32(&raw[4 * static_cast<std::size_t>(c)]));
        return "";
    };
    done.format = "EGM2008 grid with a " + std::to_string(h.border) + "-node border (geotranz layout)";
    done.source = inPath;
    return raster::writeGridFile(lattice, read, outPath, done, error);
}

} // namespace egm2008
} // namespace tervala
