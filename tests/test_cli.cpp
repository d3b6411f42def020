// The command-line tool's parsers and converters: angles, fields, numbers,
// ellipsoid names, parameter files, common-point files and coefficient text.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "CommonPoints.h"
#include "Egm96Text.h"
#include "Ellipsoids.h"
#include "GridTestSupport.h"
#include "Io.h"
#include "Params.h"
#include "Svg.h"
#include "TestSupport.h"
#include "Text.h"
#include "estimation/Degeneracy.h"
#include "geoid/GridCoverage.h"
#include "projection/Domain.h"

using namespace tervala::cli;

// The parsers against the rows of tables/cli-parsers.txt: parser, input and
// the value expected, or "refused" (optionally ": " and text the messages
// must hold) for an input refused with a message. Text results are compared
// as written in the table: fields joined by '|', lists by ',', points as
// "id@line source > target" joined by "; ", messages by " / ".
TEST(CliText, ParsersFollowTheirTable)
{
    const char* delimiterNames[] = {"blank", "comma", "semicolon", "tab"};
    auto join = [](const auto& items, const char* separator) {
        std::ostringstream s;
        for (std::size_t i = 0; i < items.size(); ++i)
            s << (i > 0 ? separator : "") << items[i];
        return s.str();
    };
    int rows = 0;
    for (const testsupport::TableRow& row : testsupport::readTable("cli-parsers.txt")) {
        ASSERT_EQ(row.fields.size(), 3u) << "cli-parsers.txt line " << row.line;
        const std::string &kind = row.fields[0], &in = row.fields[1], &want = row.fields[2];
        const std::string parser = kind.substr(0, kind.find(':'));
        const std::string option = kind.find(':') == std::string::npos ? "" : kind.substr(kind.find(':') + 1);
        SCOPED_TRACE("cli-parsers.txt line " + std::to_string(row.line) + ": " + kind + " '" + in + "'");
        testsupport::saveSeed(parser == "angle" ? "fuzz_angle" : parser == "points" || parser == "params"
                                  ? "fuzz_common_points" : "fuzz_lines",
                              "table-" + std::to_string(row.line), in);
        ++rows;
        std::string error, got;
        std::vector<std::string> errors;
        double value = 0;
        bool ok = true, numeric = true;
        if (parser == "angle") {
            const AngleKind k = option == "lat" ? AngleKind::Latitude
                                : option == "lon" ? AngleKind::Longitude : AngleKind::Plain;
            ok = parseAngle(in, k, value, error);
        } else if (parser == "number") {
            ok = parseNumber(in, value, error);
        } else if (parser == "integer") {
            long n = 0;
            ok = parseInteger(in, 1, 60, n, error);
            value = static_cast<double>(n);
        } else if (parser == "ellipsoid") {
            NamedEllipsoid e{};
            ok = resolveEllipsoid(in, e, error);
            value = option == "a" ? e.a : e.inverseFlattening;
        } else {
            numeric = false;
            std::vector<double> list;
            std::vector<CommonPoint> points;
            ParamSet set;
            std::string records;
            if (parser == "list3") {
                ok = parseNumberList(in, 3, list, error);
                got = join(list, ",");
            } else if (parser == "fields") {
                got = join(option == "comma" ? splitDelimited(in, Delimiter::Comma) : splitFields(in), "|");
            } else if (parser == "delimiter") {
                got = delimiterNames[static_cast<int>(detectDelimiter(in))];
            } else if (parser == "pass-through") {
                got = isPassThrough(in) ? "yes" : "no";
            } else if (parser == "points") {
                const std::string model = option.substr(0, option.find('+'));
                const PointLayout layout{option.find("+geodetic-source") != std::string::npos,
                                         option.find("+geodetic-target") != std::string::npos};
                ok = parseCommonPoints(in, model, points, errors, layout);
                std::vector<std::string> shown;
                for (const CommonPoint& q : points)
                    shown.push_back(q.id + "@" + std::to_string(q.line) + " " + join(q.source, ",") + " > " +
                                    join(q.target, ",") + (q.sigma.empty() ? "" : " s " + join(q.sigma, ",")));
                got = join(shown, "; ");
            } else if (parser == "params") {
                ok = parseParamText(in, option, set, error);
                got = join(set.values, ",");
                if (!set.covarianceKeys.empty()) {
                    got += " cov " + join(set.covarianceKeys, ",");
                    for (const std::vector<double>& r : set.covariance)
                        got += " " + join(r, ",");
                }
            } else if (parser == "egm96-coefficients" || parser == "egm96-corrections") {
                ok = parser == "egm96-corrections" ? convertCorrectionText(in, records, errors)
                                                   : convertCoefficientText(in, records, errors);
                got = std::to_string(records.size()) + " bytes";
            } else {
                ADD_FAILURE() << "unknown parser " << parser;
            }
            if (!errors.empty())
                error = join(errors, " / ");
        }
        if (want.compare(0, 7, "refused") == 0) {
            EXPECT_FALSE(ok);
            EXPECT_FALSE(error.empty());
            // Each message in turn holds its part of the expected text.
            std::vector<std::string> parts;
            for (std::size_t at = 9; want.size() > 9 && at != std::string::npos + 3; at = want.find(" / ", at) + 3)
                parts.push_back(want.substr(at, want.find(" / ", at) - at));
            if (errors.empty())
                errors.push_back(error);
            if (!parts.empty()) {
                ASSERT_EQ(errors.size(), parts.size()) << error;
            }
            for (std::size_t i = 0; i < parts.size(); ++i)
                EXPECT_NE(errors[i].find(parts[i]), std::string::npos) << errors[i];
        } else if (numeric) {
            EXPECT_TRUE(ok) << error;
            EXPECT_NEAR(value, std::stod(want), 1e-12 * std::max(1.0, std::fabs(value)));
        } else {
            EXPECT_TRUE(ok) << error;
            EXPECT_EQ(got, want);
        }
    }
    EXPECT_GT(rows, 50);
}

