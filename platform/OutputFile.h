#pragma once

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/types.h>
#endif

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// A file written at a path the way a user expects of a command-line tool:
// it appears whole or not at all, and what was there before is treated with
// care.
//
// - Symbolic links are followed, so writing keeps them; a loop fails (ELOOP).
//   A link in a sticky world-writable directory (/tmp) is followed only when
//   it belongs to the user or to the directory's owner, as the kernel does
//   with fs.protected_symlinks set, whatever the machine's setting; any other
//   is refused and nothing is written.
// - A new file, or an existing regular file that the user owns (or any, for
//   root) and that has no other hard links, is assembled in a temporary file
//   in the same directory and renamed into place on commit, keeping the old
//   file's mode and owner. Where the file system allows it the temporary file
//   has no name until then (O_TMPFILE), so a killed process leaves nothing
//   behind; otherwise it is a short hidden name, removed on failure.
// - Any other existing file the user may write (someone else's, a hard-linked
//   one, one in a directory the user cannot write, a device or a pipe) is
//   written in place on commit, keeping its inode, mode and owner. The bytes
//   are gathered in memory first and a regular file gets its space reserved
//   before its first byte changes, so a full disk leaves it as it was.
// - A file the user may not write is refused, as the shell's redirection
//   would (root may write any file that is not otherwise locked).
//
// On Windows (paths in UTF-8) the file is assembled in a temporary file in
// the same directory, created when the first byte is written, and moved over
// the final name on commit; an existing file reached through a symbolic link
// or junction is replaced where the link leads. A directory, a device, a
// read-only file, one that cannot be opened for writing, or the running
// program itself is refused when it is opened, before anything is written.
// There is no unnamed temporary file there; `temporary` is ignored.
//
// Every failure is described by error(): "cannot write PATH: reason".
class OutputFile {
public:
    // How a temporary file is made; `named` is the fallback for file systems
    // without unnamed temporary files, selectable so that it can be tested.
    enum class Temporary { unnamed, named };

    // Opens path for writing; on failure returns nothing and sets error.
    static std::unique_ptr<OutputFile> open(const std::string& path, std::string& error,
                                            Temporary temporary = Temporary::unnamed);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Appends bytes at the current position. False on failure (see error()).
    bool write(const void* data, std::size_t size);
    // Moves the position like lseek; -1 on failure. Linux only, like the
    // clip writers that use it.
    int64_t seek(int64_t offset, int whence);
    // A path that opens the staged bytes again (for writers that read back
    // what they wrote); valid until commit or destruction. Linux only.
    std::string stagedPath() const;

    // Puts the file in place. False on failure (see error()); nothing is left.
    bool commit();
    // Records a failure of a writer using this file, with errno's meaning.
    void fail(int err);
    // Records a failure described in words rather than by errno.
    void fail(const std::string& reason);
    const std::string& error() const { return error_; }

private:
    OutputFile() = default;
#ifdef _WIN32
    bool open(const std::string& path);
    bool createStaging();
    void discardStaging();

    std::string path_;          // as the user gave it, for messages
    std::wstring final_;        // where the file goes, every link followed
    std::wstring temporary_;    // the staging file's name, while it exists
    void* staging_ = nullptr;   // its handle, while open
    bool committed_ = false;
    std::string error_;
#else
    enum class Placing { link, replace, inPlace };

    bool open(const std::string& path, Temporary temporary);
    bool replaceable(const struct stat& status, Temporary temporary);
    bool openInPlace(const char* path, int directory, bool regular);
    int openTemporary(Temporary temporary);
    void discardTemporary();
    bool linkInto(const std::string& name);
    bool commitInPlace();

    std::string path_;           // as the user gave it, for messages
    std::string directoryPath_;  // the final file's directory
    std::string name_;           // the final file's name in it
    std::string temporaryName_;  // the named temporary file, while it exists
    int directory_ = -1;         // the final file's directory (O_PATH)
    int staging_ = -1;           // where the bytes are written
    int target_ = -1;            // the existing file, when written in place
    bool targetIsRegular_ = false;
    Placing placing_ = Placing::link;
    mode_t keepMode_ = 0;
    bool committed_ = false;
    std::string error_;
#endif
};

// Where writing to a path would land, for telling whether two paths name
// one file: the directory and name (every link followed), and the file
// there when there is one. Devices and inodes are Windows' volume serial
// numbers and file indexes there, and names are compared without case.
struct OutputTarget {
    uint64_t directoryDevice = 0;
    uint64_t directoryInode = 0;
    std::string name;
    bool exists = false;
    uint64_t device = 0;
    uint64_t inode = 0;

    // The same name in the same directory, or the same existing file.
    bool sameFileAs(const OutputTarget& other) const {
        if (exists && other.exists && device == other.device && inode == other.inode) return true;
        return directoryDevice == other.directoryDevice && directoryInode == other.directoryInode && name == other.name;
    }
};

// Nothing when the path leads nowhere that can be written (opening it says why).
std::optional<OutputTarget> outputTarget(const std::string& path);

}  // namespace platform
