// Output files on POSIX systems: atomic replacement only for regular files,
// links followed, FIFOs, sockets and devices written as what they are. Built
// only where those kinds of file exist (tests/test_files.cpp covers what
// every system shares).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <gtest/gtest.h>
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

