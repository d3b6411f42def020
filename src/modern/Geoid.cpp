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
    bool wrapsLongitude = false;  // the columns span 360 degrees
    bool northPole = false;       // the northern row lies at most half a spacing from the pole
    bool southPole = false;       // the southern row likewise
    grid::GridView view{};        // what the members' evaluation reads
    double paddedSouth = 0.0;     // latitude of padded row 0
    double paddedWest = 0.0;      // longitude of padded column 0
};

namespace {

// Nodes this close to the pole, in degrees, count as lying on it.
constexpr double kPoleTolerance = 1e-9;

// First and last padded index of the interpolation window at fractional
// index r (the window placement of grid::interp for an even window).
void windowAt(double r, int window, long long& lo, long long& hi)
{
    const long long centre = static_cast<long long>(r);
    lo = centre - window / 2 + 1;
    hi = lo + window - 1;
}

} // namespace

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
    data->wrapsLongitude = static_cast<double>(h.cols) * h.dlon >= 360.0 - kPoleTolerance;
    // The border mirrors rows across the pole: right for a grid whose edge
    // row lies half a spacing from the pole, and within millimetres for one
    // whose edge row lies on it (the pole row is repeated).
    data->northPole = h.north + 0.5 * h.dlat >= 90.0 - kPoleTolerance;
    data->southPole = h.north - static_cast<double>(h.rows - 1) * h.dlat - 0.5 * h.dlat <= -90.0 + kPoleTolerance;
    data->view = grid::GridView{data->grid.rows.get(), data->margin, data->window, h.rows, data->grid.paddedRows,
                                data->grid.paddedCols, h.north, h.west, h.dlat, h.dlon};
    // The same expressions as the members' evaluation, so the window tests
    // below place the window where it does.
    data->paddedSouth = (h.north - static_cast<double>(h.rows - 1) * h.dlat) - static_cast<double>(data->margin) * h.dlat;
    data->paddedWest = h.west - h.dlon * static_cast<double>(data->margin);
    data_ = std::move(data);
}

double GeoidGrid::height(double latitude, double longitude) const
{
    const Data& d = *data_;
    if (!(std::fabs(latitude) <= 90.0) || !std::isfinite(longitude))
        return kNaN;
    const grid::GridView& v = d.view;
    // Where the border is the grid itself (wrapped in longitude, mirrored
    // across a pole) the members' evaluation is right as it stands.
    const double south = d.paddedSouth;
    long long lo, hi;
    if (!(d.northPole && d.southPole)) {
        windowAt((latitude - south) / v.dlat, v.window, lo, hi);
        const long long firstRow = v.margin, lastRow = v.margin + v.storedRows - 1;
        if ((lo < firstRow && !d.southPole) || (hi > lastRow && !d.northPole))
            return kNaN;
    }

    double lon = longitude;
    if (!d.wrapsLongitude) {
        // A regional grid: the window must lie on stored columns, for the
        // longitude taken in whichever turn puts it there.
        const double west = d.paddedWest;
        const long long firstCol = v.margin, lastCol = v.margin + d.grid.header.cols - 1;
        bool inside = false;
        for (double turn : {0.0, 360.0, -360.0, 720.0}) {
            const double candidate = std::fmod(longitude, 360.0) + turn;
            windowAt((candidate - west) / v.dlon, v.window, lo, hi);
            if (candidate - west >= 0 && lo >= firstCol && hi <= lastCol) {
                lon = candidate;
                inside = true;
                break;
            }
        }
        if (!inside)
            return kNaN;
        const double value = grid::interp(v.window, 0.0, v.rows, south, west, v.dlat, v.dlon, v.paddedRows,
                                          v.paddedCols, latitude, lon);
        return value == grid::kOutOfRange || value == grid::kWindowDoesNotFit ? kNaN : value;
    }
    const double value = grid::gridGeoidHeight(v, latitude, lon);
    return value == grid::kOutOfRange || value == grid::kWindowDoesNotFit ? kNaN : value;
}

const std::string& GeoidGrid::path() const { return data_->path; }
bool GeoidGrid::isGlobal() const { return data_->wrapsLongitude && data_->northPole && data_->southPole; }
double GeoidGrid::north() const { return data_->grid.header.north; }
double GeoidGrid::west() const { return data_->grid.header.west; }
double GeoidGrid::latitudeSpacing() const { return data_->grid.header.dlat; }
double GeoidGrid::longitudeSpacing() const { return data_->grid.header.dlon; }
int GeoidGrid::rows() const { return data_->grid.header.rows; }
int GeoidGrid::columns() const { return data_->grid.header.cols; }

} // namespace tervala
