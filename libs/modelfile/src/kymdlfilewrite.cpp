// Writing an output file safely.
//
// A write first finds what it writes to: it follows symbolic links one at a
// time (readlink, not realpath, so that a link to a file not made yet still
// leads somewhere), refusing, as the kernel's protected_symlinks rule does,
// a link in a sticky world-writable directory that neither the process nor
// the directory's owner made. A name of one of the process's own descriptors
// (/dev/stdout, /dev/fd/N, /proc/self/fd/N) is written to that descriptor,
// as the shell would. A path that stat reaches but whose links name
// no path (the magic links of /proc) and anything that is not a regular
// file is written in place: a FIFO's reader, a terminal or /dev/null must
// see the text, never find its name taken by a regular file.
//
// A regular or new file is replaced: the text goes into a temporary file
// beside the target, made with O_CREAT|O_EXCL|O_NOFOLLOW under a random
// name (a link planted at any name is never followed, and no name can be
// guessed ahead), given the old file's owner and permission bits, synced,
// renamed over the target, and the directory synced so that the rename
// survives a crash. Replacing would split a file with other hard links
// from its other names, and would change the owner of a file this process
// may write but could not have made; such a file is rewritten in place
// (written, cut to length, synced), as editors that respect hard links do.
//
// The temporary file's name sits in a fixed table of slots from just before
// the file exists until it is renamed or removed, so that a signal handler
// can unlink what an interrupted write leaves: the table is plain memory
// and lock-free atomics, which is all a handler may touch.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "kymdlfilereport.h"
#include "kymdlfilewrite.h"

