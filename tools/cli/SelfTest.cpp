// tervala selftest: the published vectors of the test tables, compiled into
// the tool, run on this machine; one line per group with the worst
// difference and its tolerance.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Commands.h"
#include "Ellipsoids.h"
#include "Io.h"
#include "tervala/Datum.hpp"
#include "tervala/Polar.hpp"
#include "tervala/Projection.hpp"

namespace tervala {
namespace cli {

struct EmbeddedTable {
    const char* name;
    const char* text;
};
extern const EmbeddedTable kEmbeddedTables[];
extern const std::size_t kEmbeddedTableCount;

namespace {

// The rows of a table's text: blank-separated words, '#' starts a comment.
// Each row ends with its line number as one more word, for messages.
std::vector<std::vector<std::string>> parseRows(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::vector<std::string> row;
        for (std::string w; words >> w;)
            row.push_back(w);
        if (!row.empty()) {
            row.push_back(std::to_string(number));
            rows.push_back(row);
        }
    }
    return rows;
}

std::string embeddedText(const std::string& table)
{
    for (std::size_t i = 0; i < kEmbeddedTableCount; ++i)
        if (table == kEmbeddedTables[i].name)
            return kEmbeddedTables[i].text;
    throw std::runtime_error("no embedded table " + table);
}

// The rows of an embedded table without their line numbers.
std::vector<std::vector<std::string>> rowsOf(const std::string& table)
{
    std::vector<std::vector<std::string>> rows = parseRows(embeddedText(table));
    for (auto& row : rows)
        row.pop_back();
    return rows;
}

// The worst |difference| / tolerance of a group, and its parts.
struct Group {
    int cases = 0, failed = 0;
    double worst = 0, worstTolerance = 0;  // the case with the largest ratio
    double ratio = -1;
    std::string firstFailure;
    void check(double got, double want, double tolerance, const std::string& what)
    {
        const double d = std::fabs(got - want);
        const double r = std::isnan(d) ? INFINITY : d / tolerance;
        ++cases;
        if (r > ratio) {
            ratio = r;
            worst = d;
            worstTolerance = tolerance;
        }
        if (!(d <= tolerance)) {
            if (failed++ == 0)
                firstFailure = what;
        }
    }
};

Ellipsoid named(const std::string& text)
{
    NamedEllipsoid e;
    std::string error;
    if (!resolveEllipsoid(text, e, error))
        throw std::runtime_error(error);
    return Ellipsoid(e.a, e.inverseFlattening);
}

double angleDifference(double a, double b) { return std::remainder(a - b, 360.0); }

// Runs one row of selftest.txt into its group.
// The row ends with its line number (see parseRows); `table` names it in
// messages.
void runRow(std::vector<std::string> f, const std::string& table, CTervala* egm,
            std::map<std::string, Group>& groups)
{
    const std::string where = table + " line " + f.back();
    f.pop_back();
    const std::size_t eq = std::find(f.begin(), f.end(), "=") - f.begin();
    if (eq >= f.size() || f.size() < 4 || eq < 3)
        throw std::runtime_error(where + ": expected 'group function arguments = expected values tolerance'");
    const std::string& fn = f[1];
    auto num = [&](std::size_t i) {
        std::size_t used = 0;
        double v = NAN;
        try {
            v = i < f.size() ? std::stod(f[i], &used) : NAN;
        } catch (const std::exception&) {
            used = 0;
        }
        if (i >= f.size() || used != f[i].size() || !std::isfinite(v))
            throw std::runtime_error(where + ": field " + std::to_string(i + 1) + " (" +
                                     (i < f.size() ? "'" + f[i] + "'" : "missing") + ") is not a finite number");
        return v;
    };
    std::vector<double> want;
    for (std::size_t i = eq + 1; i + 1 < f.size(); ++i)
        want.push_back(num(i));
    const double tol = num(f.size() - 1);
    std::string what = where + ":";
    for (std::size_t i = 1; i < eq; ++i)
        what += " " + f[i];
    std::vector<double> got;
    if (fn == "geocentric") {
        const Geocentric c = named(f[2]).toGeocentric(Geodetic{num(3), num(4), num(5)});
        got = {c.x, c.y, c.z};
    } else if (fn == "geodetic" || fn == "geodetic-h") {
        const Geodetic g = named(f[2]).toGeodetic(Geocentric{num(3), num(4), num(5)});
        got = fn == "geodetic" ? std::vector<double>{g.latitude, g.longitude} : std::vector<double>{g.height};
    } else if (fn == "helmert7cf") {
        const Helmert7 h(num(2), num(3), num(4), num(5), num(6), num(7), num(8), Convention::CoordinateFrame);
        const Geocentric c = h.forward(Geocentric{num(9), num(10), num(11)});
        got = {c.x, c.y, c.z};
    } else if (fn == "tm" || fn == "tm-scale") {
        const TransverseMercator tm(named(f[2]), num(3), num(4), num(5), num(6), num(7));
        const ProjectedWithScale p = tm.forwardWithScale(num(8), num(9));
        got = fn == "tm" ? std::vector<double>{p.northing, p.easting}
                         : std::vector<double>{want[0] + angleDifference(p.convergence, want[0]), p.scale};
    } else if (fn == "utm") {
        const Projected p = Utm(static_cast<int>(num(3)), num(4) != 0, named(f[2])).forward(num(5), num(6));
        got = {p.northing, p.easting};
    } else if (fn == "egm96") {
        if (egm == nullptr)
            return;
        got = {egm->EGM96GeoidHeight(num(2), num(3))};
    } else {
        throw std::runtime_error(where + ": unknown function '" + fn +
                                 "' (expected geocentric, geodetic, geodetic-h, helmert7cf, tm, tm-scale, utm or egm96)");
    }
    Group& g = groups[f[0]];
    for (std::size_t i = 0; i < want.size(); ++i)
        g.check(i < got.size() ? got[i] : NAN, want[i], tol, what);
}

// The UTM/UPS and MGRS tables of GeoConvert's answers.
void runPolar(std::map<std::string, Group>& groups)
{
    const UtmUps grids;
    const Mgrs mgrs;
    Group& g = groups["utmups"];
    for (const auto& f : rowsOf("utmups-geoconvert.txt")) {
        const double lat = std::stod(f[0]), lon = std::stod(f[1]);
        const UtmUpsPoint p = grids.forward(lat, lon);
        const bool ups = f[3] == "0";
        const double tol = 1e-8;  // GeoConvert prints nanometres
        const std::string what = f[0] + " " + f[1];
        g.check(p.zone, std::stod(f[3]), 0, what);
        g.check(p.north ? 1 : 0, f[4] == "n" ? 1 : 0, 0, what);
        g.check(p.easting, std::stod(f[5]), tol, what);
        g.check(p.northing, std::stod(f[6]), tol, what);
        // MGRS at 1 m, from the 1 mm reference of the table, where the
        // coordinates are not within the tolerance of a whole metre.
        const std::string& ref = f[9];
        const double e = std::stod(f[5]), n = std::stod(f[6]);
        if (ups || (std::fabs(e - std::round(e)) > tol && std::fabs(n - std::round(n)) > tol)) {
            const std::size_t head = ref.size() - 16;
            const std::string want = ref.substr(0, head) + ref.substr(head, 5) + ref.substr(head + 8, 5);
            groups["mgrs"].check(mgrs.forward(lat, lon, 5) == want ? 0 : 1, 0, 0, what + " " + want);
        }
    }
    Group& r = groups["mgrs"];
    for (const auto& f : rowsOf("mgrs-reverse-geoconvert.txt")) {
        const double lat = std::stod(f[2]), lon = std::stod(f[3]);
        try {
            const Mgrs::Square q = mgrs.reverse(f[0]);
            const double tol = 1e-11;
            r.check(q.latitude, lat, tol, f[0]);
            r.check(lat + angleDifference(q.longitude, lon) * std::cos(lat * 0.017453292519943295), lat, tol, f[0]);
        } catch (const std::invalid_argument&) {
            // A centre beyond the zone's series is refused: right only there.
            const Utm utm(std::stoi(f[0].substr(0, 2)));
            r.check(std::fabs(angleDifference(lon, utm.centralMeridian())) > utm.maxOffset() ? 0 : 1, 0, 0, f[0]);
        }
    }
    for (const auto& f : rowsOf("mgrs-malformed.txt")) {
        bool refused = false;
        try {
            mgrs.reverse(f[0]);
        } catch (const std::invalid_argument& e) {
            refused = std::string(e.what()).find(f[1]) != std::string::npos;
        }
        r.check(refused == (f[1] != "none") ? 0 : 1, 0, 0, f[0]);
    }
}

} // namespace

void addSelfTestCommand(CLI::App& app, Context& ctx, Registry& registry)
{
    CLI::App* selftest = app.add_subcommand(
        "selftest", "Run the published test vectors compiled into this program (worked examples, datum example, "
                    "Transverse Mercator against the exact projection, UTM/UPS and MGRS against GeoConvert, EGM96 "
                    "grid nodes when the EGM96 files are found); one line per group, exit 1 on any failure");
    static std::vector<std::string> tables;
    selftest->add_option("--table", tables,
                         "Also run the rows of this file (the built-in table's format: group function arguments = "
                         "expected values tolerance; see docs/tool.md); its groups are reported after the "
                         "built-in ones. Repeatable");
    selftest->add_option("--data-dir", ctx.dataDir, "Folder holding EGM96.dat and CORRCOEF.dat (overrides TERVALA_DATA_DIR)");
    registry.add(selftest, [] {
        std::map<std::string, Group> groups;
        CTervala egm;
        const bool haveEgm = egm.LoadEGMData(nullptr) == 1;
        try {
            for (auto row : parseRows(embeddedText("selftest.txt")))
                runRow(row, "selftest.txt", haveEgm ? &egm : nullptr, groups);
            runPolar(groups);
            for (const std::string& path : tables) {
                std::string text, error;
                if (!readFile(path, text, error))
                    throw std::runtime_error(error);
                skipByteOrderMark(text);
                for (auto row : parseRows(text))
                    runRow(row, path, haveEgm ? &egm : nullptr, groups);
            }
        } catch (const std::exception& e) {
            report("selftest", e.what());
            return 2;
        }
        int failed = 0;
        std::vector<std::string> order = {"worked", "datum", "tm", "utmups", "mgrs", "egm96"};
        for (const auto& entry : groups)
            if (std::find(order.begin(), order.end(), entry.first) == order.end())
                order.push_back(entry.first);
        for (const std::string& name : order) {
            auto it = groups.find(name);
            if (it == groups.end() || it->second.cases == 0) {
                std::printf("%-7s skipped: %s\n", name.c_str(),
                            name == "egm96" ? "EGM96.dat and CORRCOEF.dat not found (give --data-dir "
                                              "or set TERVALA_DATA_DIR)"
                                            : "no cases");
                continue;
            }
            const Group& g = it->second;
            std::printf("%-7s %s  %d cases  worst difference %.3g (tolerance %.3g)%s%s\n", name.c_str(),
                        g.failed ? "FAIL" : "pass", g.cases, g.worst, g.worstTolerance,
                        g.failed ? ", first failure: " : "", g.failed ? g.firstFailure.c_str() : "");
            failed += g.failed ? 1 : 0;
        }
        std::printf("%s\n", failed ? "selftest FAILED" : "selftest passed");
        return failed ? 1 : 0;
    });
}

} // namespace cli
} // namespace tervala
