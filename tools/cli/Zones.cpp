#include "Zones.h"

#include <fmt/format.h>

#include "tervala/Polar.hpp"

namespace tervala {
namespace cli {
namespace {

std::string lower(const std::string& s)
{
    std::string out;
    for (char c : s)
        out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

std::string zoneLabel(int zone, bool south, double latitude)
{
    if (zone == 0)
        return south ? "south" : "north";
    const char band = utmBand(latitude);
    if (band != 0 && (band < 'N') == south)
        return std::to_string(zone) + band;
    return std::to_string(zone) + (south ? "south" : "north");
}

bool looksLikeZone(const std::string& field, bool pole)
{
    const std::string w = lower(field);
    if (pole && (w == "north" || w == "south" || w == "n" || w == "s"))
        return true;
    std::size_t i = 0;
    while (i < w.size() && isDigit(w[i]))
        ++i;
    if (i == 0 || i == w.size())
        return false;
    for (std::size_t k = i; k < w.size(); ++k)
        if (w[k] < 'a' || w[k] > 'z')
            return false;
    return true;
}

bool parseZone(const std::string& field, bool pole, ZoneField& out, std::string& error)
{
    const std::string expected = std::string("expected a zone such as 52S (zone and latitude band C to X), 52north "
                                             "or 52south") +
                                 (pole ? ", or north / south for the polar grids" : "") + ", got '" + field + "'";
    const std::string w = lower(field);
    out = ZoneField{};
    if (pole && (w == "north" || w == "n" || w == "south" || w == "s")) {
        out.south = w[0] == 's';
        return true;
    }
    std::size_t i = 0;
    while (i < w.size() && isDigit(w[i]))
        ++i;
    if (i == 0 || i > 2 || i == w.size()) {
        error = expected;
        return false;
    }
    const int zone = std::stoi(w.substr(0, i));
    if (zone < 1 || zone > 60) {
        error = "zone " + std::to_string(zone) + " is not 1..60 in '" + field + "'";
        return false;
    }
    const std::string suffix = w.substr(i);
    out.zone = zone;
    if (suffix == "north" || suffix == "south") {
        out.south = suffix == "south";
        return true;
    }
    double s = 0, n = 0;
    const char band = static_cast<char>(suffix[0] - 'a' + 'A');
    if (suffix.size() != 1 || !utmBandLimits(band, s, n)) {
        error = "'" + field.substr(i) + "' is not a latitude band (C to X without I and O) nor north/south; " +
                expected;
        return false;
    }
    out.band = band;
    out.south = band < 'N';
    return true;
}

bool bandAgrees(const ZoneField& zone, const std::string& field, double latitude, std::string& error)
{
    double s = 0, n = 0;
    if (zone.band == 0 || !utmBandLimits(zone.band, s, n))
        return true;
    constexpr double kSlack = 1e-5;  // degrees, about 1 m
    if (latitude >= s - kSlack && latitude <= n + kSlack)
        return true;
    error = fmt::format("band {} of '{}' covers latitudes {} to {}, but the northing gives {:.6f} (the band "
                        "contradicts the northing; write the zone as {}north or {}south to give only the "
                        "hemisphere)",
                        zone.band, field, s, n, latitude, zone.zone, zone.zone);
    return false;
}

} // namespace cli
} // namespace tervala
