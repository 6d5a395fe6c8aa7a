// writeFile on what the tool's own tests do not reach: files with other
// hard links, sockets and links planted in shared directories.
#include <gtest/gtest.h>

#include <kymdlfile.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "modelfile_support.h"

namespace kyfiletest {
namespace {

namespace fs = std::filesystem;

class WriteFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name = (fs::temp_directory_path() / "ky_write_XXXXXX").string();
        ASSERT_NE(::mkdtemp(name.data()), nullptr);
        mDir = name;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(mDir, ignored);
    }
    // The one diagnostic of a write that must fail, as a line.
    std::string failureOf(const fs::path& path, const std::string& text) const {
        std::vector<file::diagnostic> diagnostics;
        EXPECT_FALSE(file::writeFile(path.string(), text, &diagnostics));
        return diagnostics.size() == 1 ? diagnostics[0].text().toUtf8() : "";
    }

    fs::path mDir;
};

// The other name sees the new text, cut to its length.
TEST_F(WriteFile, AFileWithAnotherHardLinkIsRewrittenInPlace) {
    std::ofstream(mDir / "a.yaml") << "a longer old content\n";
    fs::create_hard_link(mDir / "a.yaml", mDir / "b.yaml");
    ASSERT_TRUE(file::writeFile((mDir / "a.yaml").string(), "new\n"));
    EXPECT_EQ(readAll(mDir / "b.yaml"), "new\n");
}

TEST_F(WriteFile, ASocketIsWrittenThroughAConnection) {
    const fs::path path = mDir / "s";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.string().size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    std::string received;
    std::thread reader([&] {
        const int peer = ::accept(listener, nullptr, nullptr);
        char buffer[256];
        for (ssize_t got; (got = ::read(peer, buffer, sizeof buffer)) > 0;)
            received.append(buffer, static_cast<std::size_t>(got));
        ::close(peer);
    });
    EXPECT_TRUE(file::writeFile(path.string(), "to the socket\n"));
    reader.join();
    ::close(listener);
    EXPECT_EQ(received, "to the socket\n");
}

// As the kernel's protected_symlinks rule would, for a writer that reads
// the links itself.
TEST_F(WriteFile, ALinkThatAnotherUserPlantedInASharedDirectoryIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can make a link of another user";
    fs::permissions(mDir, fs::perms::all | fs::perms::sticky_bit);
    std::ofstream(mDir / "victim") << "kept\n";
    fs::create_symlink(mDir / "victim", mDir / "out.yaml");
    ASSERT_EQ(::lchown((mDir / "out.yaml").c_str(), 65534, 65534), 0);
    EXPECT_EQ(failureOf(mDir / "out.yaml", "x"),
              (mDir / "out.yaml").string() +
                  ": error M100: cannot write the file: Permission denied (a link in a shared directory made by "
                  "another user)");
    EXPECT_EQ(readAll(mDir / "victim"), "kept\n");
}

}  // namespace
}  // namespace kyfiletest
