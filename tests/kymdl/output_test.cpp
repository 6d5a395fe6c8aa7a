// How the tool, run as a process, writes its outputs: standard output
// checked, -o through links, into FIFOs and devices without replacing them,
// keeping modes and owners, refusing read-only files, never at a name that
// can be guessed, and leaving no temporary file when it is killed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path sourceDir = KY_SOURCE_DIR;
const std::string shopModel = (sourceDir / "examples/models/shop.yaml").string();

std::string readAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// How to start the tool.
struct launch {
    std::vector<std::string> args;
    int stdoutFd = -1;  // -1: /dev/null
    rlim_t fileSizeLimit = RLIM_INFINITY;
    bool ignoreFileSizeSignal = false;
    std::function<void(pid_t)> beforeExec;  // runs while the child waits to exec
};

struct outcome {
    int status = -1;  // the exit status, or -1 when killed
    int signal = 0;   // the signal that ended it
    std::string err;
};

// Starts the tool and waits for it, at most a minute (then it is killed and
// the outcome says so), so that no test can hang.
outcome run(const launch& how, const fs::path& errPath) {
    std::vector<std::string> argv{KY_KYMDL_PATH};
    argv.insert(argv.end(), how.args.begin(), how.args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    // The child waits for a byte on the gate (not for its end: children
    // started at once by other threads hold copies of it until they exec).
    int gate[2];
    if (::pipe2(gate, O_CLOEXEC) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        char go = 0;
        ::close(gate[1]);
        if (::read(gate[0], &go, 1) != 1) ::_exit(126);
        const int out = how.stdoutFd >= 0 ? how.stdoutFd : ::open("/dev/null", O_WRONLY);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        const rlimit limit{how.fileSizeLimit, how.fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        if (how.ignoreFileSizeSignal) ::signal(SIGXFSZ, SIG_IGN);
        ::execv(raw[0], raw.data());
        ::_exit(127);
    }
    ::close(gate[0]);
    if (how.beforeExec) how.beforeExec(pid);
    const bool started = ::write(gate[1], "x", 1) == 1;
    ::close(gate[1]);
    outcome result;
    int status = 0;
    if (!started) ::kill(pid, SIGKILL);
    for (int waited = 0; ::waitpid(pid, &status, WNOHANG) == 0; ++waited) {
        if (waited == 6000) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            result.err = "the tool did not end within a minute\n";
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.err = readAll(errPath);
    return result;
}

mode_t modeOf(const fs::path& path) {
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status.st_mode;
}

class ToolOutput : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name = (fs::temp_directory_path() / "kymdl_output_XXXXXX").string();
        ASSERT_NE(::mkdtemp(name.data()), nullptr);
        mDir = name;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(mDir, ignored);
    }

    fs::path at(const std::string& name) const { return mDir / name; }
    void put(const std::string& name, const std::string& text) const {
        std::ofstream(at(name), std::ios::binary) << text;
    }
    outcome tool(launch how) const { return run(how, mDir.parent_path() / (mDir.filename().string() + ".err")); }
    outcome ddlTo(const fs::path& out, launch how = {}) const {
        how.args = {"ddl", shopModel, "--dialect", "sqlite", "-o", out.string()};
        return tool(how);
    }
    // The DDL the tool prints for the shop model.
    std::string expectedDdl() const {
        const fs::path out = mDir.parent_path() / (mDir.filename().string() + ".sql");
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        launch how;
        how.args = {"ddl", shopModel, "--dialect", "sqlite"};
        how.stdoutFd = fd;
        tool(how);
        ::close(fd);
        const std::string text = readAll(out);
        fs::remove(out);
        return text;
    }
    // Every entry of the directory with its content (a link's target text).
    std::map<std::string, std::string> listing() const {
        std::map<std::string, std::string> entries;
        for (const auto& entry : fs::directory_iterator(mDir)) {
            const fs::path& path = entry.path();
            entries[path.filename().string()] =
                entry.is_symlink() ? "-> " + fs::read_symlink(path).string() : readAll(path);
        }
        return entries;
    }

    fs::path mDir;
};

TEST_F(ToolOutput, AFullStandardOutputFailsWithTheReason) {
    launch how;
    how.args = {"ddl", shopModel, "--dialect", "sqlite"};
    how.stdoutFd = ::open("/dev/full", O_WRONLY);
    const outcome result = tool(how);
    ::close(how.stdoutFd);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("kymdl: cannot write the standard output: No space left on device\n"), std::string::npos)
        << result.err;
}

