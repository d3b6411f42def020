// Helpers shared by the test programs: scratch folders, file writers, and
// the locations of real data that tests use in place.
#ifndef TERVALA_TESTS_TESTSUPPORT_H
#define TERVALA_TESTS_TESTSUPPORT_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace testsupport {

inline bool fileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A fresh, empty scratch folder under the build tree, unique per test.
inline std::string scratchFolder(const std::string& name)
{
    const std::string root = TERVALA_TEST_TMPDIR;
    ::mkdir(root.c_str(), 0755);
    const std::string folder = root + "/" + name + "." + std::to_string(::getpid());
    std::string cmd = "rm -rf '" + folder + "'";
    if (std::system(cmd.c_str()) != 0) {
        ADD_FAILURE() << "cannot clear " << folder;
    }
    ::mkdir(folder.c_str(), 0755);
    return folder;
}

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    if (!bytes.empty()) {
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    }
    std::fclose(f);
}

// Appends the little-endian bytes of a value (this machine is little-endian,
// as the data files are).
template <typename T>
void append(std::vector<unsigned char>& out, T value)
{
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    out.insert(out.end(), raw, raw + sizeof(T));
}

// Real EGM96 coefficient files, used in place (never copied into the repo).
inline std::string egm96Folder() { return TERVALA_TEST_EGM96_DIR; }
inline bool haveEgm96Files()
{
    return fileExists(egm96Folder() + "/EGM96.dat") && fileExists(egm96Folder() + "/CORRCOEF.dat");
}
inline std::string gtxPath() { return TERVALA_TEST_GTX; }

// Saves an input a test built as a seed for a fuzzing harness, when the
// environment variable TERVALA_FUZZ_SEEDS names the corpus root (scripts/fuzz
// --make-seeds sets it); otherwise does nothing.
inline void saveSeed(const std::string& harness, const std::string& name, const std::string& bytes)
{
    const char* root = std::getenv("TERVALA_FUZZ_SEEDS");
    if (root == nullptr || root[0] == '\0')
        return;
    const std::string folder = std::string(root) + "/" + harness;
    ::mkdir(root, 0755);
    ::mkdir(folder.c_str(), 0755);
    std::FILE* f = std::fopen((folder + "/" + name).c_str(), "wb");
    if (f == nullptr)
        return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// Distance in units in the last place between two doubles of the same sign.
inline double ulpDistance(double a, double b)
{
    if (a == b)
        return 0.0;
    return std::fabs(a - b) / std::fabs(std::nextafter(a, INFINITY) - a);
}

} // namespace testsupport

#define TERVALA_SKIP_WITHOUT(flag, why) \
    do {                                \
        if (!(flag))                    \
            GTEST_SKIP() << why;        \
    } while (0)

#endif
