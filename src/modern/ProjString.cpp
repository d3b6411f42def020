#include "modern/ProjString.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <stdexcept>
#include <utility>

#include <tervala/Ellipsoid.hpp>

namespace tervala {
namespace projstring {
namespace {

// key -> value; a key given without '=' has no value.
using Keys = std::map<std::string, std::pair<bool, std::string>>;

// The ellipsoids of the datums PROJ names (PROJ's own table).
const std::map<std::string, std::string>& datumEllipsoids()
{
    static const std::map<std::string, std::string> table = {
        {"WGS84", "WGS84"},   {"NAD83", "GRS80"},          {"GGRS87", "GRS80"}, {"NAD27", "clrk66"},
        {"potsdam", "bessel"}, {"hermannskogel", "bessel"}, {"nzgd49", "intl"},  {"OSGB36", "airy"}};
    return table;
}

// Keys that do not change the projection of a point: accepted, not used.
const std::set<std::string> kIgnored = {"no_defs", "type", "wktext", "towgs84", "nadgrids", "geoidgrids"};
const std::set<std::string> kEllipsoidKeys = {"ellps", "datum", "a", "b", "rf", "f", "R"};
const std::set<std::string> kTmKeys = {"proj", "lat_0", "lon_0", "k", "k_0", "x_0", "y_0", "units", "to_meter", "pm"};
const std::set<std::string> kUtmKeys = {"proj", "zone", "south", "units", "to_meter", "pm"};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool split(const std::string& text, Keys& keys, std::string& error)
{
    std::size_t i = 0;
    while (i < text.size()) {
        if (isBlank(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !isBlank(text[end]))
            ++end;
        const std::string word = text.substr(i, end - i);
        i = end;
        if (word.size() < 2 || word[0] != '+') {
            error = "'" + word + "' is not a +key or +key=value of a PROJ string";
            return false;
        }
        const std::size_t eq = word.find('=');
        const std::string name = word.substr(1, eq == std::string::npos ? std::string::npos : eq - 1);
        if (keys.count(name) != 0) {
            error = "+" + name + " is given twice";
            return false;
        }
        keys[name] = eq == std::string::npos ? std::make_pair(false, std::string())
                                             : std::make_pair(true, word.substr(eq + 1));
    }
    return true;
}

bool has(const Keys& keys, const std::string& name) { return keys.count(name) != 0; }

// The number under `name`, or `fallback` when the key is absent (with
// `needed`, an absent key is an error).
bool number(const Keys& keys, const std::string& name, double fallback, bool needed, double& out, std::string& error)
{
    const auto found = keys.find(name);
    if (found == keys.end()) {
        if (needed) {
            error = "+" + name + " is needed";
            return false;
        }
        out = fallback;
        return true;
    }
    const std::string& text = found->second.second;
    char* end = nullptr;
    errno = 0;
    const double value = text.empty() ? 0 : std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(value) ||
        text.find_first_of("xXnN") != std::string::npos) {
        error = "+" + name + " must be a number, not '" + text + "'";
        return false;
    }
    out = value;
    return true;
}

bool ellipsoid(const Keys& keys, TmDefinition& out, std::string& error)
{
    // +R is a sphere of that radius whatever else is given, and +a alone a
    // sphere too, as in PROJ; 1/f = 0 stands for the sphere.
    const bool radius = has(keys, "R");
    if (radius || has(keys, "a")) {
        double a = 0, other = 0;
        if (!number(keys, radius ? "R" : "a", 0, true, a, error))
            return false;
        out.ellipsoidName.clear();
        out.a = a;
        if (radius) {
            out.inverseFlattening = 0;
        } else if (has(keys, "rf")) {
            if (!number(keys, "rf", 0, true, other, error))
                return false;
            out.inverseFlattening = other;
        } else if (has(keys, "f")) {
            if (!number(keys, "f", 0, true, other, error))
                return false;
            out.inverseFlattening = other == 0 ? 0 : 1.0 / other;
        } else if (has(keys, "b")) {
            if (!number(keys, "b", 0, true, other, error))
                return false;
            out.inverseFlattening = other == a ? 0 : a / (a - other);
        } else {
            out.inverseFlattening = 0;
        }
        try {
            Ellipsoid check(out.a, out.inverseFlattening);
        } catch (const std::invalid_argument& e) {
            error = e.what();
            return false;
        }
        return true;
    }
    std::string name = "GRS80";  // PROJ's default ellipsoid
    if (has(keys, "ellps")) {
        name = keys.at("ellps").second;
    } else if (has(keys, "datum")) {
        const std::string& datum = keys.at("datum").second;
        const auto found = datumEllipsoids().find(datum);
        if (found == datumEllipsoids().end()) {
            error = "+datum=" + datum + " is not a datum whose ellipsoid is known here; give +ellps";
            return false;
        }
        name = found->second;
    }
    try {
        const Ellipsoid e(name);
        out.ellipsoidName = name;
        out.a = e.a();
        out.inverseFlattening = e.inverseFlattening();
    } catch (const std::invalid_argument& e) {
        error = e.what();
        return false;
    }
    return true;
}

bool check(const Keys& keys, const std::set<std::string>& allowed, const std::string& proj, std::string& error)
{
    const auto given = keys.find("proj");
    if (given == keys.end() || given->second.second != proj) {
        error = "+proj=" + proj + " is needed, not " + (given == keys.end() ? "none" : "+proj=" + given->second.second);
        return false;
    }
    for (const auto& key : keys) {
        const std::string& name = key.first;
        if (allowed.count(name) == 0 && kEllipsoidKeys.count(name) == 0 && kIgnored.count(name) == 0) {
            error = "+" + name + " is not supported for +proj=" + proj;
            return false;
        }
    }
    double toMeter = 1;
    if ((has(keys, "units") && keys.at("units").second != "m") || !number(keys, "to_meter", 1, false, toMeter, error) ||
        toMeter != 1) {
        error = "only metres are supported (+units=m)";
        return false;
    }
    if (has(keys, "pm") && keys.at("pm").second != "greenwich" && keys.at("pm").second != "0") {
        error = "only the Greenwich prime meridian is supported (+pm)";
        return false;
    }
    return true;
}

bool isDigits(const std::string& s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

bool parseTm(const std::string& text, bool utmOnly, TmDefinition& out, std::string& error)
{
    Keys keys;
    if (!split(text, keys, error))
        return false;
    out = TmDefinition();
    const bool utm = utmOnly || (has(keys, "proj") && keys.at("proj").second == "utm");
    if (utm) {
        if (!check(keys, kUtmKeys, "utm", error))
            return false;
        const auto zone = keys.find("zone");
        if (zone == keys.end() || !isDigits(zone->second.second) || zone->second.second.size() > 2 ||
            std::atoi(zone->second.second.c_str()) < 1 || std::atoi(zone->second.second.c_str()) > 60) {
            error = "+zone=1..60 is needed";
            return false;
        }
        if (has(keys, "south") && keys.at("south").first) {
            error = "+south takes no value";
            return false;
        }
        out.utm = true;
        out.zone = std::atoi(zone->second.second.c_str());
        out.south = has(keys, "south");
        out.lon0 = out.zone * 6.0 - 183.0;
        out.scale = 0.9996;
        out.falseEasting = 500000.0;
        out.falseNorthing = out.south ? 1e7 : 0.0;
        return ellipsoid(keys, out, error);
    }
    if (!check(keys, kTmKeys, "tmerc", error))
        return false;
    if (has(keys, "k") && has(keys, "k_0")) {
        error = "give +k or +k_0, not both";
        return false;
    }
    if (!number(keys, "lat_0", 0, false, out.lat0, error) || !number(keys, "lon_0", 0, false, out.lon0, error) ||
        !number(keys, has(keys, "k_0") ? "k_0" : "k", 1, false, out.scale, error) ||
        !number(keys, "x_0", 0, false, out.falseEasting, error) ||
        !number(keys, "y_0", 0, false, out.falseNorthing, error))
        return false;
    if (!(out.lat0 >= -90 && out.lat0 <= 90)) {
        error = "+lat_0 must lie in -90..90, not " + keys.at("lat_0").second;
        return false;
    }
    if (!(out.scale > 0)) {
        error = "+" + std::string(has(keys, "k_0") ? "k_0" : "k") + " must be positive";
        return false;
    }
    return ellipsoid(keys, out, error);
}

} // namespace projstring
} // namespace tervala