TEST_F(ToolOutput, AClosedPipeEndsTheToolQuietlyWithStatusOne) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    launch how;
    how.args = {"show", shopModel};
    how.stdoutFd = ends[1];
    const outcome result = tool(how);
    ::close(ends[1]);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "");
}

TEST_F(ToolOutput, AFifoIsWrittenInPlace) {
    const fs::path fifo = at("ddl.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A non-blocking reader opens at once; until a writer comes, poll waits.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    std::string received;
    std::thread reading([&] {
        for (pollfd wait{reader, POLLIN, 0}; ::poll(&wait, 1, 30000) > 0;) {
            char buffer[4096];
            const ssize_t got = ::read(reader, buffer, sizeof buffer);
            if (got == 0) break;
            if (got > 0) received.append(buffer, static_cast<std::size_t>(got));
        }
    });
    const outcome result = ddlTo(fifo);
    reading.join();
    ::close(reader);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(received, expectedDdl());
    EXPECT_TRUE(S_ISFIFO(modeOf(fifo)));
}

TEST_F(ToolOutput, ALinkIsWrittenThroughAndStaysALink) {
    put("real.sql", "old\n");
    fs::create_symlink("real.sql", at("link.sql"));
    const outcome result = ddlTo(at("link.sql"));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::is_symlink(at("link.sql")));
    EXPECT_EQ(readAll(at("real.sql")), expectedDdl());
}

TEST_F(ToolOutput, AReplacedFileKeepsItsMode) {
    put("private.sql", "old\n");
    fs::permissions(at("private.sql"), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ddlTo(at("private.sql")).status, 0);
    EXPECT_EQ(modeOf(at("private.sql")) & 07777, 0600u);
}

TEST_F(ToolOutput, AReplacedFileKeepsItsOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    put("theirs.sql", "old\n");
    ASSERT_EQ(::chown(at("theirs.sql").c_str(), 65534, 65534), 0);
    EXPECT_EQ(ddlTo(at("theirs.sql")).status, 0);
    struct stat status {};
    ::stat(at("theirs.sql").c_str(), &status);
    EXPECT_EQ(status.st_uid, 65534u);
    EXPECT_EQ(status.st_gid, 65534u);
}

