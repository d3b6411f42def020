// Data tools: converting public formats into the files the loaders read,
// describing grid files, and computing geoid grids from the coefficients.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <future>
#include <limits>
#include <memory>
#include <sstream>
#include <thread>

#include <fmt/format.h>

#include "Commands.h"
#include "Egm96Text.h"
#include "core/Access.h"
#include "geoid/CheckFile.h"
#include "geoid/GeoidGrid.h"
#include "gridtools/Egm2008Grid.h"
#include "gridtools/GdalPlugin.h"
#include "gridtools/GtxGrid.h"
#include "gridtools/ImportGrid.h"
#include "gridtools/SphericalHarmonicGrid.h"
#include "platform/ByteOrder.h"
#include "platform/Files.h"
#include "platform/SharedLibrary.h"

namespace tervala {
namespace cli {
namespace {

struct Egm96TextOptions {
    std::string coefficients;
    std::string corrections;
    std::string outDir = ".";
};

int egm96FromText(const Egm96TextOptions& o)
{
    const std::string command = "data egm96-from-text";
    std::string coefText, corrText, error;
    if (!readFile(o.coefficients, coefText, error) || !readFile(o.corrections, corrText, error)) {
        report(command, error);
        return 2;
    }
    std::string coefRecords, corrRecords;
    std::vector<std::string> errors;
    const bool coefOk = convertCoefficientText(coefText, coefRecords, errors);
    for (const std::string& e : errors)
        report(command, o.coefficients + ": " + e);
    errors.clear();
    const bool corrOk = convertCorrectionText(corrText, corrRecords, errors);
    for (const std::string& e : errors)
        report(command, o.corrections + ": " + e);
    if (!coefOk || !corrOk)
        return 1;
    if (!platform::isDirectory(o.outDir)) {
        report(command, "output folder " + o.outDir + " does not exist");
        return 2;
    }
    const std::string egm = o.outDir + "/EGM96.dat", corr = o.outDir + "/CORRCOEF.dat";
    // Both files or neither: a coefficient set with another set's corrections
    // gives heights that are wrong by decimetres without any sign.
    // Each with its check file, which the loaders verify.
    if (!writeFilesTogether(command, {{egm, coefRecords},
                                      {corr, corrRecords},
                                      {check::checkFilePath(egm), check::formatCheckFile(coefRecords, o.coefficients)},
                                      {check::checkFilePath(corr), check::formatCheckFile(corrRecords, o.corrections)}}))
        return 2;
    const std::size_t coefCount = coefRecords.size() / 40, corrCount = corrRecords.size() / 24;
    std::printf("%s: %zu record%s\n%s: %zu record%s\n", egm.c_str(), coefCount, coefCount == 1 ? "" : "s", corr.c_str(),
                corrCount, corrCount == 1 ? "" : "s");
    return 0;
}

struct GtxOptions {
    std::string input;
    std::string output;
};

int gtxToGrid(const GtxOptions& o)
{
    tervala::gtx::Conversion done;
    std::string error;
    if (!tervala::gtx::convertGtxToGrid(o.input, o.output, done, error)) {
        report("data gtx-to-grid", o.input + ": " + error);
        return 1;
    }
    std::printf("%s", tervala::gtx::describe(done, o.input, o.output).c_str());
    return 0;
}

struct RasterOptions {
    std::string input;
    std::string output;
    std::string format = "GTiff";
};

// Where the GDAL plugin lies: beside this program, at the place the build
// fixed relative to it ("" in a build without GDAL). False with the reason
// when the program's folder cannot be told.
bool gdalPluginPath(std::string& path, std::string& error)
{
    const std::string relative = TERVALA_GDAL_PLUGIN_RELPATH;
    path.clear();
    if (relative.empty())
        return true;
    const std::string folder = platform::executableFolder();
    if (folder.empty()) {
        error = "cannot tell the folder of this program, where the GDAL plugin " + relative + " is looked for";
        return false;
    }
    path = folder + "/" + relative;
    return true;
}

// The GDAL plugin, or null with the reason in `error` (a build without
// GDAL, or a plugin that is missing or cannot be loaded, named with the path
// looked in).
const TervalaGdalPlugin* gdalPlugin(std::string& error)
{
    std::string path;
    if (!gdalPluginPath(path, error))
        return nullptr;
    if (path.empty()) {
        error = "this tervala was built without GDAL, which reading and writing rasters needs "
                "(install Debian's libgdal-dev and rebuild)";
        return nullptr;
    }
    const TervalaGdalPlugin* plugin = tervala::gdal::loadPlugin(path, error);
    if (plugin == nullptr)
        error += " (the plugin is installed with tervala; reinstall it)";
    return plugin;
}

// Any raster GDAL reads (and NGA's EGM2008 grid in its geotranz layout,
// which needs no GDAL) into a grid file. GTX files are read without GDAL in
// a build that has none.
int importGrid(const RasterOptions& o)
{
    const std::string command = "data import-grid";
    std::string pluginPath, message;
    if (!gdalPluginPath(pluginPath, message)) {
        report(command, message);
        return 2;
    }
    switch (tervala::raster::importToGrid(o.input, o.output, pluginPath, message)) {
    case tervala::raster::ImportOutcome::Done:
        std::printf("%s", message.c_str());
        return 0;
    case tervala::raster::ImportOutcome::Refused:
        report(command, o.input + ": " + message);
        return 1;
    case tervala::raster::ImportOutcome::Unavailable:
        break;
    }
    report(command, message + "; only GTX files (data gtx-to-grid) and the EGM2008 grid of geotranz are read without it");
    return 2;
}

// A grid file into a GeoTIFF or GTX raster for PROJ and GIS software.
int exportGrid(const RasterOptions& o)
{
    const std::string command = "data export-grid";
    std::string error;
    const TervalaGdalPlugin* plugin = gdalPlugin(error);
    if (plugin == nullptr) {
        report(command, error);
        return 2;
    }
    std::string message;
    if (!tervala::gdal::exportGrid(*plugin, o.input, o.output, o.format, message)) {
        report(command, o.input + ": " + message);
        return 1;
    }
    std::printf("%s", message.c_str());
    return 0;
}

// Describes a grid file as the loader reads it, or says what is wrong.
int gridInfo(const std::string& path)
{
    const std::string command = "data grid-info";
    if (!platform::isRegularFile(path)) {
        std::FILE* probe = platform::openFile(path, "rb").release();
        report(command, "cannot open " + path + (probe != nullptr ? ": not a regular file" : ""));
        if (probe != nullptr)
            std::fclose(probe);
        return 2;
    }
    std::FILE* file = platform::openFile(path, "rb").release();
    if (file == nullptr) {
        report(command, "cannot open " + path + ": " + std::strerror(errno));
        return 2;
    }
    tervala::grid::LoadedGrid grid;
    const long long bytes = platform::fileSize(file);
    const tervala::grid::GridLoadError status = readGridFile(file, tervala::grid::kObjectMargin, grid);
    std::fclose(file);
    std::printf("file:      %s (%lld bytes)\n", path.c_str(), bytes);
    check::CheckRecord record;
    std::string problem;
    const check::CheckResult verified = check::verifyDataFile(path, record, problem);
    if (verified == check::CheckResult::NoCheckFile)
        std::printf("source:    unknown (no check file %s)\n", check::checkFilePath(path).c_str());
    else if (verified == check::CheckResult::Matches)
        std::printf("source:    %s (the file matches its check file)\n",
                    record.source.empty() ? "not recorded" : record.source.c_str());
    if (verified == check::CheckResult::Mismatch || verified == check::CheckResult::BadCheckFile) {
        report(command, path + ": " + problem);
        return 1;
    }
    if (status != tervala::grid::GridLoadError::None) {
        report(command, path + ": " + tervala::grid::describe(status));
        return 1;
    }
    const tervala::grid::GridHeader& h = grid.header;
    const double south = h.north - (h.rows - 1) * h.dlat, east = h.west + (h.cols - 1) * h.dlon;
    std::printf("header:    north %.10g, west %.10g, spacing %.10g x %.10g degrees, %d rows x %d columns\n", h.north,
                h.west, h.dlat, h.dlon, h.rows, h.cols);
    std::printf("extent:    latitude %.10g .. %.10g, longitude %.10g .. %.10g%s\n", south, h.north, h.west, east,
                std::fabs(h.cols * h.dlon - 360.0) < 1e-6 * h.dlon ? " (global in longitude)" : "");
    double lo = std::numeric_limits<double>::infinity(), hi = -lo, sum = 0;
    long long values = 0, nans = 0;
    for (int r = 0; r < h.rows; ++r)
        for (int c = 0; c < h.cols; ++c) {
            const double v = grid.rows.get()[r + tervala::grid::kObjectMargin][c + tervala::grid::kObjectMargin];
            if (std::isnan(v)) {
                ++nans;
                continue;
            }
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            sum += v;
            ++values;
        }
    if (values > 0)
        std::printf("values:    %lld, minimum %.4f, maximum %.4f, mean %.4f%s\n", values, lo, hi, sum / values,
                    nans > 0 ? fmt::format(", {} NaN", nans).c_str() : "");
    else
        std::printf("values:    none but NaN (%lld)\n", nans);
    const long long padded = static_cast<long long>(grid.paddedRows) * grid.paddedCols;
    std::printf("in memory: %d x %d doubles with the border, %.1f MiB\n", grid.paddedRows, grid.paddedCols,
                padded * 8.0 / 1048576.0);
    return 0;
}

struct Egm96GridOptions {
    double north = 0, south = 0, west = 0, east = 0;
    double step = 0, dlat = 0, dlon = 0;
    int threads = 0;
    std::string output;
};

// The grid a request describes, or a message saying why it describes none.
bool planEgm96Grid(const Egm96GridOptions& o, tervala::egm96::GridSpec& layout, std::string& error)
{
    const double dlat = o.dlat > 0 ? o.dlat : o.step, dlon = o.dlon > 0 ? o.dlon : o.step;
    if (!(dlat > 0) || !(dlon > 0) || !std::isfinite(dlat) || !std::isfinite(dlon)) {
        error = "give a positive --step (or --dlat and --dlon) in degrees";
        return false;
    }
    if (!(o.north <= 90 && o.south >= -90 && o.north > o.south)) {
        error = "need -90 <= --south < --north <= 90";
        return false;
    }
    if (!(o.east > o.west) || !std::isfinite(o.west) || !std::isfinite(o.east) || o.east - o.west > 360) {
        error = "need --west < --east, at most 360 degrees apart";
        return false;
    }
    const double rows = std::floor((o.north - o.south) / dlat + 1e-9) + 1;
    // A grid spanning 360 degrees gets no duplicated wrap column.
    const bool global = o.east - o.west >= 360 - 1e-9;
    const double cols = global ? std::floor(360 / dlon + 1e-9) : std::floor((o.east - o.west) / dlon + 1e-9) + 1;
    if (rows * cols > 2e9) {
        error = fmt::format("{:.0f} x {:.0f} nodes is more than a grid file should hold", rows, cols);
        return false;
    }
    double west = std::fmod(o.west, 360.0);
    if (west < 0)
        west += 360.0;
    layout = tervala::egm96::GridSpec{o.north, west, dlat, dlon, static_cast<int>(rows), static_cast<int>(cols)};
    return true;
}

int egm96Grid(const Egm96GridOptions& o)
{
    const std::string command = "data egm96-grid";
    tervala::egm96::GridSpec layout{};
    std::string error;
    if (!planEgm96Grid(o, layout, error)) {
        report(command, error);
        return 2;
    }
    auto t = std::make_unique<CTervala>();
    if (t->LoadEGMData(nullptr) != 1) {
        report(command, "cannot load the EGM96 coefficients from " + CTervala::GetDataFolder() +
                            " (CORRCOEF.dat and EGM96.dat; see data egm96-from-text)");
        return 2;
    }
    const tervala::egm96::CoefficientView view(tervala::TervalaAccess::egmCoef(*t), tervala::TervalaAccess::corrCoefC(*t),
                                               tervala::TervalaAccess::corrCoefS(*t));
    const int threads = o.threads > 0 ? o.threads : std::max(1u, std::thread::hardware_concurrency());
    std::atomic<int> rowsDone{0};
    const auto start = std::chrono::steady_clock::now();
    auto job = std::async(std::launch::async, [&] { return tervala::egm96::synthesizeGrid(view, layout, threads, &rowsDone); });
    // A progress bar on a terminal; nothing when standard error is redirected.
    const bool terminal = platform::isTerminal(stderr);
    while (job.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready) {
        if (terminal) {
            const int done = rowsDone.load();
            const int width = 40, filled = layout.rows > 0 ? done * width / layout.rows : width;
            std::fprintf(stderr, "\r[%s%s] %3d%%  row %d of %d", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                         std::string(static_cast<std::size_t>(width - filled), '.').c_str(),
                         layout.rows > 0 ? done * 100 / layout.rows : 100, done, layout.rows);
        }
    }
    const std::vector<double> heights = job.get();
    if (terminal)
        std::fprintf(stderr, "\r%*s\r", 70, "");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    AtomicFile file(o.output);
    if (!file.ok()) {
        report(command, file.error());
        return 2;
    }
    std::uint32_t crc = 0;
    const tervala::grid::GridHeader header{layout.north, layout.west, layout.dlat, layout.dlon, layout.rows, layout.cols};
    const std::vector<unsigned char> head = tervala::grid::encodeGridHeader(header);
    std::fwrite(head.data(), 1, head.size(), file.get());
    crc = check::crc32(head.data(), head.size(), crc);
    std::vector<unsigned char> row(static_cast<std::size_t>(layout.cols) * 4);
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (int r = 0; r < layout.rows; ++r) {
        for (int c = 0; c < layout.cols; ++c) {
            const double h = heights[static_cast<std::size_t>(r) * layout.cols + c];
            lo = std::min(lo, h);
            hi = std::max(hi, h);
            tervala::platform::putLittleEndianFloat(&row[4 * static_cast<std::size_t>(c)],
                                                    tervala::grid::storableGridValue(static_cast<float>(h)));
        }
        std::fwrite(row.data(), 1, row.size(), file.get());
        crc = check::crc32(row.data(), row.size(), crc);
    }
    // With its check file (a stale one from an earlier conversion would
    // make the loaders refuse the new grid).
    std::unique_ptr<AtomicFile> sum;
    if (file.replacesAtomically()) {
        sum = std::make_unique<AtomicFile>(check::checkFilePath(o.output));
        if (!sum->ok()) {
            report(command, sum->error());
            return 2;
        }
        const long long bytes = static_cast<long long>(head.size()) + 4LL * layout.rows * layout.cols;
        std::fputs(check::formatCheckFile(bytes, crc, "EGM96 to degree 360 (data egm96-grid)").c_str(),
                   sum->get());
    }
    AtomicFile* files[] = {&file, sum.get()};
    if (!platform::commitTogether(files, sum ? 2 : 1, error)) {
        report(command, error);
        return 2;
    }
    std::printf("%s: %d rows x %d columns, north %.10g, west %.10g, spacing %.10g x %.10g degrees\n", o.output.c_str(),
                layout.rows, layout.cols, layout.north, layout.west, layout.dlat, layout.dlon);
    std::printf("heights %.4f .. %.4f m; %.2f s on %d thread%s (%.2f us per node)\n", lo, hi, seconds, threads,
                threads == 1 ? "" : "s", seconds * 1e6 / (static_cast<double>(layout.rows) * layout.cols));
    return 0;
}

} // namespace

void addDataCommands(CLI::App& app, Context& ctx, Registry& registry)
{
    CLI::App* data = app.add_subcommand("data", "Make and inspect the data files the geoid loaders read");
    data->require_subcommand(1);

    auto e = std::make_shared<Egm96TextOptions>();
    CLI::App* fromText = data->add_subcommand(
        "egm96-from-text", "Convert published coefficient text files into EGM96.dat and CORRCOEF.dat");
    fromText->add_option("--coefficients,-c", e->coefficients, "Text file: n m C S [sigmaC sigmaS] per line")
        ->required();
    fromText->add_option("--corrections,-k", e->corrections, "Text file: n m c s per line")->required();
    fromText->add_option("--out-dir,-d", e->outDir, "Folder to write EGM96.dat and CORRCOEF.dat into")
        ->capture_default_str();
    registry.add(fromText, [e] { return egm96FromText(*e); });

    auto g = std::make_shared<GtxOptions>();
    CLI::App* gtx = data->add_subcommand(
        "gtx-to-grid", "Convert a GTX geoid grid (e.g. /usr/share/proj/egm96_15.gtx) into a grid file for LoadKEGMData");
    gtx->add_option("input", g->input, "GTX file")->required();
    gtx->add_option("output", g->output,
                    "Grid file to write, with its check file OUTPUT.sum naming the source (the data folder's "
                    "kgeoid13.dat, kgeoid14.dat and egm2008p.dat are the slots of --model 13, 14 and 2008; the name "
                    "does not make a grid that model)")
        ->required();
    registry.add(gtx, [g] { return gtxToGrid(*g); });

    auto im = std::make_shared<RasterOptions>();
    CLI::App* importCommand = data->add_subcommand(
        "import-grid", "Convert a single-band geoid raster GDAL reads (GeoTIFF, GTX, ...) or NGA's EGM2008 grid "
                       "from geotranz into a grid file for LoadKEGMData");
    importCommand->add_option("input", im->input, "Raster file")->required();
    importCommand->add_option("output", im->output,
                              "Grid file to write, with its check file OUTPUT.sum naming the source (e.g. NGA's "
                              "EGM2008 as egm2008p.dat in the data folder)")
        ->required();
    registry.add(importCommand, [im] { return importGrid(*im); });

    auto ex = std::make_shared<RasterOptions>();
    CLI::App* exportCommand = data->add_subcommand(
        "export-grid", "Write a grid file as a raster that PROJ's vgridshift and GIS software read");
    exportCommand->add_option("input", ex->input, "Grid file")->required();
    exportCommand->add_option("output", ex->output, "Raster file to write")->required();
    exportCommand->add_option("--format,-f", ex->format, "GTiff or GTX")
        ->check(CLI::IsMember({"GTiff", "GTX"}))
        ->capture_default_str();
    registry.add(exportCommand, [ex] { return exportGrid(*ex); });

    auto info = std::make_shared<std::string>();
    CLI::App* gridInfoCommand =
        data->add_subcommand("grid-info", "Describe a grid file: header, extent, values, or what is wrong with it");
    gridInfoCommand->add_option("file", *info, "Grid file")->required();
    registry.add(gridInfoCommand, [info] { return gridInfo(*info); });

    auto eg = std::make_shared<Egm96GridOptions>();
    CLI::App* egmGrid = data->add_subcommand(
        "egm96-grid", "Compute a geoid grid file over a region from the EGM96 coefficients in the data folder");
    egmGrid->add_option("--north", eg->north, "Northern latitude, degrees")->required();
    egmGrid->add_option("--south", eg->south, "Southern latitude, degrees")->required();
    egmGrid->add_option("--west", eg->west, "Western longitude, degrees")->required();
    egmGrid->add_option("--east", eg->east, "Eastern longitude, degrees (west + 360 for a global grid)")->required();
    egmGrid->add_option("--step", eg->step, "Spacing in latitude and longitude, degrees");
    egmGrid->add_option("--dlat", eg->dlat, "Spacing in latitude, degrees (overrides --step)");
    egmGrid->add_option("--dlon", eg->dlon, "Spacing in longitude, degrees (overrides --step)");
    egmGrid->add_option("--threads", eg->threads, "Threads (default: all cores)")->check(CLI::Range(1, 1024));
    egmGrid->add_option("output", eg->output, "Grid file to write (e.g. kgeoid14.dat in the data folder)")->required();
    egmGrid->add_option("--data-dir", ctx.dataDir, "Folder holding CORRCOEF.dat and EGM96.dat");
    registry.add(egmGrid, [eg] { return egm96Grid(*eg); });
}

} // namespace cli
} // namespace tervala