namespace {

template <typename T>
T read(const std::string& bytes, std::size_t offset)
{
    T v;
    std::memcpy(&v, bytes.data() + offset, sizeof(T));
    return v;
}

} // namespace

TEST(CliEgm96Text, RecordLayout)
{
    std::string records;
    std::vector<std::string> errors;
    ASSERT_TRUE(convertCoefficientText("360 360 1 2\n2 0 -0.484165371736D-03 0 3.56D-11 0\n", records, errors));
    ASSERT_EQ(records.size(), 80u);
    // The (360, 360) record goes last whatever its place in the text.
    EXPECT_EQ(read<std::int32_t>(records, 0), 2);
    EXPECT_EQ(read<std::int32_t>(records, 4), 0);
    EXPECT_EQ(read<double>(records, 8), -0.484165371736e-03);
    EXPECT_EQ(read<double>(records, 24), 3.56e-11);
    EXPECT_EQ(read<std::int32_t>(records, 40), 360);
    EXPECT_EQ(read<double>(records, 56), 2.0);

    ASSERT_TRUE(convertCorrectionText("0 0 1.5 0\n", records, errors));
    ASSERT_EQ(records.size(), 24u);
    EXPECT_EQ(read<double>(records, 8), 1.5);
}

// Converting the published binary files to text and back gives the same bytes:
// what egm96-from-text writes is what the loader was made for.
TEST(CliEgm96Text, RoundTripOfTheRealFiles)
{
    TERVALA_SKIP_WITHOUT(testsupport::haveEgm96Files(),
                         "real coefficient files not found in " << testsupport::egm96Folder());
    auto slurp = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    };
    const std::string egm = slurp(testsupport::egm96Folder() + "/EGM96.dat");
    const std::string corr = slurp(testsupport::egm96Folder() + "/CORRCOEF.dat");
    std::string coefText, corrText;
    char line[160];
    for (std::size_t off = 0; off + 40 <= egm.size(); off += 40) {
        // Half the lines with Fortran exponents, as published files have them.
        std::snprintf(line, sizeof line, "%d %d %.17e %.17e %.17g %.17g\n", read<std::int32_t>(egm, off),
                      read<std::int32_t>(egm, off + 4), read<double>(egm, off + 8), read<double>(egm, off + 16),
                      read<double>(egm, off + 24), read<double>(egm, off + 32));
        std::string s = line;
        if ((off / 40) % 2 == 1)
            for (char& c : s)
                if (c == 'e')
                    c = 'D';
        coefText += s;
    }
    for (std::size_t off = 0; off + 24 <= corr.size(); off += 24) {
        std::snprintf(line, sizeof line, "%d %d %.17g %.17g\n", read<std::int32_t>(corr, off),
                      read<std::int32_t>(corr, off + 4), read<double>(corr, off + 8), read<double>(corr, off + 16));
        corrText += line;
    }
    std::string egmBack, corrBack;
    std::vector<std::string> errors;
    ASSERT_TRUE(convertCoefficientText(coefText, egmBack, errors)) << (errors.empty() ? "" : errors[0]);
    ASSERT_TRUE(convertCorrectionText(corrText, corrBack, errors)) << (errors.empty() ? "" : errors[0]);
    EXPECT_TRUE(egmBack == egm) << "EGM96.dat differs after the round trip";
    EXPECT_TRUE(corrBack == corr) << "CORRCOEF.dat differs after the round trip";
}

