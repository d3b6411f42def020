// The bodies of the fuzzing harnesses. Each takes arbitrary bytes, drives one
// parser or loader with them and aborts when an invariant breaks. The libFuzzer
// programs (fuzz_*.cpp) call them, and the regular test suite replays every
// seed and every saved crashing input through them (tests/test_fuzz_inputs.cpp).
#ifndef TERVALA_FUZZ_HARNESSES_H
#define TERVALA_FUZZ_HARNESSES_H

#include "CommonPoints.h"
#include "Ellipsoids.h"
#include "Params.h"
#include "Text.h"
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace tervala {
namespace fuzz {

// Fuzzes the angle parser with every angle kind: it must return true or false
// with a message, never crash, and any accepted latitude must lie in range.

inline int fuzzAngle(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    using tervala::cli::AngleKind;
    for (AngleKind kind : {AngleKind::Latitude, AngleKind::Longitude, AngleKind::Plain}) {
        double v = 0;
        std::string error;
        const bool ok = tervala::cli::parseAngle(text, kind, v, error);
        if (ok && (!std::isfinite(v) || (kind == AngleKind::Latitude && std::fabs(v) > 90)))
            std::abort();
        if (!ok && error.empty())
            std::abort();
    }
    return 0;
}

// Fuzzes the line handling of the coordinate subcommands: splitting into
// fields, then numbers and angles, then the parameter-list and ellipsoid
// parsers on the same text.

inline int fuzzLines(const std::uint8_t* data, std::size_t size)
{
    using namespace tervala::cli;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (isPassThrough(text))
        return 0;
    const std::vector<std::string> fields = splitFields(text);
    for (const std::string& f : fields) {
        if (f.empty() || f.find_first_of(" \t,#") != std::string::npos)
            std::abort();  // fields never hold separators
        double v = 0;
        std::string error;
        if (parseNumber(f, v, error) && !std::isfinite(v))
            std::abort();
        parseAngle(f, AngleKind::Longitude, v, error);
        long n = 0;
        parseInteger(f, 1, 60, n, error);
    }
    std::vector<double> list;
    std::string error;
    if (parseNumberList(text, 7, list, error) && list.size() != 7)
        std::abort();
    NamedEllipsoid e{};
    if (resolveEllipsoid(text, e, error) && !(e.a > 0 && e.inverseFlattening > 1))
        std::abort();
    return 0;
}

// Fuzzes the common-point file reader of `tervala fit` for every model, and
// the parameter-file reader that the transform subcommands use.

inline int fuzzCommonPoints(const std::uint8_t* data, std::size_t size)
{
    using namespace tervala::cli;
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const char* model : {"helmert2d", "height", "bursa-wolf", "molodensky-badekas"}) {
        std::vector<CommonPoint> points;
        std::vector<std::string> errors;
        const bool ok = parseCommonPoints(text, model, points, errors);
        if (ok != errors.empty())
            std::abort();
        std::size_t ns = 0, nt = 0;
        commonPointLayout(model, ns, nt);
        for (const CommonPoint& p : points)
            if (p.source.size() != ns || p.target.size() != nt)
                std::abort();
        ParamSet set;
        std::string error;
        if (parseParamText(text, model, set, error) && set.values.size() != modelKeys(model).size())
            std::abort();
    }
    return 0;
}

} // namespace fuzz
} // namespace tervala

#endif
