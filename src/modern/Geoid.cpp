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
    egm96::Egm96Coefficients coefficients;
    // Into the tables above, with C and S also held as two arrays of their
    // own (1 MB): the tables never change, so the synthesis may read them
    // without de-interleaving, which the members, reading their fields in
    // place, cannot.
    std::unique_ptr<egm96::CoefficientView> view;
};

namespace {

// A load that failed: the loader's status names the file and the reason.
[[noreturn]] void loadFailure(const char* what, const platform::LoadStatus& status)
{
    if (status.problem == platform::LoadProblem::OutOfMemory)
        throw std::bad_alloc();
    throw std::runtime_error(std::string(what) + ": " + status.message());
}

} // namespace

Egm96Model::Egm96Model(const std::string& geopotentialPath, const std::string& correctionPath)
{
    egm96::Egm96Load load = egm96::loadEgm96Files(correctionPath, geopotentialPath);
    if (!load.status.ok())
        loadFailure("EGM96 model", load.status);
    auto data = std::make_shared<Data>();
    data->geopotentialPath = geopotentialPath;
    data->correctionPath = correctionPath;
    data->coefficients = std::move(load.coefficients);
    const egm96::Egm96Coefficients& c = data->coefficients;
    data->view.reset(new egm96::CoefficientView(c.geopotential, c.correctionCos, c.correctionSin));
    data->view->separate();
    data_ = std::move(data);
}

Egm96Model Egm96Model::fromFolder(const std::string& folder)
{
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    return Egm96Model(base + egm96::kGeopotentialFileName, base + egm96::kCorrectionFileName);
}

double Egm96Model::height(double latitude, double longitude) const
{
    if (!(std::fabs(latitude) <= 90.0) || !std::isfinite(longitude))
        return kNaN;
    // A height no geoid reaches comes from damaged coefficients (a halved
    // C20 stays within every coefficient's bound and gives 200 m).
    const double n = egm96::geoidHeight(*data_->view, latitude, longitude);
    return std::fabs(n) <= grid::kMaxGeoidHeight ? n : kNaN;
}

const std::string& Egm96Model::geopotentialPath() const { return data_->geopotentialPath; }
const std::string& Egm96Model::correctionPath() const { return data_->correctionPath; }

bool Egm96Model::operator==(const Egm96Model& other) const
{
    return data_ == other.data_ || (data_->geopotentialPath == other.data_->geopotentialPath &&
                                    data_->correctionPath == other.data_->correctionPath);
}

// ---- GeoidGrid -------------------------------------------------------------------

struct GeoidGrid::Data {
    std::string path;
    grid::LoadedGrid grid;
    int window = 6;
    grid::GridView view{};        // what the members' evaluation reads
    grid::PaddedOrigin origin{};  // of view, formed once
    bool global = false;          // no edge where the padding is not the grid itself
};

GeoidGrid::GeoidGrid(const std::string& path)
{
    grid::GridLoad load = grid::loadGridFile(path, grid::kObjectMargin);
    if (!load.status.ok())
        loadFailure("geoid grid", load.status);
    auto data = std::make_shared<Data>();
    data->path = path;
    data->grid = std::move(load.grid);
    data->view = data->grid.view(data->window);
    data->origin = grid::paddedOrigin(data->view);
    data->global = grid::gridCoverage(data->view).global();
    data_ = std::move(data);
}

double GeoidGrid::height(double latitude, double longitude) const
{
    const Data& d = *data_;
    // Where the padding is not the grid itself the window must lie on
    // stored nodes; elsewhere the members' evaluation is right as it stands,
    // and refuses (here with NaN) a latitude outside [-90, 90], a longitude
    // beyond one turn and any NaN.
    if (!d.global && !(std::fabs(latitude) <= 90.0 && std::isfinite(longitude) &&
                       grid::windowIsStored(d.view, latitude, longitude)))
        return kNaN;
    return grid::gridGeoidHeight(d.view, d.origin, latitude, longitude, grid::Refusals{kNaN, kNaN});
}

const std::string& GeoidGrid::path() const { return data_->path; }
bool GeoidGrid::isGlobal() const { return data_->global; }
double GeoidGrid::north() const { return data_->grid.header.north; }
double GeoidGrid::west() const { return data_->grid.header.west; }
double GeoidGrid::latitudeSpacing() const { return data_->grid.header.dlat; }
double GeoidGrid::longitudeSpacing() const { return data_->grid.header.dlon; }
int GeoidGrid::rows() const { return data_->grid.header.rows; }
int GeoidGrid::columns() const { return data_->grid.header.cols; }

bool GeoidGrid::operator==(const GeoidGrid& other) const
{
    if (data_ == other.data_)
        return true;
    const auto& a = data_->grid.header;
    const auto& b = other.data_->grid.header;
    return data_->path == other.data_->path && a.rows == b.rows && a.cols == b.cols && a.north == b.north &&
           a.west == b.west && a.dlat == b.dlat && a.dlon == b.dlon;
}

} // namespace tervala
