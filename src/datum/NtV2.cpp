// The NTv2 reader. A file is an overview header of 11 records, one header
// of 11 records and GS_COUNT node records per subgrid, and an END record.
// Every record is 16 bytes: an 8-byte key and an 8-byte value (a 4-byte
// integer and 4 bytes of padding, an 8-byte text or a double). Node records
// are four floats: latitude shift, longitude shift, and their accuracies.
// The byte order is the one in which NUM_OREC reads 11.
#include "datum/NtV2.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <map>
#include <new>

#include "platform/ByteOrder.h"

namespace tervala {
namespace ntv2 {
namespace {

constexpr std::size_t kRecord = 16;
constexpr std::size_t kHeader = 11 * kRecord;
constexpr std::size_t kNode = 16;
constexpr double kTurn = 1296000.0;  // arc-seconds

class Reader {
public:
    Reader(const std::vector<unsigned char>& bytes, bool big) : bytes_(bytes), big_(big) {}
    std::string key(std::size_t at) const { return text(at, 8); }
    std::string text(std::size_t at, std::size_t n) const
    {
        std::string s(reinterpret_cast<const char*>(&bytes_[at]), n);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
            s.pop_back();
        return s;
    }
    std::int32_t int32(std::size_t at) const
    {
        const unsigned char* p = &bytes_[at];
        return platform::fromBits<std::int32_t>(big_ ? platform::bigEndian32(p) : platform::littleEndian32(p));
    }
    double float64(std::size_t at) const
    {
        const unsigned char* p = &bytes_[at];
        return platform::fromBits<double>(big_ ? platform::bigEndian64(p) : platform::littleEndian64(p));
    }
    float float32(std::size_t at) const
    {
        const unsigned char* p = &bytes_[at];
        return platform::fromBits<float>(big_ ? platform::bigEndian32(p) : platform::littleEndian32(p));
    }

private:
    const std::vector<unsigned char>& bytes_;
    bool big_;
};

std::string number(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// The count of spacings `step` in `span`, when it is a whole number (to a
// millionth of a spacing) of at most a million; -1 otherwise.
long spacings(double span, double step)
{
    const double n = span / step;
    const double whole = std::round(n);
    if (!(whole >= 1 && whole <= 1e6 && std::fabs(n - whole) <= 1e-6))
        return -1;
    return static_cast<long>(whole);
}

// Edges are widened by 1e-9 degrees, so that an edge typed in decimal
// degrees (15.666666666667 for 56400 arc-seconds) is inside.
constexpr double kEdge = 3.6e-6;  // arc-seconds

bool inside(const Subgrid& g, double lat, double lonW)
{
    return lat >= g.south - kEdge && lat <= g.north + kEdge && lonW >= g.east - kEdge && lonW <= g.west + kEdge;
}

} // namespace

platform::LoadStatus load(const std::string& path, Grid& grid)
{
    using platform::LoadProblem;
    using platform::loadFailure;
    platform::LoadStatus status;
    const platform::File file = platform::openRegularFile(path, status);
    if (!file)
        return status;
    const long long size = platform::fileSize(file.get());
    if (size < 0)
        return loadFailure(path, LoadProblem::ReadError, "the size of the file cannot be told");
    if (size < static_cast<long long>(kHeader))
        return loadFailure(path, LoadProblem::Truncated,
                           "an NTv2 file starts with a 176-byte overview header; the file has " +
                               std::to_string(size) + " bytes");
    if (size > (1LL << 34))
        return loadFailure(path, LoadProblem::BadHeader, "larger than any NTv2 grid (16 GiB)");
    std::vector<unsigned char> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return loadFailure(path, LoadProblem::OutOfMemory, "out of memory");
    }
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return loadFailure(path, std::ferror(file.get()) ? LoadProblem::ReadError : LoadProblem::Truncated,
                           "the file could not be read to its end");

    Grid g;
    // NUM_OREC = 11 tells the byte order.
    if (std::memcmp(bytes.data(), "NUM_OREC", 8) != 0)
        return loadFailure(path, LoadProblem::BadHeader, "not an NTv2 file (no NUM_OREC record first)");
    if (platform::littleEndian32(&bytes[8]) == 11)
        g.bigEndian = false;
    else if (platform::bigEndian32(&bytes[8]) == 11)
        g.bigEndian = true;
    else
        return loadFailure(path, LoadProblem::BadHeader, "NUM_OREC is not 11 in either byte order");
    const Reader r(bytes, g.bigEndian);
    if (r.key(16) != "NUM_SREC" || r.int32(24) != 11)
        return loadFailure(path, LoadProblem::BadHeader, "NUM_SREC is not 11");
    if (r.key(32) != "NUM_FILE")
        return loadFailure(path, LoadProblem::BadHeader, "the third record is not NUM_FILE");
    const std::int32_t count = r.int32(40);
    const long long room = (size - static_cast<long long>(kHeader)) / static_cast<long long>(kHeader);
    if (count < 1 || count > room)
        return loadFailure(path, count < 1 ? LoadProblem::BadHeader : LoadProblem::Truncated,
                           "NUM_FILE = " + std::to_string(count) + " subgrids cannot fit in " +
                               std::to_string(size) + " bytes");
    if (r.key(48) != "GS_TYPE")
        return loadFailure(path, LoadProblem::BadHeader, "the fourth record is not GS_TYPE");
    const std::string units = r.text(56, 8);
    if (units != "SECONDS")
        return loadFailure(path, LoadProblem::BadHeader,
                           "GS_TYPE is '" + units + "'; only shifts in SECONDS are read");
    g.sourceSystem = r.text(5 * kRecord + 8, 8);
    g.targetSystem = r.text(6 * kRecord + 8, 8);