namespace ky::metamodel::file {

namespace {

// ---- the temporary files of the writes in progress ----

enum : int { slotFree, slotFilling, slotTaken };

struct pendingSlot {
    std::atomic<int> state{slotFree};
    char path[PATH_MAX];
};

static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads the slots");

// More writes at once than slots go on unprotected: their temporary files
// are still removed on failure, only not by a signal handler.
constexpr std::size_t slotCount = 64;
pendingSlot pending[slotCount];

// The slot now holding `path`, or -1.
int enterPending(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (std::size_t i = 0; i < slotCount; ++i) {
        int expected = slotFree;
        if (pending[i].state.compare_exchange_strong(expected, slotFilling, std::memory_order_acquire)) {
            std::memcpy(pending[i].path, path.c_str(), path.size() + 1);
            pending[i].state.store(slotTaken, std::memory_order_release);
            return static_cast<int>(i);
        }
    }
    return -1;
}

void leavePending(int slot) {
    if (slot >= 0) pending[slot].state.store(slotFree, std::memory_order_release);
}

// ---- paths ----

std::string reason(int error) { return std::strerror(error); }
std::string errorText(int error) { return error ? reason(error) : std::string(); }

// The directory part of `path` with its slash ("a/b" gives "a/", "b" gives "").
std::string dirOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string baseOf(const std::string& path) { return path.substr(dirOf(path).size()); }

const char* dirName(const std::string& dir) { return dir.empty() ? "." : dir.c_str(); }

// `dir` as a message shows it: without its closing slash.
std::string shownDir(const std::string& dir) { return dir.size() > 1 ? dir.substr(0, dir.size() - 1) : dirName(dir); }

// 64 random bits as hex; the clock and a counter when the kernel has no
// randomness to give (the exclusive creation keeps the write safe anyway).
std::string randomHex() {
    std::uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
        static std::atomic<std::uint64_t> counter{0};
        bits = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
               (static_cast<std::uint64_t>(::getpid()) << 32) ^ (++counter * 0x9E3779B97F4A7C15ull);
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
    return text;
}

// What a write goes to: the file the links lead to (which may not exist
// yet), or the path itself when it is written in place.
struct target {
    std::string path;
    bool exists = false;
    struct stat status {};
    bool throughLinks = false;  // `path` may hold links, for open to follow
    int descriptor = -1;        // an open descriptor of this process that the path names
};

// The descriptor that /dev/fd/N, /proc/self/fd/N or /proc/PID/fd/N (of this
// process) name, or -1. Writing to it keeps what the shell opened it with:
// `>> log` appends instead of losing the log to a replacement.
int descriptorOf(const std::string& path) {
    for (const std::string& prefix :
         {std::string("/dev/fd/"), std::string("/proc/self/fd/"), "/proc/" + std::to_string(::getpid()) + "/fd/"}) {
        if (path.rfind(prefix, 0) != 0) continue;
        const std::string number = path.substr(prefix.size());
        if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos)
            return -1;
        return std::stoi(number);
    }
    return -1;
}

// The kernel's rule for links in shared directories such as /tmp.
bool mayFollow(const std::string& link, const struct stat& linkStatus) {
    struct stat dir {};
    if (::stat(dirName(dirOf(link)), &dir) != 0) return true;
    const bool shared = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
    return !shared || linkStatus.st_uid == ::geteuid() || linkStatus.st_uid == dir.st_uid;
}

std::string readLink(const std::string& link, std::string& next) {
    std::string buffer(PATH_MAX, '\0');
    const ssize_t size = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (size <= 0) return reason(size < 0 ? errno : ENOENT);
    buffer.resize(static_cast<std::size_t>(size));
    next = buffer.front() == '/' ? buffer : dirOf(link) + buffer;
    return {};
}

// Finds what `path` leads to; empty when found, else why not.
std::string resolve(const std::string& path, target& out) {
    if ((out.descriptor = descriptorOf(path)) >= 0) return {};
    struct stat reached {};
    const bool reachable = ::stat(path.c_str(), &reached) == 0;
    if (!reachable && errno != ENOENT) return reason(errno);
    if (reachable && !S_ISREG(reached.st_mode)) {
        out = {path, true, reached, true};
        return {};
    }
    std::string current = path;
    for (int hops = 0;; ++hops) {
        struct stat status {};
        if (::lstat(current.c_str(), &status) != 0) {
            if (errno != ENOENT) return reason(errno);
            out = reachable ? target{path, true, reached, true} : target{current, false, {}, false};
            return {};
        }
        if (!S_ISLNK(status.st_mode)) {
            out = {current, true, status};
            return {};
        }
        if (hops == 40) return reason(ELOOP);
        if (!mayFollow(current, status)) return reason(EACCES) + " (a link in a shared directory made by another user)";
        if (std::string why = readLink(current, current); !why.empty()) return why;
        if ((out.descriptor = descriptorOf(current)) >= 0) return {};
    }
}

// ---- checks on the target ----

// Whether the permission bits let this process write the file. The system
// check (ACLs included) decides for a normal process; a privileged one,
// which the system would let write anything, is held to the owner's bit so
// that a read-only file stays read-only for it too.
std::string checkWritable(const target& t) {
    if (::geteuid() == 0) return t.status.st_mode & S_IWUSR ? std::string() : reason(EACCES);
    return ::faccessat(AT_FDCWD, t.path.c_str(), W_OK, AT_EACCESS) == 0 ? std::string() : reason(errno);
}

bool inOwnGroups(gid_t gid) {
    if (gid == ::getegid()) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// Whether a new file made by this process can be given `status`'s owner.
bool canGiveOwner(const struct stat& status) {
    if (::geteuid() == 0) return true;
    return status.st_uid == ::geteuid() && inOwnGroups(status.st_gid);
}

// ---- writing ----

std::string closeChecked(int fd) { return ::close(fd) == 0 ? std::string() : reason(errno); }

std::string noTemporary(const std::string& dir, int error) {
    return "no temporary file could be made in " + shownDir(dir) + ": " + reason(error);
}

// A temporary file beside a target, removed (and out of the pending table)
// unless renamed.
class temporaryFile {
public:
    temporaryFile() = default;
    temporaryFile(const temporaryFile&) = delete;
    temporaryFile& operator=(const temporaryFile&) = delete;
    ~temporaryFile() {
        if (mFd >= 0) ::close(mFd);
        if (!mPath.empty()) ::unlink(mPath.c_str());
        leavePending(mSlot);
    }

    // Makes the file in `dir` with `mode` (the umask applies).
    std::string create(const std::string& dir, const std::string& base, mode_t mode) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name = dir + "." + base.substr(0, 64) + "." + randomHex() + ".tmp";
            mSlot = enterPending(name);
            mFd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            if (mFd >= 0) {
                mPath = name;
                return {};
            }
            const int error = errno;
            leavePending(mSlot);
            mSlot = -1;
            if (error != EEXIST) return noTemporary(dir, error);
        }
        return noTemporary(dir, EEXIST);
    }
    int fd() const { return mFd; }
    std::string close() {
        const int fd = mFd;
        mFd = -1;
        return closeChecked(fd);
    }
    std::string renameOver(const std::string& path) {
        if (::rename(mPath.c_str(), path.c_str()) != 0) return reason(errno);
        mPath.clear();
        return {};
    }

private:
    std::string mPath;  // empty once renamed
    int mFd = -1;
    int mSlot = -1;
};

