// The geoid a command takes its undulations N from: the EGM96 model or a
// geoid grid file, with a line that names it for the user, and the
// orthometric height H = h - N formed from it.
#ifndef TERVALA_TOOLS_CLI_GEOIDSOURCE_H
#define TERVALA_TOOLS_CLI_GEOIDSOURCE_H

#include <memory>
#include <string>
#include <vector>

#include <tervala/Geoid.hpp>

#include "Io.h"

namespace tervala {
namespace cli {

class GeoidSource {
public:
    // EGM96.dat and CORRCOEF.dat in `folder`; false with a message naming
    // the file at fault.
    bool loadEgm96(const std::string& folder, std::string& error);
    // A grid file by path; `label` says how it was chosen (for the note).
    bool loadGrid(const std::string& path, const std::string& label, std::string& error);

    // N (metres) at latitude, longitude (degrees); false with a reason when
    // the source has no value there (a point outside a grid or too near the
    // edge of a regional one).
    bool undulation(double lat, double lon, double& n, std::string& error) const;

    // What gave N, for example "grid file ./egm2008p.dat (--model 2008)".
    const std::string& description() const { return description_; }

private:
    std::shared_ptr<const Egm96Model> egm96_;
    std::shared_ptr<const GeoidGrid> grid_;
    std::string description_;
};

// The fields "h N H" of a point with ellipsoidal height h, or, with
// `reverse`, of one with orthometric height H given in `height`.
std::vector<std::string> heightFields(const Formatter& fmt, double height, double n, bool reverse);

} // namespace cli
} // namespace tervala

#endif
