// The file layer on every system: output files replaced whole (also over an
// existing file, which rename() alone does not do on Windows), UTF-8 paths,
// refusals, file identity, the environment, and lines read back.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "TestSupport.h"
#include "platform/DataFolder.h"
#include "platform/Files.h"

namespace platform = tervala::platform;

namespace {

// "dätä" in UTF-8.
const std::string kUtf8Name = "d\xC3\xA4t\xC3\xA4";

std::string writeText(const std::string& path, const std::string& text, bool commit = true)
{
    platform::ReplacingFile f(path);
    if (!f.ok())
        return f.error();
    std::fputs(text.c_str(), f.get());
    if (commit && !f.commit())
        return f.error();
    return std::string();
}

std::string readText(const std::string& path)
{
    platform::File f = platform::openFile(path, "rb");
    if (!f)
        return "<cannot open>";
    std::string text;
    char buffer[256];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0)
        text.append(buffer, n);
    return text;
}

// The names in a folder, to tell a temporary file left behind.
std::vector<std::string> names(const std::string& folder)
{
    std::vector<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(folder)))
        out.push_back(entry.path().filename().u8string());
    return out;
}

} // namespace

// Writes in order into one folder: each row the file written, its text,
// whether it is committed, and the text read back afterwards (or the part of
// the error expected).
TEST(Files, OutputFilesAreReplacedWhole)
{
    const std::string dir = testsupport::scratchFolder("files-output");
    ASSERT_TRUE(platform::makeDirectory(dir + "/" + kUtf8Name));
    ASSERT_TRUE(platform::makeDirectory(dir + "/folder"));
    const struct {
        std::string name, text;
        bool commit;
        std::string expected, error;
    } rows[] = {
        {"out.txt", "first\n", true, "first\n", ""},
        {"out.txt", "second, longer\n", true, "second, longer\n", ""},  // over an existing file
        {"out.txt", "third\n", true, "third\n", ""},
        {"out.txt", "never committed\n", false, "third\n", ""},          // the target stays as it was
        {kUtf8Name + "/" + kUtf8Name + ".txt", "utf-8\n", true, "utf-8\n", ""},
        {kUtf8Name + "/" + kUtf8Name + ".txt", "again\n", true, "again\n", ""},
        {"folder", "x\n", true, "", "directory"},
        {"no-such-folder/x.txt", "x\n", true, "", "cannot create"},
    };
    for (const auto& r : rows) {
        const std::string path = dir + "/" + r.name;
        const std::string error = writeText(path, r.text, r.commit);
        if (r.error.empty()) {
            EXPECT_EQ(error, "") << r.name;
            EXPECT_EQ(readText(path), r.expected) << r.name;
        } else {
            EXPECT_NE(error.find(r.error), std::string::npos) << r.name << ": " << error;
        }
    }
    EXPECT_EQ(names(dir).size(), 3u) << "a temporary file was left";
    EXPECT_EQ(names(dir + "/" + kUtf8Name).size(), 1u) << "a temporary file was left";
}

// Opening data files: what each kind of name gives.
TEST(Files, RegularFilesOpenAndOthersAreRefused)
{
    const std::string dir = testsupport::scratchFolder("files-open");
    ASSERT_TRUE(platform::makeDirectory(dir + "/" + kUtf8Name));
    testsupport::writeBytes(dir + "/" + kUtf8Name + "/seven.dat", std::vector<unsigned char>(7, 'x'));
    const struct {
        std::string path;
        platform::LoadProblem problem;
        int systemError;
        long long size;
    } rows[] = {
        {dir + "/" + kUtf8Name + "/seven.dat", platform::LoadProblem::None, 0, 7},
        {dir + "/missing.dat", platform::LoadProblem::CannotOpen, ENOENT, -1},
        {dir + "/" + kUtf8Name, platform::LoadProblem::CannotOpen, EISDIR, -1},
    };
    for (const auto& r : rows) {
        platform::LoadStatus status;
        platform::File f = platform::openRegularFile(r.path, status);
        EXPECT_EQ(status.problem, r.problem) << r.path;
        EXPECT_EQ(status.systemError, r.systemError) << r.path;
        EXPECT_EQ(f != nullptr, r.problem == platform::LoadProblem::None) << r.path;
        if (f) {
            EXPECT_EQ(platform::fileSize(f.get()), r.size);
            EXPECT_TRUE(platform::isRegularFile(f.get()));
        }
        EXPECT_EQ(platform::isRegularFile(r.path), r.problem == platform::LoadProblem::None) << r.path;
    }
    EXPECT_TRUE(platform::isDirectory(dir + "/" + kUtf8Name));
    EXPECT_TRUE(platform::removeTree(dir));
    EXPECT_FALSE(platform::isDirectory(dir));
}