    static const char* const keys[] = {"SUB_NAME", "PARENT", "CREATED", "UPDATED", "S_LAT", "N_LAT",
                                       "E_LONG",   "W_LONG", "LAT_INC", "LONG_INC", "GS_COUNT"};
    std::map<std::string, int> byName;
    std::size_t at = kHeader;
    g.subgrids.resize(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
        const std::string which = "subgrid " + std::to_string(k + 1);
        if (at + kHeader > bytes.size())
            return loadFailure(path, LoadProblem::Truncated, "the file ends in the header of " + which);
        for (int i = 0; i < 11; ++i)
            if (r.key(at + static_cast<std::size_t>(i) * kRecord) != keys[i])
                return loadFailure(path, LoadProblem::BadHeader,
                                   which + ": record " + std::to_string(i + 1) + " is not " + keys[i]);
        Subgrid& s = g.subgrids[static_cast<std::size_t>(k)];
        s.name = r.text(at + 8, 8);
        s.parent = r.text(at + kRecord + 8, 8);
        double* fields[] = {&s.south, &s.north, &s.east, &s.west, &s.latStep, &s.lonStep};
        for (int i = 0; i < 6; ++i) {
            *fields[i] = r.float64(at + static_cast<std::size_t>(4 + i) * kRecord + 8);
            if (!std::isfinite(*fields[i]))
                return loadFailure(path, LoadProblem::BadHeader,
                                   which + ": " + keys[4 + i] + " = " + number(*fields[i]) + " is not finite");
        }
        if (!(s.latStep > 0 && s.lonStep > 0))
            return loadFailure(path, LoadProblem::BadHeader, which + ": LAT_INC and LONG_INC must be positive");
        if (!(s.south >= -324000 && s.north <= 324000 && s.south < s.north))
            return loadFailure(path, LoadProblem::BadHeader,
                               which + ": S_LAT < N_LAT within +-324000 arc-seconds is needed");
        if (!(s.east < s.west && s.west - s.east <= kTurn && std::fabs(s.east) <= 2 * kTurn &&
              std::fabs(s.west) <= 2 * kTurn))
            return loadFailure(path, LoadProblem::BadHeader,
                               which + ": E_LONG < W_LONG (positive west) spanning at most a turn is needed");
        const long rowSpans = spacings(s.north - s.south, s.latStep);
        const long columnSpans = spacings(s.west - s.east, s.lonStep);
        if (rowSpans < 0 || columnSpans < 0)
            return loadFailure(path, LoadProblem::BadHeader,
                               which + ": the extent is not a whole number of spacings (at least one)");
        s.rows = static_cast<int>(rowSpans + 1);
        s.columns = static_cast<int>(columnSpans + 1);
        const std::int32_t nodes = r.int32(at + 10 * kRecord + 8);
        if (static_cast<long long>(nodes) != static_cast<long long>(s.rows) * s.columns)
            return loadFailure(path, LoadProblem::BadHeader,
                               which + ": GS_COUNT = " + std::to_string(nodes) + " but the extent holds " +
                                   std::to_string(s.rows) + " x " + std::to_string(s.columns) + " nodes");
        at += kHeader;
        const std::size_t n = static_cast<std::size_t>(nodes);
        if (n > (bytes.size() - at) / kNode)
            return loadFailure(path, LoadProblem::Truncated, "the file ends in the nodes of " + which);
        try {
            s.shifts.resize(2 * n);
        } catch (const std::bad_alloc&) {
            return loadFailure(path, LoadProblem::OutOfMemory, "out of memory");
        }
        for (std::size_t i = 0; i < n; ++i, at += kNode) {
            const float lat = r.float32(at), lon = r.float32(at + 4);
            if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 36000.0f ||
                std::fabs(lon) > 36000.0f)
                return loadFailure(path, LoadProblem::BadContents,
                                   which + ": node " + std::to_string(i + 1) +
                                       " has a shift that is not finite or exceeds 10 degrees");
            s.shifts[2 * i] = lat;
            s.shifts[2 * i + 1] = lon;
        }
        if (s.name.empty() || !byName.emplace(s.name, k).second)
            return loadFailure(path, LoadProblem::BadHeader, which + ": SUB_NAME '" + s.name + "' is empty or repeated");
    }
    if (at + 8 > bytes.size() || r.key(at) != "END")
        return loadFailure(path, LoadProblem::Truncated, "no END record after the last subgrid");

