// tervala::Egm96Model and tervala::GeoidGrid: the loaders and the evaluation
// of geoid/ on data read from the caller's paths, held immutable behind a
// shared pointer. On data the members would load from the same files, and
// at points where the members' result is a height, the doubles are the
// members'.
#include "tervala/Geoid.hpp"

#include <cmath>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "geoid/GeoidGrid.h"
#include "geoid/GridCoverage.h"
#include "geoid/SphericalHarmonic.h"
#include "modern/ModernAccess.h"
#include "platform/Files.h"
#include "tervala/Numbra.h"

namespace tervala {

using modern::kNaN;

// ---- Egm96Model ----------------------------------------------------------------

struct Egm96Model::Data {
    std::string geopotentialPath;
    std::string correctionPath;
    Numbra coefficients;
    Numbra correctionCos;
    Numbra correctionSin;
    std::unique_ptr<egm96::CoefficientView> view;  // into the three tables above
};

namespace {

[[noreturn]] void loadFailure(const char* what, const std::string& path, const char* reason)
{
    throw std::runtime_error(std::string(what) + " '" + path + "': " + reason);
}

const char* readFailure(egm96::ReadEnd end)
{
    return end == egm96::ReadEnd::NotOpened ? "cannot be opened (missing, unreadable or not a regular file)"
                                            : "read error";
}

} // namespace

Egm96Model::Egm96Model(const std::string& geopotentialPath, const std::string& correctionPath)
{
    using namespace egm96;
    auto data = std::make_shared<Data>();
    data->geopotentialPath = geopotentialPath;
    data->correctionPath = correctionPath;
    data->coefficients = Zeros(kCoefficientCount, 2);
    data->correctionCos = Zeros(kCoefficientCount, 1);
    data->correctionSin = Zeros(kCoefficientCount, 1);

    const ReadEnd corrections = readCorrectionFile(correctionPath, data->correctionCos, data->correctionSin);
    if (corrections == ReadEnd::NotOpened || corrections == ReadEnd::ReadError)
        loadFailure("EGM96 correction coefficients", correctionPath, readFailure(corrections));
    const ReadEnd geopotential = readGeopotentialFile(geopotentialPath, data->coefficients);
    if (geopotential == ReadEnd::NotOpened || geopotential == ReadEnd::ReadError)
        loadFailure("EGM96 coefficients", geopotentialPath, readFailure(geopotential));
    if (geopotential != ReadEnd::LastRecord)
        loadFailure("EGM96 coefficients", geopotentialPath,
                    "the file ends before its degree and order (360, 360) record");
    removeNormalZonals(data->coefficients);
    data->view.reset(new CoefficientView(data->coefficients, data->correctionCos, data->correctionSin));
    data_ = std::move(data);
}

Egm96Model Egm96Model::fromFolder(const std::string& folder)
{
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    return Egm96Model(base + "EGM96.dat", base + "CORRCOEF.dat");
}

double Egm96Model::height(double latitude, double longitude) const
{
    if (!(std::fabs(latitude) <= 90.0) || !std::isfinite(longitude))
        return kNaN;
    return egm96::geoidHeight(*data_->view, latitude, longitude);
}

const std::string& Egm96Model::geopotentialPath() const { return data_->geopotentialPath; }
const std::string& Egm96Model::correctionPath() const { return data_->correctionPath; }

// ---- GeoidGrid -------------------------------------------------------------------

struct GeoidGrid::Data {
    std::string path;
    grid::LoadedGrid grid;
    int margin = grid::kObjectMargin;
    int window = 6;
    grid::GridView view{};  // what the members' evaluation reads
    bool global = false;    // no edge where the padding is not the grid itself
};

GeoidGrid::GeoidGrid(const std::string& path)
{
    auto data = std::make_shared<Data>();
    data->path = path;
    const platform::File file = platform::openRegularFile(path);
    if (!file)
        loadFailure("geoid grid", path, "cannot be opened (missing, unreadable or not a regular file)");
    const grid::GridLoadError error = grid::readGridFile(file.get(), data->margin, data->grid);
    if (error == grid::GridLoadError::OutOfMemory)
        throw std::bad_alloc();
    if (error != grid::GridLoadError::None)
        loadFailure("geoid grid", path, grid::describe(error));
    const grid::GridHeader& h = data->grid.header;
    data->view = grid::GridView{data->grid.rows.get(), data->margin, data->window, h.rows, data->grid.paddedRows,
                                data->grid.paddedCols, h.north, h.west, h.dlat, h.dlon};
    data->global = grid::gridCoverage(data->view).global();
    data_ = std::move(data);
}

double GeoidGrid::height(double latitude, double longitude) const
{
    const Data& d = *data_;
    if (!(std::fabs(latitude) <= 90.0) || !std::isfinite(longitude))
        return kNaN;
    // Where the padding is not the grid itself the window must lie on
    // stored nodes; elsewhere the members' evaluation is right as it stands.
    if (!d.global && !grid::windowIsStored(d.view, latitude, longitude))
        return kNaN;
    const double value = grid::gridGeoidHeight(d.view, latitude, longitude);
    return value == grid::kOutOfRange || value == grid::kWindowDoesNotFit ? kNaN : value;
}

const std::string& GeoidGrid::path() const { return data_->path; }
bool GeoidGrid::isGlobal() const { return data_->global; }
double GeoidGrid::north() const { return data_->grid.header.north; }
double GeoidGrid::west() const { return data_->grid.header.west; }
double GeoidGrid::latitudeSpacing() const { return data_->grid.header.dlat; }
double GeoidGrid::longitudeSpacing() const { return data_->grid.header.dlon; }
int GeoidGrid::rows() const { return data_->grid.header.rows; }
int GeoidGrid::columns() const { return data_->grid.header.cols; }

} // namespace tervala