// Refused as cp refuses it for a normal user, and for root as well.
TEST_F(ToolOutput, AReadOnlyFileIsRefusedAndKept) {
    put("frozen.sql", "old\n");
    fs::permissions(at("frozen.sql"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const outcome result = ddlTo(at("frozen.sql"));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find(at("frozen.sql").string() + ": error: cannot write the file: Permission denied [M100]\n"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(readAll(at("frozen.sql")), "old\n");
}

// Links planted where a writer with guessable names would put its
// temporary files (NAME.tmpPID, NAME.dot.tmp, NAME.tmp) lead nowhere.
TEST_F(ToolOutput, LinksPlantedAtGuessableNamesAreNotFollowed) {
    put("notes.txt", "mine\n");
    const auto before = listing();
    launch how;
    how.beforeExec = [&](pid_t pid) {
        for (const std::string& name :
             {"out.sql.tmp" + std::to_string(pid), std::string("out.sql.tmp"), std::string("out.sql.dot.tmp")})
            fs::create_symlink("notes.txt", at(name));
    };
    const outcome result = ddlTo(at("out.sql"), how);
    EXPECT_EQ(result.status, 0) << result.err;
    auto after = listing();
    EXPECT_EQ(after.erase("out.sql"), 1u);
    for (auto it = after.begin(); it != after.end();) it = it->second == "-> notes.txt" ? after.erase(it) : ++it;
    EXPECT_EQ(after, before);
}

// `>> log` opened it for appending; replacing the file would lose the log.
// (/dev/fd/1 rather than /dev/stdout: a writer that replaces what a path
// names would replace the machine's /dev/stdout link.)
TEST_F(ToolOutput, StandardOutputNamedAsAFileIsWrittenToTheDescriptor) {
    put("log.txt", "old\n");
    launch how;
    how.args = {"ddl", shopModel, "--dialect", "sqlite", "-o", "/dev/fd/1"};
    how.stdoutFd = ::open(at("log.txt").c_str(), O_WRONLY | O_APPEND);
    const outcome result = tool(how);
    ::close(how.stdoutFd);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readAll(at("log.txt")), "old\n" + expectedDdl());
}

TEST_F(ToolOutput, ACharacterDeviceStaysADevice) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root makes device nodes";
    const fs::path null = at("null");
    if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) GTEST_SKIP() << "no device nodes here";
    launch how;
    how.args = {"convert", shopModel, null.string()};
    EXPECT_EQ(tool(how).status, 0);
    EXPECT_TRUE(S_ISCHR(modeOf(null)));
}

// The file-size limit stops the write in the middle of the temporary file,
// exactly there, by a signal as deadly as SIGTERM: the handler must remove
// the temporary file and leave the old content.
TEST_F(ToolOutput, ASignalInTheMiddleOfAWriteLeavesNoTemporaryFile) {
    put("out.yaml", "old\n");
    launch how;
    how.args = {"convert", shopModel, at("out.yaml").string()};
    how.fileSizeLimit = 1024;
    const outcome result = tool(how);
    EXPECT_EQ(result.signal, SIGXFSZ);
    EXPECT_EQ(listing(), (std::map<std::string, std::string>{{"out.yaml", "old\n"}}));
}

TEST_F(ToolOutput, AFailedWriteIsReportedAndLeavesNoTemporaryFile) {
    put("out.yaml", "old\n");
    launch how;
    how.args = {"convert", shopModel, at("out.yaml").string()};
    how.fileSizeLimit = 1024;
    how.ignoreFileSizeSignal = true;
    const outcome result = tool(how);
    EXPECT_EQ(result.status, 1);
    // Only the first line: under coverage, gcov's own writes at exit meet the
    // same limit and say so after it.
    EXPECT_EQ(result.err.substr(0, result.err.find('\n') + 1),
              at("out.yaml").string() + ": error: cannot write the file: File too large [M100]\n");
    EXPECT_EQ(listing(), (std::map<std::string, std::string>{{"out.yaml", "old\n"}}));
}

TEST_F(ToolOutput, DiagramsDrawnAtOnceIntoOneFileAllSucceed) {
    if (std::system("command -v dot >/dev/null 2>&1") != 0) GTEST_SKIP() << "Graphviz's dot is not installed";
    std::vector<outcome> results(4);
    std::vector<std::thread> runs;
    for (std::size_t i = 0; i < results.size(); ++i) {
        runs.emplace_back([&, i] {
            launch how;
            how.args = {"diagram", shopModel, "--format", "svg", "-o", at("shop.svg").string()};
            results[i] = run(how, at("err" + std::to_string(i)));
        });
    }
    for (std::thread& t : runs) t.join();
    for (const outcome& result : results) EXPECT_EQ(result.status, 0) << result.err;
    const std::string svg = readAll(at("shop.svg"));
    EXPECT_EQ(svg.substr(svg.size() - std::min<std::size_t>(svg.size(), 7)), "</svg>\n");
}

}  // namespace
