#include "platform/OutputFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {

namespace {

// The kernel's own limit on links followed in one path lookup.
constexpr int maxLinks = 40;

struct Resolved {
    std::string directory;
    std::string name;
    bool exists = false;
    struct stat status {};
};

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links from path to the file a write would land in.
// Returns 0 or the errno that describes why there is no such place.
int resolve(std::string path, Resolved& r) {
    for (int links = 0; links <= maxLinks; ++links) {
        // "name/" names a directory, like the shell's redirection reads it.
        if (nameOf(path).empty()) return lstat(path.c_str(), &r.status) != 0 && errno != ENOENT ? errno : EISDIR;
        if (lstat(path.c_str(), &r.status) != 0) {
            if (errno != ENOENT) return errno;
            r.exists = false;
            break;
        }
        if (!S_ISLNK(r.status.st_mode)) {
            r.exists = true;
            break;
        }
        if (links == maxLinks) return ELOOP;
        std::vector<char> text(static_cast<size_t>(std::max<off_t>(r.status.st_size, 255)) + 1);
        const ssize_t n = readlink(path.c_str(), text.data(), text.size());
        if (n < 0) return errno;
        if (static_cast<size_t>(n) >= text.size()) return ENAMETOOLONG;
        const std::string next(text.data(), static_cast<size_t>(n));
        path = next.front() == '/' ? next : directoryOf(path) + "/" + next;
    }
    r.directory = directoryOf(path);
    r.name = nameOf(path);
    return 0;
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
    // Anything but a regular file is opened through the path itself, so that
    // the kernel follows the links, /dev/stdout's included.
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        if (S_ISDIR(existing.st_mode)) {
            fail(EISDIR);
            return false;
        }
        return openInPlace(path.c_str(), AT_FDCWD, false);
    }
    Resolved r;
    if (const int err = resolve(path, r)) {
        fail(err);
        return false;
    }
    directoryPath_ = r.directory;
    name_ = r.name;
    directory_ = ::open(r.directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (directory_ < 0) {
        fail(errno);
        return false;
    }
    if (!r.exists) {
        placing_ = Placing::link;
        const int err = openTemporary(temporary);
        if (err) fail(err);
        return err == 0;
    }
    if (!S_ISREG(r.status.st_mode)) return openInPlace(name_.c_str(), directory_, false);
    if (faccessat(directory_, name_.c_str(), W_OK, AT_EACCESS) != 0) {
        fail(errno);
        return false;
    }
    return replaceable(r.status, temporary) || openInPlace(name_.c_str(), directory_, true);
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
    target_ = openat(directory, path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
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
    if (!temporaryName_.empty()) return directoryPath_ + "/" + temporaryName_;
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

unsigned reserveStandardStreams() {
    unsigned closed = 0;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        closed |= 1u << fd;
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
    return closed;
}

}  // namespace platform