TEST(CliSvg, ScaleBarsAndEscaping)
{
    // The same doubles as the literals on every maths library.
    EXPECT_EQ(niceLength(0.037), 0.02);
    EXPECT_EQ(niceLength(0.06), 0.05);
    EXPECT_EQ(niceLength(0.001), 0.001);
    EXPECT_EQ(niceLength(0.0999), 0.05);
    EXPECT_EQ(niceLength(1000.0), 1000.0);
    EXPECT_EQ(niceLength(2.5e7), 2e7);
    EXPECT_EQ(niceLength(7.0), 5.0);
    EXPECT_EQ(niceLength(1.0), 1.0);
    EXPECT_EQ(niceLength(0.0), 1.0);
    const std::string svg = residualPlot({{"P<1>", 0, 0, 0.01, 0.0, false}, {"P2", 1000, 500, 0.0, -0.03, true}}, "t & t", {"east", "north & up"});
    EXPECT_NE(svg.find("P&lt;1&gt;"), std::string::npos);
    EXPECT_NE(svg.find("t &amp; t"), std::string::npos);
    EXPECT_NE(svg.find("P2 (w-test failed)"), std::string::npos);
    EXPECT_NE(svg.find(">north &amp; up (m)"), std::string::npos);
    EXPECT_NE(svg.find("residuals: 2 cm"), std::string::npos);
    EXPECT_EQ(svg.rfind("</svg>"), svg.size() - 7);
}

// Global grids, and the wrap of a grid spanning 360 degrees, read only stored
// nodes, but a band has no pole to mirror across; a regional grid keeps a
// margin of two spacings for a 6 x 6 window (its exact bounds: ModernGeoid in
// test_modern, through GeoidGrid).
TEST(CliGrid, WindowsMadeOfStoredNodes)
{
    namespace g = tervala::grid;
    testsupport::DataDir data("cli-grid-coverage");
    auto load = [&](int model, const char* name, double north, double step, int rows, int cols, CTervala& t) {
        const gridtest::GridFile f{north, 19.0 * (step < 1), step, step, rows, cols,
                                   std::vector<std::uint32_t>(rows * cols, gridtest::bitsOf(1.0f))};
        data.write(name, f.bytes());
        ASSERT_EQ(t.LoadKEGMData(model), 1) << name;
    };
    CTervala regional, global, band;
    load(13, "kgeoid13.dat", 62.0, 0.1, 26, 31, regional);  // 59.5-62 N, 19-22 E
    load(2008, "egm2008p.dat", 90.0, 2.0, 91, 180, global);
    load(14, "kgeoid14.dat", 60.0, 2.0, 61, 180, band);     // 60 S to 60 N
    EXPECT_FALSE(g::gridCoverage(g::gridView(regional)).global());
    EXPECT_NEAR(g::gridCoverage(g::gridView(regional)).marginLatitude, 0.2, 1e-12);
    for (const auto& p : {std::make_pair(89.9, 359.9), std::make_pair(-89.9, 0.1), std::make_pair(0.0, -179.0)})
        EXPECT_TRUE(g::windowIsStored(g::gridView(global), p.first, p.second)) << p.first << " " << p.second;
    EXPECT_TRUE(g::windowIsStored(g::gridView(band), 0.0, 359.5));
    EXPECT_FALSE(g::windowIsStored(g::gridView(band), 59.5, 10.0));
    EXPECT_FALSE(g::windowIsStored(g::gridView(CTervala()), 0.0, 0.0));
}

// A parameter file written by fit, with its convention line, and the PROJ
// string of a set read back to the same doubles and convention (a digit
// short of 17 or a swapped key changes them). (Refusals: cli-parsers.txt.)
TEST(CliParams, ConventionLineAndProjStringRoundTrip)
{
    const ParamSet set{"molodensky-badekas", modelKeys("molodensky-badekas"),
                       {3875000.1, 116000.3, 5047000.7, -115.8, 474.99, 674.11, -1.16, 1.16, -2.31, -1.63 + 1e-13},
                       "position-vector"};
    ParamSet back;
    std::string error;
    testsupport::saveSeed("fuzz_common_points", "params-molodensky-badekas", formatParamText(set, "seed"));
    ASSERT_TRUE(parseParamText(formatParamText(set, "test"), set.model, back, error)) << error;
    EXPECT_EQ(back.values, set.values);
    EXPECT_EQ(back.convention, "position-vector");

    SevenParameters p;
    p.tx = -115.8, p.ty = 474.99, p.tz = 674.11, p.s = -1.16, p.rx = 1.16, p.ry = -2.31, p.rz = -1.63 + 1e-13;
    p.convention = tervala::Convention::CoordinateFrame;
    p.origin = tervala::Geocentric{3875000.1 + 1e-9, 116000.3, 5047000.7};
    for (const bool withOrigin : {false, true}) {
        SevenParameters q;
        ASSERT_TRUE(parseProjString(formatProjString(p, withOrigin), withOrigin, q, error)) << error;
        const double want[] = {p.tx, p.ty, p.tz, p.s, p.rx, p.ry, p.rz, withOrigin ? p.origin.x : 0.0,
                               withOrigin ? p.origin.y : 0.0, withOrigin ? p.origin.z : 0.0};
        const double got[] = {q.tx, q.ty, q.tz, q.s, q.rx, q.ry, q.rz, q.origin.x, q.origin.y, q.origin.z};
        for (int k = 0; k < 10; ++k)
            EXPECT_EQ(got[k], want[k]) << k;
        EXPECT_TRUE(q.convention == tervala::Convention::CoordinateFrame);
    }
}
