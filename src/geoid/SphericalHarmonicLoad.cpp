// Loading the EGM96 coefficient files: LoadEGMData and DHCSIN.
//
// Both files are flat sequences of little-endian records without header or
// count. Records are decoded byte by byte, so the loader does not depend on
// the host's byte order, and each record is fetched with one fread of its
// size (stdio buffers the file).
#include "geoid/SphericalHarmonic.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/DataFolder.h"
#include "platform/Files.h"
#include "tervala/Tervala.h"

namespace tervala {
namespace egm96 {
namespace {

using platform::File;
using platform::openRegularFile;

std::int32_t int32At(const unsigned char* p)
{
    const std::uint32_t u = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                            (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    std::int32_t value;
    std::memcpy(&value, &u, sizeof value);
    return value;
}

double doubleAt(const unsigned char* p)
{
    std::uint64_t u = 0;
    for (int i = 7; i >= 0; --i)
        u = (u << 8) | p[i];
    double value;
    std::memcpy(&value, &u, sizeof value);
    return value;
}

struct Record {
    int n;
    int m;
    double cosine;
    double sine;
};

// Fetches the next record of `size` bytes. False at the end of the file
// (an incomplete last record included) and on a read error.
bool nextRecord(std::FILE* file, int size, Record& record)
{
    unsigned char raw[kGeopotentialRecordSize];
    if (std::fread(raw, static_cast<std::size_t>(size), 1, file) != 1)
        return false;
    record = Record{int32At(raw), int32At(raw + 4), doubleAt(raw + 8), doubleAt(raw + 16)};
    return true;
}

// Passes every complete record whose (n, m) lies in 0 <= m <= n <= 360 to
// store(k, record), until store returns false or the file ends. Records
// outside that range are skipped: their index would fall outside the tables.
template <typename Store>
ReadEnd forEachRecord(const std::string& path, int recordSize, Store store)
{
    const File file = openRegularFile(path);
    if (!file)
        return ReadEnd::NotOpened;
    Record record;
    while (nextRecord(file.get(), recordSize, record)) {
        if (isDegreeOrder(record.n, record.m) && !store(coefficientIndex(record.n, record.m), record))
            return ReadEnd::LastRecord;
    }
    return std::ferror(file.get()) ? ReadEnd::ReadError : ReadEnd::EndOfFile;
}

} // namespace

ReadEnd readCorrectionFile(const std::string& path, Numbra& cosine, Numbra& sine)
{
    return forEachRecord(path, kCorrectionRecordSize, [&](int k, const Record& record) {
        cosine(k) = record.cosine;
        sine(k) = record.sine;
        return true;
    });
}

ReadEnd readGeopotentialFile(const std::string& path, Numbra& coefficients)
{
    return forEachRecord(path, kGeopotentialRecordSize, [&](int k, const Record& record) {
        coefficients(k, 1) = record.cosine;
        coefficients(k, 2) = record.sine;
        return !(record.n == kMaxDegree && record.m == kMaxDegree);
    });
}

void removeNormalZonals(Numbra& coefficients)
{
    // The normal field's fully normalised C(2k, 0) is -J2k / sqrt(4k + 1),
    // so removing it adds J2k / sqrt(4k + 1); the degree-4 term is a constant
    // already divided by sqrt(9) = 3. Each quotient is formed first, then
    // combined with the model's coefficient.
    coefficients(4, 1) = coefficients(4, 1) + 0.00108262982131 / std::sqrt(5.0);
    coefficients(11, 1) = coefficients(11, 1) - 7.9030373351e-7;
    coefficients(22, 1) = coefficients(22, 1) + 6.08346498882e-9 / std::sqrt(13.0);
    coefficients(37, 1) = coefficients(37, 1) - 1.4268108792e-11 / std::sqrt(17.0);
    coefficients(56, 1) = coefficients(56, 1) + 1.21439275882e-14 / std::sqrt(21.0);
}

} // namespace egm96
} // namespace tervala

using namespace tervala::egm96;

int CTervala::LoadEGMData(const char* /*fileName: the paths are fixed*/)
{
    // Start from zeros, so a failed or partial load never leaves values of an
    // earlier one behind.
    m_CorrCoefC = Zeros(kCoefficientCount, 1);
    m_CorrCoefS = Zeros(kCoefficientCount, 1);
    m_EgmCoef = Zeros(kCoefficientCount, 2);

    const ReadEnd corrections =
        readCorrectionFile(tervala::platform::hostPath(kCorrectionDevicePath), m_CorrCoefC, m_CorrCoefS);
    if (corrections == ReadEnd::NotOpened || corrections == ReadEnd::ReadError)
        return 0;

    bool complete = false;
    m_EgmCoef = DHCSIN(m_EgmCoef, nullptr, complete);
    if (m_EgmCoef(1, 1) == kNotLoaded)
        return 0;
    return complete ? 1 : 0;
}

Numbra CTervala::DHCSIN(Numbra& coefficients, const char* /*fileName: the path is fixed*/, bool& complete)
{
    const ReadEnd end = readGeopotentialFile(tervala::platform::hostPath(kGeopotentialDevicePath), coefficients);
    complete = end == ReadEnd::LastRecord;
    if (end == ReadEnd::NotOpened) {
        coefficients(1, 1) = kNotLoaded;
        return coefficients;
    }
    // Also after a file that ended early: what was read is then a model of
    // lower degree, and still needs the normal field removed.
    removeNormalZonals(coefficients);
    return coefficients;
}
