// Output files on POSIX systems: atomic replacement only for regular files,
// links followed, FIFOs, sockets and devices written as what they are. Built
// only where those kinds of file exist (tests/test_files.cpp covers what
// every system shares).
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "TestSupport.h"
#include "platform/Files.h"

// Output files: atomic replacement only for regular files; links followed,
// FIFOs and devices written as what they are (a rename over /dev/null would
// replace the device).
TEST(PlatformFiles, OutputFilesAreWrittenAsWhatTheyAre)
{
    const std::string dir = testsupport::scratchFolder("cli-output-kinds");
    auto write = [](const std::string& path, const std::string& text) {
        tervala::platform::ReplacingFile f(path);
        if (f.ok())
            std::fputs(text.c_str(), f.get());
        return f.ok() && f.commit() ? std::string() : f.error();
    };
    auto slurp = [](const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    auto mode = [](const std::string& path) {
        struct stat st {};
        ::lstat(path.c_str(), &st);
        return st.st_mode;
    };
    const std::string file = dir + "/new.txt", link = dir + "/link", fifo = dir + "/fifo";
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(write(file, "a\n"), "");
    EXPECT_EQ(mode(file) & 0777, 0666 & ~mask);  // a new file: the usual mode
    ::chmod(file.c_str(), 0640);
    ASSERT_EQ(::symlink("new.txt", link.c_str()), 0);
    EXPECT_EQ(write(link, "b\n"), "");
    EXPECT_TRUE(S_ISLNK(mode(link)));
    EXPECT_EQ(slurp(file), "b\n");
    EXPECT_EQ(mode(file) & 0777, 0640u);  // the replaced file's mode is kept

    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = slurp(fifo); });
    EXPECT_EQ(write(fifo, "c\n"), "");
    reader.join();
    EXPECT_EQ(received, "c\n");
    EXPECT_TRUE(S_ISFIFO(mode(fifo)));
    // A listening local socket receives the bytes and stays a socket.
    const std::string socketPath = dir + "/socket";
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << socketPath;
    ASSERT_EQ(::listen(server, 1), 0);
    std::thread listener([&] {
        char buffer[16] = {};
        const int peer = ::accept(server, nullptr, nullptr);
        received = std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(0, ::read(peer, buffer, 15))));
        ::close(peer);
    });
    EXPECT_EQ(write(socketPath, "s\n"), "");
    listener.join();
    ::close(server);
    EXPECT_EQ(received, "s\n");
    EXPECT_TRUE(S_ISSOCK(mode(socketPath)));
    EXPECT_EQ(write("/dev/null", "d\n"), "");
    EXPECT_TRUE(S_ISCHR(mode("/dev/null")));

    EXPECT_NE(write(dir + "/no-such-folder/x.txt", "e\n").find("cannot create"), std::string::npos);
    EXPECT_NE(write(dir, "f\n").find("directory"), std::string::npos);
    // A folder that takes no new files: read-only, or immutable for root,
    // whom modes do not stop.
    const std::string ro = dir + "/ro";
    ::mkdir(ro.c_str(), 0555);
    const bool root = ::geteuid() == 0;
    if (root && std::system(("chattr +i '" + ro + "' 2>/dev/null").c_str()) != 0) {
        std::printf("read-only folder case skipped: running as root without chattr +i\n");
    } else {
        EXPECT_NE(write(ro + "/x.txt", "g\n").find("cannot create"), std::string::npos);
        if (root) {
            EXPECT_EQ(std::system(("chattr -i '" + ro + "'").c_str()), 0);
        }
    }
    EXPECT_EQ(std::system(("! ls '" + dir + "' | grep -q tmp").c_str()), 0) << "temporary file left";
}


// Files written together (EGM96.dat with CORRCOEF.dat): all replaced or
// none. Faults injected for real: a file-size limit (as a full disk, the
// write of the second file fails with EFBIG) and a folder put in the second
// file's place after it was opened (replacing it fails once the first file
// is in place, which must then get its old contents back). Each row: the old
// files present, the fault; every case must leave the old contents (or no
// file) and no temporary or kept file.
TEST(PlatformFiles, FilesWrittenTogetherAreAllReplacedOrNone)
{
    const std::string dir = testsupport::scratchFolder("files-together");
    auto slurp = [](const std::string& path) {
        std::ifstream in(path);
        return in ? std::string(std::istreambuf_iterator<char>(in), {}) : std::string("(none)");
    };
    const std::string first = dir + "/EGM96.dat", second = dir + "/CORRCOEF.dat";
    const std::string big(4096, 'n');
    struct Case {
        bool oldFiles;
        const char* fault;  // "none", "size" or "rename"
    };
    for (const Case c : {Case{true, "none"}, Case{false, "none"}, Case{true, "size"}, Case{false, "size"},
                         Case{true, "rename"}, Case{false, "rename"}}) {
        SCOPED_TRACE(std::string(c.oldFiles ? "old files, " : "no old files, ") + c.fault);
        ASSERT_EQ(std::system(("rm -rf '" + first + "' '" + second + "'").c_str()), 0);
        if (c.oldFiles) {
            std::ofstream(first) << "old first";
            std::ofstream(second) << "old second";
        }
        const std::string fault = c.fault;
        bool written = false;
        std::string error;
        {
            tervala::platform::ReplacingFile a(first), b(second);
            ASSERT_TRUE(a.ok() && b.ok()) << a.error() << b.error();
            if (fault == "rename") {
                ASSERT_EQ(std::system(("rm -f '" + second + "' && mkdir '" + second + "' && touch '" + second + "/x'").c_str()),
                          0);
            }
            // The limit before the writes: a buffer-sized write goes to the
            // file at once.
            rlimit saved{};
            ::getrlimit(RLIMIT_FSIZE, &saved);
            void (*savedHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
            if (fault == "size") {
                rlimit limit = saved;
                limit.rlim_cur = 1024;  // the first file fits, the second does not
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            std::fputs("new first", a.get());
            std::fputs(big.c_str(), b.get());
            tervala::platform::ReplacingFile* both[] = {&a, &b};
            written = tervala::platform::commitTogether(both, 2, error);
            ::setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, savedHandler);
        }
        if (fault == "rename") {
            ASSERT_EQ(std::system(("rm -rf '" + second + "'").c_str()), 0);
        }
        if (fault == "none") {
            EXPECT_TRUE(written) << error;
            EXPECT_EQ(slurp(first), "new first");
            EXPECT_EQ(slurp(second), big);
        } else {
            EXPECT_FALSE(written);
            EXPECT_NE(error.find("CORRCOEF.dat"), std::string::npos) << error;
            EXPECT_EQ(slurp(first), c.oldFiles ? "old first" : "(none)");
            if (fault == "size") {
                EXPECT_EQ(slurp(second), c.oldFiles ? "old second" : "(none)");
            }
        }
        EXPECT_EQ(std::system(("! ls -a '" + dir + "' | grep -q '\\.tmp\\.\\|\\.old\\.'").c_str()), 0)
            << "temporary or kept file left";
    }
}
