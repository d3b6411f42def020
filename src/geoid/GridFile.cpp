// Reading a geoid grid file into a fresh padded grid, and building its
// border. Nothing here touches an object: the caller swaps the result in
// only when the whole load succeeded.
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "geoid/CheckFile.h"
#include "geoid/GeoidGrid.h"
#include "platform/ByteOrder.h"

namespace tervala {
namespace grid {
namespace {

using platform::littleEndian32;
using platform::littleEndianDouble;

// Words read per fread. Reading through a buffer accepts exactly the values
// a word-by-word reading accepts: the skip rule looks at one word at a time.
constexpr std::size_t kWordsPerRead = 16384;

// Bytes left from the current position to the end, or -1 when the stream
// cannot tell (a pipe).
long long bytesRemaining(std::FILE* file)
{
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    const long end = std::ftell(file);
    if (std::fseek(file, here, SEEK_SET) != 0 || end < here)
        return -1;
    return static_cast<long long>(end) - here;
}

} // namespace

std::vector<unsigned char> encodeGridHeader(const GridHeader& h)
{
    std::vector<unsigned char> out(kGridHeaderBytes);
    int offset = 0;
    for (double v : {h.north, h.west, h.dlat, h.dlon}) {
        platform::putLittleEndian(&out[offset], platform::fromBits<std::uint64_t>(v), 8);
        offset += 8;
    }
    platform::putLittleEndian(&out[32], static_cast<std::uint32_t>(h.rows), 4);
    platform::putLittleEndian(&out[36], static_cast<std::uint32_t>(h.cols), 4);
    return out;
}

float smallestGridValue()
{
    float f = 1.2e-38f;
    while (!isGridValue(f))
        f = std::nextafter(f, 1.0f);
    return f;
}

GridLoadError checkHeader(const GridHeader& h, int margin)
{
    if (h.rows < 1 || h.cols < 1)
        return GridLoadError::BadDimensions;
    const std::int64_t paddedRows = std::int64_t(h.rows) + 2 * std::int64_t(margin);
    const std::int64_t paddedCols = std::int64_t(h.cols) + 2 * std::int64_t(margin);
    if (paddedRows > INT32_MAX || paddedCols > INT32_MAX || paddedRows * paddedCols > kMaxPaddedValues)
        return GridLoadError::TooLarge;
    if (!(std::isfinite(h.dlat) && h.dlat > 0) || !(std::isfinite(h.dlon) && h.dlon > 0))
        return GridLoadError::BadSpacing;
    if (!std::isfinite(h.north) || !std::isfinite(h.west))
        return GridLoadError::BadOrigin;
    return GridLoadError::None;
}

const char* describe(GridLoadError error)
{
    switch (error) {
    case GridLoadError::None:
        return "no error";
    case GridLoadError::ShortHeader:
        return "the file ends inside the 40-byte header";
    case GridLoadError::BadDimensions:
        return "the header gives fewer than 1 row or column";
    case GridLoadError::TooLarge:
        return "the grid with its border would exceed 2^31 values";
    case GridLoadError::BadSpacing:
        return "a grid spacing is zero, negative or not finite";
    case GridLoadError::BadOrigin:
        return "the first latitude or longitude is not finite";
    case GridLoadError::Truncated:
        return "the file ends before rows x columns values were read";
    case GridLoadError::OutOfMemory:
        return "not enough memory for the grid";
    case GridLoadError::ImpossibleValue:
        return "a value lies beyond +-150 m, which no geoid height does: the file is damaged or is not a geoid grid";
    }
    return "unknown error";
}

PaddedRows::~PaddedRows() { reset(); }

void PaddedRows::reset()
{
    if (m_rows != nullptr) {
        for (int r = 0; r < m_count; ++r)
            delete[] m_rows[r];
        delete[] m_rows;
    }
    m_rows = nullptr;
    m_count = 0;
}

void PaddedRows::swap(PaddedRows& other) noexcept
{
    std::swap(m_rows, other.m_rows);
    std::swap(m_count, other.m_count);
}

void PaddedRows::allocate(int rows, int cols)
{
    PaddedRows fresh;
    fresh.m_rows = new double*[static_cast<std::size_t>(rows)]();
    fresh.m_count = rows;
    for (int r = 0; r < rows; ++r)
        fresh.m_rows[r] = new double[static_cast<std::size_t>(cols)];
    swap(fresh);
}

double** PaddedRows::release()
{
    double** rows = m_rows;
    m_rows = nullptr;
    m_count = 0;
    return rows;
}

GridLoadError readGridFile(std::FILE* file, int margin, LoadedGrid& out)
{
    out.rows.reset();
    unsigned char raw[kGridHeaderBytes];
    if (std::fread(raw, 1, sizeof raw, file) != sizeof raw)
        return GridLoadError::ShortHeader;
    GridHeader h;
    h.north = littleEndianDouble(raw);
    h.west = littleEndianDouble(raw + 8);
    h.dlat = littleEndianDouble(raw + 16);
    h.dlon = littleEndianDouble(raw + 24);
    h.rows = static_cast<std::int32_t>(littleEndian32(raw + 32));
    h.cols = static_cast<std::int32_t>(littleEndian32(raw + 36));

    const GridLoadError bad = checkHeader(h, margin);
    if (bad != GridLoadError::None)
        return bad;
    const int paddedRows = h.rows + 2 * margin;
    const int paddedCols = h.cols + 2 * margin;
    // Every accepted value takes a word, so a file shorter than that cannot
    // hold the grid: say so before allocating for a header that lies.
    const long long remaining = bytesRemaining(file);
    if (remaining >= 0 && remaining / 4 < std::int64_t(h.rows) * h.cols)
        return GridLoadError::Truncated;

    try {
        PaddedRows rows;
        rows.allocate(paddedRows, paddedCols);
        std::unique_ptr<unsigned char[]> buffer(new unsigned char[kWordsPerRead * 4]);
        std::size_t words = 0, next = 0;

        // File row i (north first) goes to padded row margin + Nr - 1 - i.
        for (std::int32_t i = 0; i < h.rows; ++i) {
            double* target = rows.get()[margin + h.rows - 1 - i] + margin;
            std::int32_t j = 0;
            while (j < h.cols) {
                if (next == words) {
                    words = std::fread(buffer.get(), 4, kWordsPerRead, file);
                    next = 0;
                    if (words == 0)
                        return GridLoadError::Truncated;
                }
                const double value = platform::littleEndianFloat(buffer.get() + 4 * next++);
                if (isGridValue(std::fabs(value))) {
                    if (std::fabs(value) > kMaxGeoidHeight)
                        return GridLoadError::ImpossibleValue;
                    target[j++] = value;
                }
            }
        }
        fillBorder(rows.get(), h.rows, h.cols, margin);
        out.header = h;
        out.paddedRows = paddedRows;
        out.paddedCols = paddedCols;
        out.rows.swap(rows);
    } catch (const std::bad_alloc&) {
        return GridLoadError::OutOfMemory;
    }
    return GridLoadError::None;
}

GridLoad loadGridFile(const std::string& path, int margin)
{
    GridLoad result;
    try {
        const platform::File file = platform::openRegularFile(path, result.status);
        if (!file)
            return result;
        check::CheckRecord record;
        std::string problem;
        const check::CheckResult verified = check::verifyDataFile(path, record, problem);
        if (verified == check::CheckResult::Mismatch || verified == check::CheckResult::BadCheckFile) {
            result.status = platform::loadFailure(path, platform::LoadProblem::BadContents, problem);
            return result;
        }
        const GridLoadError error = readGridFile(file.get(), margin, result.grid);
        if (error == GridLoadError::None) {
            result.grid.margin = margin;
            return result;
        }
        platform::LoadProblem kind = platform::LoadProblem::BadHeader;
        if (error == GridLoadError::ShortHeader || error == GridLoadError::Truncated)
            kind = platform::LoadProblem::Truncated;
        else if (error == GridLoadError::OutOfMemory)
            kind = platform::LoadProblem::OutOfMemory;
        else if (error == GridLoadError::ImpossibleValue)
            kind = platform::LoadProblem::BadContents;
        result.status = platform::loadFailure(path, kind, describe(error));
    } catch (...) {
        // Out of memory for the path or the message: the problem alone tells.
        result.grid = LoadedGrid{};
        result.status.problem = platform::LoadProblem::OutOfMemory;
    }
    return result;
}

void fillBorder(double* const* g, int rows, int cols, int margin)
{
    const int M = margin;
    const int paddedRows = rows + 2 * M;
    const int paddedCols = cols + 2 * M;
    // Stored column of padded column c, wrapping around in longitude.
    auto storedColumn = [&](int c) { return M + ((c - M) % cols + cols) % cols; };

    // Longitude border of every stored row: west from the last columns, east
    // from the first ones.
    for (int r = M; r < M + rows; ++r) {
        double* row = g[r];
        for (int c = 0; c < M; ++c)
            row[c] = row[storedColumn(c)];
        for (int c = M + cols; c < paddedCols; ++c)
            row[c] = row[storedColumn(c)];
    }

    // Beyond the poles: the k-th row past an edge mirrors the k-th stored row
    // from that edge, half a turn (cols / 2 columns) round in longitude. The
    // source is always a stored row whose longitude border is already in
    // place, so the column index may run into it.
    const int halfTurn = cols / 2;
    auto copyTurned = [&](int target, int source) {
        for (int c = 0; c < paddedCols; ++c) {
            int s = c + halfTurn;
            if (s >= paddedCols)
                s = s - cols;
            g[target][c] = g[source][s];
        }
    };
    for (int b = 0; b < M; ++b) {
        const int k = M - b;  // 1 for the row next to the southern edge
        copyTurned(b, M + (k - 1) % rows);
    }
    for (int b = M + rows; b < paddedRows; ++b) {
        const int k = b - (M + rows) + 1;  // 1 for the row next to the northern edge
        copyTurned(b, M + rows - 1 - (k - 1) % rows);
    }
}

} // namespace grid
} // namespace tervala
