#include "Io.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unistd.h>

#include <fmt/format.h>

#include "Text.h"

namespace tervala {
namespace cli {

AtomicFile::AtomicFile(std::string path) : path_(std::move(path))
{
    temporary_ = path_ + ".tmp." + std::to_string(::getpid());
    file_ = std::fopen(temporary_.c_str(), "wb");
    if (file_ == nullptr)
        error_ = "cannot create " + temporary_ + ": " + std::strerror(errno);
}

AtomicFile::~AtomicFile()
{
    if (file_ != nullptr) {
        std::fclose(file_);
        std::remove(temporary_.c_str());
    }
}

bool AtomicFile::commit()
{
    if (file_ == nullptr)
        return false;
    const bool written = std::fflush(file_) == 0 && !std::ferror(file_);
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!written || !closed) {
        error_ = "cannot write " + temporary_ + ": " + std::strerror(errno);
        std::remove(temporary_.c_str());
        return false;
    }
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        error_ = "cannot rename " + temporary_ + " to " + path_ + ": " + std::strerror(errno);
        std::remove(temporary_.c_str());
        return false;
    }
    return true;
}

bool readFile(const std::string& path, std::string& text, std::string& error)
{
    std::ostringstream s;
    if (path == "-") {
        s << std::cin.rdbuf();
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = "cannot open " + path + ": " + std::strerror(errno);
            return false;
        }
        s << in.rdbuf();
    }
    text = s.str();
    return true;
}

bool writeFileAtomically(const std::string& command, const std::string& path, const std::string& bytes)
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

std::string Formatter::length(double v) const { return fixed(v, precision_); }
std::string Formatter::angle(double v) const { return fixed(v, precision_ + 5); }
std::string Formatter::fixed(double v, int decimals) const
{
    if (v == 0.0)
        v = 0.0;  // no "-0.0000"
    return fmt::format("{:.{}f}", v, decimals);
}

bool readInputLines(const IoOptions& io, std::vector<std::string>& lines, std::string& error)
{
    lines.clear();
    if (io.haveInputString) {
        std::string current;
        for (char c : io.inputString) {
            if (c == '\n' || c == ';') {
                lines.push_back(current);
                current.clear();
            } else {
                current += c;
            }
        }
        lines.push_back(current);
        return true;
    }
    std::istream* in = &std::cin;
    std::ifstream file;
    if (!io.inputFile.empty() && io.inputFile != "-") {
        file.open(io.inputFile, std::ios::binary);
        if (!file) {
            error = "cannot open input file " + io.inputFile + ": " + std::strerror(errno);
            return false;
        }
        in = &file;
    }
    std::string line;
    while (std::getline(*in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    if (in->bad()) {
        error = "error while reading the input";
        return false;
    }
    return true;
}

void report(const std::string& command, const std::string& message)
{
    std::fprintf(stderr, "tervala %s: %s\n", command.c_str(), message.c_str());
}

int runLines(const std::string& command, const IoOptions& io,
             const std::function<LineResult(const std::vector<std::string>&)>& process)
{
    std::vector<std::string> lines;
    std::string error;
    if (!readInputLines(io, lines, error)) {
        report(command, error);
        return 2;
    }
    std::unique_ptr<AtomicFile> file;
    std::FILE* out = stdout;
    if (!io.outputFile.empty()) {
        file = std::make_unique<AtomicFile>(io.outputFile);
        if (!file->ok()) {
            report(command, file->error());
            return 2;
        }
        out = file->get();
    }
    int failed = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::string& line = lines[k];
        if (isPassThrough(line)) {
            // A trailing empty piece of --input-string is no line of its own.
            if (!(io.haveInputString && k + 1 == lines.size() && line.empty()))
                std::fprintf(out, "%s\n", line.c_str());
            continue;
        }
        const LineResult r = process(splitFields(line));
        if (!r.error.empty()) {
            ++failed;
            report(command, "line " + std::to_string(k + 1) + ": " + r.error);
            // Keep one output line per input line: the error becomes a comment
            // that later tools in a pipe pass through.
            std::fprintf(out, "# error: %s\n", r.error.c_str());
            continue;
        }
        for (std::size_t i = 0; i < r.fields.size(); ++i)
            std::fprintf(out, i == 0 ? "%s" : " %s", r.fields[i].c_str());
        std::fprintf(out, "\n");
    }
    if (file && !file->commit()) {
        report(command, file->error());
        return 2;
    }
    std::fflush(stdout);
    if (failed > 0) {
        report(command, std::to_string(failed) + " of the input lines failed");
        return 1;
    }
    return 0;
}

} // namespace cli
} // namespace tervala
