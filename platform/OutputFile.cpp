#include "platform/OutputFile.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

namespace platform {

namespace {

// The kernel's own limit on links followed in one path lookup.
constexpr int maxLinks = 40;

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    void reset() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    int fd_;
};

// Where a write to a path would land, every symbolic link on the way followed.
struct Location {
    Descriptor directory;       // the directory holding the name (O_PATH)
    std::string directoryPath;  // a path to it ("" for the root)
    std::string name;
    bool exists = false;
    struct stat status {};  // the file at name, when it exists
    Descriptor object;      // a file reached through a link under /proc, which has no name of its own
    std::string refusal;    // why a link was not followed, when that ended the walk
};

std::string joined(const std::string& directory, const std::string& name) {
    return (directory.empty() ? "/" : directory + "/") + name;
}

// Puts the components of path in front of those still to walk.
void prependComponents(std::deque<std::string>& rest, const std::string& path) {
    std::vector<std::string> parts;
    for (size_t at = 0; at < path.size();) {
        const size_t slash = std::min(path.find('/', at), path.size());
        if (slash > at) parts.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    rest.insert(rest.begin(), parts.begin(), parts.end());
}

// The kernel's rule for links in shared directories (fs.protected_symlinks),
// applied whatever the machine's setting: in a sticky world-writable
// directory only a link of the user's own or of the directory's owner is
// followed, so that nobody can plant a link there that points someone else's
// write at a file of theirs.
bool mayFollow(int directory, const struct stat& link) {
    struct stat holder {};
    if (fstat(directory, &holder) != 0) return false;
    if ((holder.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH)) return true;
    return link.st_uid == geteuid() || link.st_uid == holder.st_uid;
}

bool onProc(int directory) {
    struct statfs fs {};
    return fstatfs(directory, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

int readLink(int directory, const std::string& name, const struct stat& link, std::string& text) {
    std::vector<char> buffer(static_cast<size_t>(std::max<off_t>(link.st_size, 255)) + 1);
    const ssize_t n = readlinkat(directory, name.c_str(), buffer.data(), buffer.size());
    if (n < 0) return errno;
    if (static_cast<size_t>(n) >= buffer.size()) return ENAMETOOLONG;
    text.assign(buffer.data(), static_cast<size_t>(n));
    return text.empty() ? ENOENT : 0;
}

// Links under /proc (a descriptor's, a process's own directory) stand for the
// object itself rather than a path, so the kernel follows them.
int followProcLink(Location& at, const std::string& name, bool last) {
    Descriptor object(openat(at.directory.get(), name.c_str(), O_PATH | O_CLOEXEC));
    struct stat status {};
    if (object.get() < 0 || fstat(object.get(), &status) != 0) return errno;
    if (S_ISDIR(status.st_mode)) {
        at.directoryPath = "/proc/self/fd/" + std::to_string(object.get());
        at.directory = std::move(object);
        return 0;
    }
    if (!last) return ENOTDIR;
    at.name = name;
    at.exists = true;
    at.status = status;
    at.object = std::move(object);
    return 0;
}

// Walks path one component at a time from the root or the working directory,
// as the kernel would, following each symbolic link itself so that every one
// of them is checked. Returns 0 or the errno that describes why there is no
// place to write; EACCES with at.refusal set for a link not followed.
int locate(const std::string& path, Location& at) {
    if (path.empty()) return ENOENT;
    // "name/" names a directory, like the shell's redirection reads it.
    if (path.back() == '/') {
        struct stat status {};
        return lstat(path.c_str(), &status) != 0 && errno != ENOENT ? errno : EISDIR;
    }
    const auto startAt = [&at](bool root) {
        at.directory = Descriptor(::open(root ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
        at.directoryPath.assign(root ? 0 : 1, '.');
        return at.directory.get() < 0 ? errno : 0;
    };
    std::deque<std::string> rest;
    prependComponents(rest, path);
    if (const int err = startAt(path.front() == '/')) return err;
    for (int links = 0; !rest.empty();) {
        const std::string name = rest.front();
        rest.pop_front();
        const bool last = rest.empty();
        struct stat status {};
        if (fstatat(at.directory.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT || !last) return errno;
            at.name = name;
            return 0;
        }
        if (S_ISLNK(status.st_mode)) {
            if (++links > maxLinks) return ELOOP;
            if (!mayFollow(at.directory.get(), status)) {
                at.refusal = "the symbolic link " + joined(at.directoryPath, name) +
                             " belongs to another user in a sticky world-writable directory";
                return EACCES;
            }
            if (onProc(at.directory.get())) {
                if (const int err = followProcLink(at, name, last)) return err;
                if (at.object.get() >= 0) return 0;
                continue;
            }
            std::string target;
            if (const int err = readLink(at.directory.get(), name, status, target)) return err;
            prependComponents(rest, target);
            if (target.front() == '/' && startAt(true) != 0) return errno;
            continue;
        }
        if (last) {
            at.name = name;
            at.exists = true;
            at.status = status;
            return 0;
        }
        if (!S_ISDIR(status.st_mode)) return ENOTDIR;
        Descriptor next(openat(at.directory.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.get() < 0) return errno;
        at.directory = std::move(next);
        at.directoryPath = joined(at.directoryPath, name);
    }
    // The path ends at a directory: the root, ".", "..", or a link to one.
    return EISDIR;
}

// A short hidden name, so that a final name of the longest legal length
// still leaves room for the temporary one.
std::string temporaryName(int attempt) {
    static constexpr char digits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::array<uint8_t, 6> noise{};
    if (getrandom(noise.data(), noise.size(), 0) != static_cast<ssize_t>(noise.size()))
        for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((getpid() >> (i * 5)) + attempt * 7 + i);
    std::string name = ".qm";
    for (const uint8_t n : noise) name += digits[n % (sizeof digits - 1)];
    return name;
}

constexpr int temporaryAttempts = 100;

}  // namespace

std::unique_ptr<OutputFile> OutputFile::open(const std::string& path, std::string& error, Temporary temporary) {
    std::unique_ptr<OutputFile> file(new OutputFile);
    if (file->open(path, temporary)) return file;
    error = file->error();
    return nullptr;
}

OutputFile::~OutputFile() {
    if (staging_ >= 0) close(staging_);
    if (!temporaryName_.empty()) unlinkat(directory_, temporaryName_.c_str(), 0);
    if (target_ >= 0) close(target_);
    if (directory_ >= 0) close(directory_);
}

void OutputFile::fail(int err) {
    if (error_.empty()) error_ = "cannot write " + path_ + ": " + std::strerror(err);
}

void OutputFile::fail(const std::string& reason) {
    if (error_.empty()) error_ = "cannot write " + path_ + ": " + reason;
}

bool OutputFile::open(const std::string& path, Temporary temporary) {
    path_ = path;
    Location at;
    if (const int err = locate(path, at)) {
        at.refusal.empty() ? fail(err) : fail(at.refusal);
        return false;
    }
    if (at.exists && S_ISDIR(at.status.st_mode)) {
        fail(EISDIR);
        return false;
    }
    // A file behind a link under /proc (/dev/stdout) is opened through that
    // link again, as the shell would, and written in place.
    if (at.object.get() >= 0)
        return openInPlace(("/proc/self/fd/" + std::to_string(at.object.get())).c_str(), AT_FDCWD, S_ISREG(at.status.st_mode));
    directoryPath_ = at.directoryPath;
    name_ = at.name;
    directory_ = at.directory.release();
    if (!at.exists) {
        placing_ = Placing::link;
        const int err = openTemporary(temporary);
        if (err) fail(err);
        return err == 0;
    }
    if (!S_ISREG(at.status.st_mode)) return openInPlace(name_.c_str(), directory_, false);
    if (faccessat(directory_, name_.c_str(), W_OK, AT_EACCESS) != 0) {
        fail(errno);
        return false;
    }
    return replaceable(at.status, temporary) || openInPlace(name_.c_str(), directory_, true);
}

// A regular file is replaced by a new one only when the new one can be made
// identical in mode, owner and group; otherwise it is written in place.
bool OutputFile::replaceable(const struct stat& status, Temporary temporary) {
    const uid_t me = geteuid();
    if ((me != 0 && status.st_uid != me) || status.st_nlink != 1) return false;
    if (openTemporary(temporary) != 0) return false;
    if (fchown(staging_, me == 0 ? status.st_uid : static_cast<uid_t>(-1), status.st_gid) != 0) {
        discardTemporary();
        return false;
    }
    placing_ = Placing::replace;
    keepMode_ = status.st_mode & 07777;
    return true;
}

bool OutputFile::openInPlace(const char* path, int directory, bool regular) {
    placing_ = Placing::inPlace;
    targetIsRegular_ = regular;
    // A name in a directory was checked not to be a link; it must not become one.
    const int noLink = directory == AT_FDCWD ? 0 : O_NOFOLLOW;
    target_ = openat(directory, path, O_WRONLY | O_NOCTTY | O_CLOEXEC | noLink);
    if (target_ >= 0) staging_ = memfd_create("quillmoor-output", MFD_CLOEXEC);
    if (target_ < 0 || staging_ < 0) {
        fail(errno);
        return false;
    }
    return true;
}

int OutputFile::openTemporary(Temporary temporary) {
    if (temporary == Temporary::unnamed) {
        staging_ = openat(directory_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        // Naming it later goes through /proc; without it the file could never appear.
        if (staging_ >= 0 && access(stagedPath().c_str(), F_OK) == 0) {
            return 0;
        }
        if (staging_ >= 0) {
            close(staging_);
            staging_ = -1;
        } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return errno;
        }
    }
    for (int attempt = 0; attempt < temporaryAttempts; ++attempt) {
        const std::string name = temporaryName(attempt);
        staging_ = openat(directory_, name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
        if (staging_ >= 0) {
            temporaryName_ = name;
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

void OutputFile::discardTemporary() {
    close(staging_);
    staging_ = -1;
    if (!temporaryName_.empty()) unlinkat(directory_, temporaryName_.c_str(), 0);
    temporaryName_.clear();
}

std::string OutputFile::stagedPath() const {
    if (!temporaryName_.empty()) return joined(directoryPath_, temporaryName_);
    return "/proc/self/fd/" + std::to_string(staging_);
}

bool OutputFile::write(const void* data, std::size_t size) {
    if (!error_.empty()) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(staging_, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

int64_t OutputFile::seek(int64_t offset, int whence) {
    const off_t at = lseek(staging_, static_cast<off_t>(offset), whence);
    if (at < 0) fail(errno);
    return at;
}

bool OutputFile::linkInto(const std::string& name) {
    return linkat(AT_FDCWD, stagedPath().c_str(), directory_, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

bool OutputFile::commit() {
    if (!error_.empty() || committed_) return error_.empty();
    if (placing_ == Placing::inPlace) return committed_ = commitInPlace();
    if (placing_ == Placing::replace && fchmod(staging_, keepMode_) != 0) {
        fail(errno);
        return false;
    }
    if (fsync(staging_) != 0) {
        fail(errno);
        return false;
    }
    if (!temporaryName_.empty()) {
        if (renameat(directory_, temporaryName_.c_str(), directory_, name_.c_str()) != 0) {
            fail(errno);
            return false;
        }
        temporaryName_.clear();
        return committed_ = true;
    }
    // An unnamed file can only be linked to a free name: straight to the
    // final one when it is new, else to a short temporary name that is then
    // renamed over the old file at once.
    if (placing_ == Placing::link && linkInto(name_)) return committed_ = true;
    if (placing_ == Placing::link && errno != EEXIST) {
        fail(errno);
        return false;
    }
    for (int attempt = 0; attempt < temporaryAttempts; ++attempt) {
        const std::string name = temporaryName(attempt);
        if (!linkInto(name)) {
            if (errno == EEXIST) continue;
            fail(errno);
            return false;
        }
        if (renameat(directory_, name.c_str(), directory_, name_.c_str()) != 0) {
            fail(errno);
            unlinkat(directory_, name.c_str(), 0);
            return false;
        }
        return committed_ = true;
    }
    fail(EEXIST);
    return false;
}

// Copies the gathered bytes over the existing file. A regular file gets all
// the space it needs first, so a full disk or a size limit stops the write
// before anything in it changes.
bool OutputFile::commitInPlace() {
    const off_t size = lseek(staging_, 0, SEEK_END);
    if (size < 0) {
        fail(errno);
        return false;
    }
    if (targetIsRegular_ && size > 0 && fallocate(target_, 0, 0, size) != 0 && errno != EOPNOTSUPP && errno != ENOSYS) {
        fail(errno);
        return false;
    }
    std::vector<char> buffer(size_t{1} << 16);
    for (off_t at = 0; at < size;) {
        const ssize_t got = pread(staging_, buffer.data(), std::min<size_t>(buffer.size(), static_cast<size_t>(size - at)), at);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) continue;
            fail(got < 0 ? errno : EIO);
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t n = targetIsRegular_ ? pwrite(target_, buffer.data() + done, static_cast<size_t>(got - done), at + done)
                                               : ::write(target_, buffer.data() + done, static_cast<size_t>(got - done));
            if (n < 0) {
                if (errno == EINTR) continue;
                fail(errno);
                return false;
            }
            done += n;
        }
        at += got;
    }
    if (targetIsRegular_ && (ftruncate(target_, size) != 0 || fsync(target_) != 0)) {
        fail(errno);
        return false;
    }
    return true;
}

std::optional<OutputTarget> outputTarget(const std::string& path) {
    Location at;
    struct stat directory {};
    if (locate(path, at) != 0 || fstat(at.directory.get(), &directory) != 0) return std::nullopt;
    return OutputTarget{directory.st_dev, directory.st_ino, at.name, at.exists, at.status.st_dev, at.status.st_ino};
}

}  // namespace platform
