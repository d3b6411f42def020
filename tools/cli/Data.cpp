// Data tools: converting public formats into the files the loaders read,
// describing grid files, and computing geoid grids from the coefficients.
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>

#include "Commands.h"
#include "Egm96Text.h"

namespace tervala {
namespace cli {
namespace {

bool readWhole(const std::string& path, std::string& text, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

bool writeWholeFile(const std::string& command, const std::string& path, const std::string& bytes)
{
    AtomicFile file(path);
    if (!file.ok()) {
        report(command, file.error());
        return false;
    }
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    if (!file.commit()) {
        report(command, file.error());
        return false;
    }
    return true;
}

struct Egm96TextOptions {
    std::string coefficients;
    std::string corrections;
    std::string outDir = ".";
};

int egm96FromText(const Egm96TextOptions& o)
{
    const std::string command = "data egm96-from-text";
    std::string coefText, corrText, error;
    if (!readWhole(o.coefficients, coefText, error) || !readWhole(o.corrections, corrText, error)) {
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
    struct stat st;
    if (::stat(o.outDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        report(command, "output folder " + o.outDir + " does not exist");
        return 2;
    }
    const std::string egm = o.outDir + "/EGM96.dat", corr = o.outDir + "/CORRCOEF.dat";
    if (!writeWholeFile(command, egm, coefRecords) || !writeWholeFile(command, corr, corrRecords))
        return 2;
    std::printf("%s: %zu records\n%s: %zu records\n", egm.c_str(), coefRecords.size() / 40, corr.c_str(),
                corrRecords.size() / 24);
    return 0;
}

} // namespace

void addDataCommands(CLI::App& app, Context& ctx, Registry& registry)
{
    (void)ctx;
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
}

} // namespace cli
} // namespace tervala