std::string keepOwnerAndMode(int fd, const struct stat& old) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) return reason(errno);
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        return reason(errno);
    }
    // The set-user and set-group bits are not handed on to new content.
    return ::fchmod(fd, old.st_mode & 01777) == 0 ? std::string() : reason(errno);
}

// Syncs the directory so that a rename in it lasts; a file system that
// cannot sync directories has nothing to sync.
std::string syncDirectory(const std::string& dir) {
    const int fd = ::open(dirName(dir), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return reason(errno);
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    ::close(fd);
    return synced ? std::string() : reason(error);
}

std::string replace(const target& t, std::string_view text) {
    const std::string dir = dirOf(t.path);
    temporaryFile temp;
    if (std::string why = temp.create(dir, baseOf(t.path), t.exists ? 0600 : 0666); !why.empty()) return why;
    if (const int error = writeAll(temp.fd(), text)) return reason(error);
    if (t.exists) {
        if (std::string why = keepOwnerAndMode(temp.fd(), t.status); !why.empty()) return why;
    }
    if (::fsync(temp.fd()) != 0) return reason(errno);
    if (std::string why = temp.close(); !why.empty()) return why;
    if (std::string why = temp.renameOver(t.path); !why.empty()) return why;
    if (std::string why = syncDirectory(dir); !why.empty()) return "replaced, but its directory was not synced: " + why;
    return {};
}

int connectSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

int openInPlace(const target& t) {
    if (S_ISSOCK(t.status.st_mode)) return connectSocket(t.path);
    const int noFollow = t.throughLinks ? 0 : O_NOFOLLOW;
    int fd = -1;
    do {
        fd = ::open(t.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | noFollow);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Writes the file as it is: a regular file is then cut to the text's length
// and synced. Opening a FIFO waits for its reader, as any writer does.
std::string writeInPlace(const target& t, std::string_view text) {
    const int fd = openInPlace(t);
    if (fd < 0) return reason(errno);
    int error = writeAll(fd, text);
    struct stat status {};
    if (!error && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        if (::ftruncate(fd, static_cast<off_t>(text.size())) != 0 || ::fsync(fd) != 0) error = errno;
    }
    std::string closed = closeChecked(fd);
    return error ? reason(error) : closed;
}

// Empty when all of `text` is in `path`, else why not.
std::string write(const std::string& path, std::string_view text) {
    if (path.empty()) return reason(ENOENT);
    target t;
    if (std::string why = resolve(path, t); !why.empty()) return why;
    if (t.descriptor >= 0) {
        return ::fcntl(t.descriptor, F_GETFD) < 0 ? reason(EBADF) : errorText(writeAll(t.descriptor, text));
    }
    if (!t.exists) return replace(t, text);
    if (S_ISDIR(t.status.st_mode)) return reason(EISDIR);
    if (S_ISREG(t.status.st_mode)) {
        if (std::string why = checkWritable(t); !why.empty()) return why;
        if (!t.throughLinks && t.status.st_nlink == 1 && canGiveOwner(t.status)) return replace(t, text);
    }
    return writeInPlace(t, text);
}

}  // namespace

int writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), std::min<std::size_t>(text.size(), std::size_t{1} << 30));
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return EIO;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

bool writeFile(const std::string& path, std::string_view text, std::vector<diagnostic>* diagnostics) {
    const std::string why = write(path, text);
    if (why.empty()) return true;
    if (diagnostics) {
        diagnostic d = diagnostic::make(eError, L"M100", L"cannot write the file: " + detail::wide(why));
        d.file = detail::wide(path);
        diagnostics->push_back(d);
    }
    return false;
}

void removePendingTemporaryFiles() noexcept {
    for (pendingSlot& slot : pending) {
        if (slot.state.load(std::memory_order_acquire) == slotTaken) ::unlink(slot.path);
    }
}

}  // namespace ky::metamodel::file