// File identity as the Python cache keys it: two spellings of one file are
// one identity; a rewrite of another size is a new one; a missing file none.
TEST(Files, IdentityFollowsTheFileNotTheName)
{
    const std::string dir = testsupport::scratchFolder("files-identity");
    ASSERT_TRUE(platform::makeDirectory(dir + "/" + kUtf8Name));
    const std::string path = dir + "/" + kUtf8Name + "/g.dat";
    ASSERT_EQ(writeText(path, "12345"), "");
    platform::FileIdentity a, b, c, none;
    int error = 0;
    ASSERT_TRUE(platform::identifyFile(path, a, error));
    ASSERT_TRUE(platform::identifyFile(dir + "/./" + kUtf8Name + "/../" + kUtf8Name + "/g.dat", b, error));
    EXPECT_FALSE(a < b || b < a) << a.path << " / " << b.path;
    EXPECT_EQ(a.size, 5);
    EXPECT_NE(a.path.find(kUtf8Name), std::string::npos) << a.path;
    EXPECT_EQ(platform::resolvedPath(dir + "/./" + kUtf8Name + "/g.dat"), a.path);
    ASSERT_EQ(writeText(path, "1234567"), "");
    ASSERT_TRUE(platform::identifyFile(path, c, error));
    EXPECT_TRUE(a < c || c < a);
    EXPECT_EQ(c.size, 7);
    EXPECT_FALSE(platform::identifyFile(dir + "/missing", none, error));
    EXPECT_EQ(error, ENOENT);
}

// The environment in UTF-8, and the data folder it names.
TEST(Files, EnvironmentAndDataFolderTakeUtf8)
{
    const std::string dir = testsupport::scratchFolder("files-data");
    const std::string folder = dir + "/" + kUtf8Name;
    ASSERT_TRUE(platform::makeDirectory(folder));
    // A 2 x 2 grid, 1-degree spacing, north-west corner (38, 127).
    const gridtest::GridFile grid{38, 127, 1, 1, 2, 2,
                                  {gridtest::bitsOf(1.5f), gridtest::bitsOf(2.5f), gridtest::bitsOf(3.5f),
                                   gridtest::bitsOf(4.5f)}};
    testsupport::writeBytes(folder + "/kgeoid14.dat", grid.bytes());

    std::string value;
    ASSERT_TRUE(platform::setEnvironmentVariable("TERVALA_TEST_VALUE", folder.c_str()));
    ASSERT_TRUE(platform::environmentVariable("TERVALA_TEST_VALUE", value));
    EXPECT_EQ(value, folder);
    ASSERT_TRUE(platform::setEnvironmentVariable("TERVALA_TEST_VALUE", nullptr));
    EXPECT_FALSE(platform::environmentVariable("TERVALA_TEST_VALUE", value));

    std::string saved;
    const bool hadFolder = platform::environmentVariable("TERVALA_DATA_DIR", saved);
    CTervala::SetDataFolder(nullptr);
    ASSERT_TRUE(platform::setEnvironmentVariable("TERVALA_DATA_DIR", folder.c_str()));
    EXPECT_EQ(CTervala::GetDataFolder(), folder);
    CTervala t;
    EXPECT_EQ(t.LoadKEGMData(14), 1) << "grid in " << folder;
    EXPECT_EQ(t.KEGMGeoidHeight(37, 128), 4.5);  // a node: its stored value
    platform::setEnvironmentVariable("TERVALA_DATA_DIR", hadFolder ? saved.c_str() : nullptr);
}

// Lines of any length, NUL bytes and a last line without its newline.
TEST(Files, LinesAreReadWhole)
{
    const std::string dir = testsupport::scratchFolder("files-lines");
    const std::string longLine(100000, 'x');
    const std::string text = "a\nbb\n\nc\r\n" + longLine + "\n" + std::string("n\0l", 3);
    testsupport::writeBytes(dir + "/lines.txt", std::vector<unsigned char>(text.begin(), text.end()));
    platform::File f = platform::openFile(dir + "/lines.txt", "rb");
    ASSERT_TRUE(f);
    platform::LineReader reader(f.get());
    const std::vector<std::string> expected = {"a", "bb", "", "c\r", longLine, std::string("n\0l", 3)};
    std::vector<std::string> got;
    std::string line;
    while (reader.next(line))
        got.push_back(line);
    EXPECT_EQ(got, expected);
}