    // Parents: by name, containing their children, and no circles.
    for (int k = 0; k < count; ++k) {
        Subgrid& s = g.subgrids[static_cast<std::size_t>(k)];
        if (s.parent == "NONE") {
            g.roots.push_back(k);
            continue;
        }
        const auto p = byName.find(s.parent);
        if (p == byName.end())
            return loadFailure(path, LoadProblem::BadHeader,
                               "subgrid '" + s.name + "' names an unknown PARENT '" + s.parent + "'");
        const Subgrid& parent = g.subgrids[static_cast<std::size_t>(p->second)];
        const double tolerance = 1e-6 * (parent.latStep + parent.lonStep);
        if (s.south < parent.south - tolerance || s.north > parent.north + tolerance ||
            s.east < parent.east - tolerance || s.west > parent.west + tolerance)
            return loadFailure(path, LoadProblem::BadHeader,
                               "subgrid '" + s.name + "' reaches outside its parent '" + parent.name + "'");
        int up = p->second;
        for (int steps = 0; up >= 0; ++steps) {
            if (up == k || steps > count)
                return loadFailure(path, LoadProblem::BadHeader, "subgrid '" + s.name + "' is its own ancestor");
            const Subgrid& a = g.subgrids[static_cast<std::size_t>(up)];
            up = a.parent == "NONE" ? -1 : byName.at(a.parent);
        }
        g.subgrids[static_cast<std::size_t>(p->second)].children.push_back(k);
    }
    if (g.roots.empty())
        return loadFailure(path, LoadProblem::BadHeader, "no subgrid has PARENT NONE");
    grid = std::move(g);
    status.path = path;
    return status;
}

int subgridAt(const Grid& grid, double& latitude, double& westLongitude, double reach)
{
    if (!std::isfinite(latitude) || !std::isfinite(westLongitude))
        return -1;
    int found = -1;
    for (const double turn : {0.0, -kTurn, kTurn}) {
        const double lonW = westLongitude + turn;
        for (const int root : grid.roots) {
            if (inside(grid.subgrids[static_cast<std::size_t>(root)], latitude, lonW)) {
                found = root;
                westLongitude = lonW;
                break;
            }
        }
        if (found >= 0)
            break;
    }
    if (found < 0 && reach > 0) {
        for (const double turn : {0.0, -kTurn, kTurn}) {
            const double lonW = westLongitude + turn;
            for (const int root : grid.roots) {
                const Subgrid& g = grid.subgrids[static_cast<std::size_t>(root)];
                const double lat = std::min(std::max(latitude, g.south), g.north);
                const double lon = std::min(std::max(lonW, g.east), g.west);
                if (std::fabs(lat - latitude) <= reach && std::fabs(lon - lonW) <= reach) {
                    found = root;
                    latitude = lat;
                    westLongitude = lon;
                    break;
                }
            }
            if (found >= 0)
                break;
        }
    }
    if (found < 0)
        return -1;
    for (bool deeper = true; deeper;) {
        deeper = false;
        for (const int child : grid.subgrids[static_cast<std::size_t>(found)].children) {
            if (inside(grid.subgrids[static_cast<std::size_t>(child)], latitude, westLongitude)) {
                found = child;
                deeper = true;
                break;
            }
        }
    }
    return found;
}

void interpolate(const Subgrid& g, double latitude, double westLongitude, double& latShift, double& westLonShift)
{
    // The cell whose south-east node is (row, column); a point on the north
    // or west edge lies in the last cell, at its far side.
    const double y = (latitude - g.south) / g.latStep;
    const double x = (westLongitude - g.east) / g.lonStep;
    int row = static_cast<int>(std::floor(y));
    int column = static_cast<int>(std::floor(x));
    if (row > g.rows - 2)
        row = g.rows - 2;
    if (column > g.columns - 2)
        column = g.columns - 2;
    if (row < 0)
        row = 0;
    if (column < 0)
        column = 0;
    const double fy = y - row, fx = x - column;
    const std::size_t n00 = static_cast<std::size_t>(row) * static_cast<std::size_t>(g.columns) +
                            static_cast<std::size_t>(column);
    const std::size_t n10 = n00 + 1;                                    // one column west
    const std::size_t n01 = n00 + static_cast<std::size_t>(g.columns);  // one row north
    const std::size_t n11 = n01 + 1;
    for (int c = 0; c < 2; ++c) {
        const double s00 = g.shifts[2 * n00 + c], s10 = g.shifts[2 * n10 + c];
        const double s01 = g.shifts[2 * n01 + c], s11 = g.shifts[2 * n11 + c];
        // a + b x + c y + d x y over the cell
        const double v = s00 + (s10 - s00) * fx + (s01 - s00) * fy + (s11 - s10 - s01 + s00) * fx * fy;
        (c == 0 ? latShift : westLonShift) = v;
    }
}

} // namespace ntv2
} // namespace tervala
