// Loading the EGM96 coefficient files: LoadEGMData and DHCSIN.
//
// Both files are flat sequences of little-endian records without header or
// count. Records are decoded byte by byte, so the loader does not depend on
// the host's byte order, and each record is fetched with one fread of its
// size (stdio buffers the file).
#include "geoid/SphericalHarmonic.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "core/Access.h"
#include "geoid/CheckFile.h"
#include "platform/ByteOrder.h"
#include "platform/DataFolder.h"
#include "platform/Files.h"
#include "tervala/Tervala.h"

namespace tervala {
namespace egm96 {
namespace {

using platform::LoadProblem;
using platform::LoadStatus;

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
    record = Record{platform::littleEndianInt32(raw), platform::littleEndianInt32(raw + 4),
                    platform::littleEndianDouble(raw + 8), platform::littleEndianDouble(raw + 16)};
    return true;
}

// Passes every complete record whose (n, m) lies in 0 <= m <= n <= 360 to
// store(k, record), until store returns false or the file ends. Records
// outside that range are skipped: their index would fall outside the tables.
template <typename Store>
ReadEnd forEachRecord(const std::string& path, int recordSize, LoadStatus& opened, Store store)
{
    const platform::File file = platform::openRegularFile(path, opened);
    if (!file)
        return ReadEnd::NotOpened;
    Record record;
    while (nextRecord(file.get(), recordSize, record)) {
        if (isDegreeOrder(record.n, record.m) && !store(coefficientIndex(record.n, record.m), record))
            return ReadEnd::LastRecord;
    }
    return std::ferror(file.get()) ? ReadEnd::ReadError : ReadEnd::EndOfFile;
}

ReadEnd readGeopotentialFile(const std::string& path, Numbra& coefficients, LoadStatus& opened)
{
    return forEachRecord(path, kGeopotentialRecordSize, opened, [&](int k, const Record& record) {
        coefficients(k, 1) = record.cosine;
        coefficients(k, 2) = record.sine;
        return !(record.n == kMaxDegree && record.m == kMaxDegree);
    });
}

LoadStatus readError(const std::string& path)
{
    return platform::loadFailure(path, LoadProblem::ReadError, "the file could not be read to its end (read error)");
}

// A file that does not match its check file, as a refused load; ok() when it
// matches or has none.
LoadStatus verified(const std::string& path)
{
    check::CheckRecord record;
    std::string problem;
    const check::CheckResult result = check::verifyDataFile(path, record, problem);
    if (result == check::CheckResult::Mismatch || result == check::CheckResult::BadCheckFile)
        return platform::loadFailure(path, LoadProblem::BadContents, problem);
    return LoadStatus{};
}

// The first value of `table`'s column beyond bound(n), as a refused load of
// `path`; ok() when there is none.
template <typename Bound>
LoadStatus firstImpossible(const std::string& path, const Numbra& table, int column, const char* what, Bound bound)
{
    for (int n = 0; n <= kMaxDegree; ++n)
        for (int m = 0; m <= n; ++m) {
            const double v = table(coefficientIndex(n, m), column);
            if (std::fabs(v) <= bound(n))
                continue;
            char reason[200];
            std::snprintf(reason, sizeof reason,
                          "the %s coefficient of degree %d, order %d is %.6g, beyond the %.3g any real model has "
                          "there: the file is damaged",
                          what, n, m, v, bound(n));
            return platform::loadFailure(path, LoadProblem::BadContents, reason);
        }
    return LoadStatus{};
}

} // namespace

ReadEnd readCorrectionFile(const std::string& path, Numbra& cosine, Numbra& sine, LoadStatus& opened)
{
    return forEachRecord(path, kCorrectionRecordSize, opened, [&](int k, const Record& record) {
        cosine(k) = record.cosine;
        sine(k) = record.sine;
        return true;
    });
}

ReadEnd readGeopotentialModel(const std::string& path, Numbra& coefficients, LoadStatus& opened)
{
    const ReadEnd end = readGeopotentialFile(path, coefficients, opened);
    if (end == ReadEnd::NotOpened)
        coefficients(1, 1) = kNotLoaded;
    else
        removeNormalZonals(coefficients);
    return end;
}

double geopotentialBound(int n) { return n <= 1 ? 1.0 : n == 2 ? 1e-3 : 1e-3 / (double(n) * n); }

double correctionBound(int n) { return n == 0 ? 10.0 : std::min(10.0, 5e4 / (double(n) * n)); }

Egm96Load loadEgm96Files(const std::string& correctionPath, const std::string& geopotentialPath)
{
    // Start from zeros, so a failed or partial load never leaves values of an
    // earlier one behind.
    Egm96Load load;
    Egm96Coefficients& c = load.coefficients;
    c.correctionCos = Zeros(kCoefficientCount, 1);
    c.correctionSin = Zeros(kCoefficientCount, 1);
    c.geopotential = Zeros(kCoefficientCount, 2);

    // A damaged correction file is one that cannot be used: every table zero.
    auto refuseCorrections = [&](LoadStatus status) {
        c.correctionCos = Zeros(kCoefficientCount, 1);
        c.correctionSin = Zeros(kCoefficientCount, 1);
        load.status = std::move(status);
        return std::move(load);
    };
    const ReadEnd corrections = readCorrectionFile(correctionPath, c.correctionCos, c.correctionSin, load.status);
    if (corrections == ReadEnd::NotOpened)
        return load;
    if (corrections == ReadEnd::ReadError) {
        load.status = readError(correctionPath);
        return load;
    }
    LoadStatus bad = verified(correctionPath);
    if (bad.ok())
        bad = firstImpossible(correctionPath, c.correctionCos, 1, "correction cosine", correctionBound);
    if (bad.ok())
        bad = firstImpossible(correctionPath, c.correctionSin, 1, "correction sine", correctionBound);
    if (!bad.ok())
        return refuseCorrections(std::move(bad));

    // A damaged geopotential file likewise: zeros and the mark of a file that
    // could not be opened.
    auto refuseGeopotential = [&](LoadStatus status) {
        c.geopotential = Zeros(kCoefficientCount, 2);
        c.geopotential(1, 1) = kNotLoaded;
        load.status = std::move(status);
        return std::move(load);
    };
    if (platform::isRegularFile(geopotentialPath)) {
        bad = verified(geopotentialPath);
        if (!bad.ok())
            return refuseGeopotential(std::move(bad));
    }
    const ReadEnd end = readGeopotentialModel(geopotentialPath, c.geopotential, load.status);
    if (end == ReadEnd::NotOpened)
        return load;
    if (c.geopotential(1, 1) != kNotLoaded) {
        // After the normal field's zonals are removed: what is left of C20
        // is small in every real model.
        bad = firstImpossible(geopotentialPath, c.geopotential, 1, "cosine", geopotentialBound);
        if (bad.ok())
            bad = firstImpossible(geopotentialPath, c.geopotential, 2, "sine", geopotentialBound);
        if (!bad.ok())
            return refuseGeopotential(std::move(bad));
    }
    if (c.geopotential(1, 1) == kNotLoaded)
        load.status = platform::loadFailure(geopotentialPath, LoadProblem::BadContents,
                                            "its (0, 0) cosine coefficient is -9999.999, the value that marks a "
                                            "failed load");
    else if (end == ReadEnd::EndOfFile)
        load.status = platform::loadFailure(geopotentialPath, LoadProblem::Truncated,
                                            "the file ends before its (360, 360) record");
    else if (end == ReadEnd::ReadError)
        load.status = readError(geopotentialPath);
    return load;
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

platform::LoadStatus TervalaAccess::loadEgm96(CTervala& t)
{
    return loadEgm96From(t, platform::dataFilePath(egm96::kCorrectionFileName),
                         platform::dataFilePath(egm96::kGeopotentialFileName));
}

platform::LoadStatus TervalaAccess::loadEgm96From(CTervala& t, const std::string& correctionPath,
                                                  const std::string& geopotentialPath)
{
    egm96::Egm96Load load = egm96::loadEgm96Files(correctionPath, geopotentialPath);
    t.m_CorrCoefC = std::move(load.coefficients.correctionCos);
    t.m_CorrCoefS = std::move(load.coefficients.correctionSin);
    t.m_EgmCoef = std::move(load.coefficients.geopotential);
    return std::move(load.status);
}

} // namespace tervala

int CTervala::LoadEGMData(const char* /*fileName: the paths are fixed*/)
{
    return tervala::TervalaAccess::loadEgm96(*this).ok() ? 1 : 0;
}

Numbra CTervala::DHCSIN(Numbra& coefficients, const char* /*fileName: the path is fixed*/, bool& complete)
{
    tervala::platform::LoadStatus opened;
    const tervala::egm96::ReadEnd end = tervala::egm96::readGeopotentialModel(
        tervala::platform::dataFilePath(tervala::egm96::kGeopotentialFileName), coefficients, opened);
    complete = end == tervala::egm96::ReadEnd::LastRecord;
    return coefficients;
}
