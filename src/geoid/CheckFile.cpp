#include "geoid/CheckFile.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "platform/Files.h"

namespace tervala {
namespace check {
namespace {

struct CrcTable {
    std::uint32_t t[256];
    CrcTable()
    {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
    }
};

const CrcTable& table()
{
    static const CrcTable instance;
    return instance;
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string checkFilePath(const std::string& dataPath) { return dataPath + ".sum"; }

std::uint32_t crc32(const void* bytes, std::size_t size, std::uint32_t crc)
{
    const std::uint32_t* t = table().t;
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = t[(crc ^ p[i]) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}

std::string formatCheckFile(long long size, std::uint32_t crc, const std::string& source)
{
    char line[64];
    std::snprintf(line, sizeof line, "crc32 %08" PRIx32 "\n", crc);
    std::string text = "tervala-check 1\nsize " + std::to_string(size) + "\n" + line;
    const std::string name = baseName(source);
    if (!name.empty() && name.find('\n') == std::string::npos)
        text += "source " + name + "\n";
    return text;
}

std::string formatCheckFile(const std::string& bytes, const std::string& source)
{
    return formatCheckFile(static_cast<long long>(bytes.size()), crc32(bytes.data(), bytes.size()), source);
}

bool checksumOfStream(std::FILE* file, long long& size, std::uint32_t& crc)
{
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[1 << 16]);
    size = 0;
    crc = 0;
    std::size_t got;
    while ((got = std::fread(buffer.get(), 1, 1 << 16, file)) > 0) {
        crc = crc32(buffer.get(), got, crc);
        size += static_cast<long long>(got);
    }
    return !std::ferror(file);
}

bool readCheckFile(const std::string& dataPath, CheckRecord& record, std::string& problem)
{
    const std::string path = checkFilePath(dataPath);
    record = CheckRecord{};
    platform::LoadStatus status;
    const platform::File file = platform::openRegularFile(path, status);
    if (!file) {
        problem = status.message();
        return false;
    }
    std::string text;
    char chunk[512];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0 && text.size() < 4096)
        text.append(chunk, got);
    std::istringstream lines(text);
    std::string line;
    bool magic = false, haveCrc = false;
    while (std::getline(lines, line)) {
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space), value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "tervala-check") {
            magic = value == "1";
        } else if (key == "size") {
            char* end = nullptr;
            const long long v = std::strtoll(value.c_str(), &end, 10);
            if (end != value.c_str() && *end == '\0' && v >= 0)
                record.size = v;
        } else if (key == "crc32") {
            char* end = nullptr;
            const unsigned long v = std::strtoul(value.c_str(), &end, 16);
            if (value.size() == 8 && *end == '\0') {
                record.crc = static_cast<std::uint32_t>(v);
                haveCrc = true;
            }
        } else if (key == "source") {
            record.source = value;
        }
    }
    if (!magic || record.size < 0 || !haveCrc) {
        problem = path + ": not a check file (expected the lines \"tervala-check 1\", \"size N\" and \"crc32 XXXXXXXX\")";
        return false;
    }
    return true;
}

CheckResult verifyDataFile(const std::string& dataPath, CheckRecord& record, std::string& problem)
{
    const std::string path = checkFilePath(dataPath);
    platform::LoadStatus status;
    if (!platform::openRegularFile(path, status) && status.problem == platform::LoadProblem::CannotOpen &&
        status.systemError == ENOENT)
        return CheckResult::NoCheckFile;
    if (!readCheckFile(dataPath, record, problem))
        return CheckResult::BadCheckFile;
    const platform::File data = platform::openRegularFile(dataPath, status);
    long long size = 0;
    std::uint32_t crc = 0;
    if (!data || !checksumOfStream(data.get(), size, crc)) {
        problem = "cannot be read to verify it against " + path;
        return CheckResult::Mismatch;
    }
    if (size != record.size || crc != record.crc) {
        char detail[160];
        if (size != record.size)
            std::snprintf(detail, sizeof detail, "it has %lld bytes, its check file %s says %lld", size,
                          path.c_str(), record.size);
        else
            std::snprintf(detail, sizeof detail, "its CRC-32 is %08" PRIx32 ", its check file %s says %08" PRIx32,
                          crc, path.c_str(), record.crc);
        problem = std::string("damaged or replaced since it was converted (") + detail + ")";
        return CheckResult::Mismatch;
    }
    return CheckResult::Matches;
}

} // namespace check
} // namespace tervala
