// Output files on Windows: the bytes go to a temporary file beside the final
// one, which MoveFileExW puts in place whole. Paths arrive in UTF-8; failures
// are worded as on Linux where the cause is the same.
#include <windows.h>
// bcrypt.h needs the types windows.h defines.
#include <bcrypt.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <tuple>
#include <utility>

#include "platform/OutputFile.h"

namespace platform {

namespace {

constexpr int temporaryAttempts = 100;

// A handle closed when it goes out of scope.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~Handle() {
        if (handle_) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HANDLE handle_;
};

std::wstring wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return {};
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

std::string utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

// The system's own words for a failure, on one line without the final stop.
std::string systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length ? std::wstring(text, length) : L"error " + std::to_wstring(code);
    LocalFree(text);
    std::replace(message.begin(), message.end(), L'\r', L' ');
    std::replace(message.begin(), message.end(), L'\n', L' ');
    while (!message.empty() && (message.back() == L' ' || message.back() == L'.')) message.pop_back();
    return utf8(message);
}

// Why a system call failed, in the C library's words where Linux would
// fail the same way, so that both builds say the same.
std::string reason(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return std::strerror(ENOENT);
    case ERROR_ACCESS_DENIED:
        return std::strerror(EACCES);
    case ERROR_DIRECTORY:
        return std::strerror(ENOTDIR);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return std::strerror(ENOSPC);
    case ERROR_WRITE_PROTECT:
        return std::strerror(EROFS);
    case ERROR_FILENAME_EXCED_RANGE:
        return std::strerror(ENAMETOOLONG);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return "it is in use by another program";
    default:
        return systemMessage(code);
    }
}

// What identifies a file: its volume and its index there.
struct FileId {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool operator==(const FileId&) const = default;
};

bool identify(HANDLE handle, FileId& id, DWORD* attributes = nullptr) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return false;
    id = {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    if (attributes) *attributes = info.dwFileAttributes;
    return true;
}

// Opens whatever is at path, every link followed, to look at it only.
HANDLE openToInspect(const std::wstring& path) {
    return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::wstring finalPath(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length);
    }
}

std::wstring fullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return {};
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(length < size ? length : 0);
    return full;
}

bool isRunningProgram(const FileId& file) {
    std::wstring self(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    self.resize(length);
    const Handle handle(length ? openToInspect(self) : INVALID_HANDLE_VALUE);
    FileId id;
    return handle && identify(handle.get(), id) && id == file;
}

// Where a write to a path would land: the full path with every link
// followed, and the file there when there is one.
struct Location {
    std::wstring path;
    bool exists = false;
    FileId file;
    DWORD attributes = 0;
    bool onDisk = true;  // not a device, a pipe or a console
};

size_t nameStart(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? 0 : slash + 1;
}

// Empty when the path leads somewhere that could hold a file, else why not.
std::string locate(const std::string& path, Location& at) {
    if (path.empty()) return std::strerror(ENOENT);
    // "name\" names a directory, like "name/" on Linux.
    if (path.back() == '/' || path.back() == '\\') return std::strerror(EISDIR);
    const std::wstring given = wide(path);
    if (given.empty()) return std::strerror(EINVAL);
    at.path = fullPath(given);
    if (at.path.empty()) return reason(GetLastError());
    const Handle handle(openToInspect(at.path));
    if (!handle) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? std::string() : reason(error);
    }
    at.exists = true;
    at.onDisk = GetFileType(handle.get()) == FILE_TYPE_DISK;
    if (!at.onDisk) return {};
    if (!identify(handle.get(), at.file, &at.attributes)) return reason(GetLastError());
    if (at.attributes & FILE_ATTRIBUTE_DIRECTORY) return std::strerror(EISDIR);
    at.path = finalPath(handle.get());
    return at.path.empty() ? reason(GetLastError()) : std::string();
}

// A short name for the staging file, random so that two writers in one
// directory do not meet.
std::wstring temporaryName(int attempt) {
    static constexpr char digits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::array<uint8_t, 6> noise{};
    if (BCryptGenRandom(nullptr, noise.data(), static_cast<ULONG>(noise.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG) < 0)
        for (size_t i = 0; i < noise.size(); ++i)
            noise[i] = static_cast<uint8_t>((GetCurrentProcessId() >> (i * 5)) + GetTickCount() + attempt * 7 + i);
    std::wstring name = L".qm";
    for (const uint8_t n : noise) name += static_cast<wchar_t>(digits[n % (sizeof digits - 1)]);
    return name;
}

// Creates a new file beside the final one; the handle and its name, or no
// handle and the failure's code.
std::pair<HANDLE, std::wstring> createBeside(const std::wstring& finalPath, DWORD flags, DWORD& error) {
    const std::wstring directory = finalPath.substr(0, nameStart(finalPath));
    for (int attempt = 0; attempt < temporaryAttempts; ++attempt) {
        std::wstring name = directory + temporaryName(attempt);
        // DELETE: a file that vanishes when closed must be deletable by its handle.
        const HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW, flags, nullptr);
        if (handle != INVALID_HANDLE_VALUE) return {handle, std::move(name)};
        error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return {nullptr, {}};
    }
    return {nullptr, {}};
}

}  // namespace

std::unique_ptr<OutputFile> OutputFile::open(const std::string& path, std::string& error, Temporary) {
    std::unique_ptr<OutputFile> file(new OutputFile);
    if (file->open(path)) return file;
    error = file->error();
    return nullptr;
}

OutputFile::~OutputFile() { discardStaging(); }

void OutputFile::fail(int err) {
    if (error_.empty()) error_ = "cannot write " + path_ + ": " + std::strerror(err);
}

void OutputFile::fail(const std::string& reason) {
    if (error_.empty()) error_ = "cannot write " + path_ + ": " + reason;
}

// Checks everything that can be checked before the first byte: the place,
// what is there now, and that a file can be made in the directory (a file
// that vanishes as it is closed, so that nothing is left should the program
// be stopped before it writes).
bool OutputFile::open(const std::string& path) {
    path_ = path;
    Location at;
    if (const std::string refusal = locate(path, at); !refusal.empty()) {
        fail(refusal);
        return false;
    }
    if (!at.onDisk) {
        fail("it is a device, not a file");
        return false;
    }
    if (at.exists && isRunningProgram(at.file)) {
        fail("it is the running program");
        return false;
    }
    if (at.exists && (at.attributes & FILE_ATTRIBUTE_READONLY)) {
        fail(EACCES);
        return false;
    }
    final_ = at.path;
    if (at.exists) {
        const Handle existing(CreateFileW(final_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!existing) {
            fail(reason(GetLastError()));
            return false;
        }
    }
    DWORD error = 0;
    const Handle probe(createBeside(final_, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, error).first);
    if (!probe) fail(reason(error));
    return static_cast<bool>(probe);
}

bool OutputFile::createStaging() {
    DWORD error = 0;
    std::tie(staging_, temporary_) = createBeside(final_, FILE_ATTRIBUTE_NORMAL, error);
    if (!staging_) fail(reason(error));
    return staging_ != nullptr;
}

void OutputFile::discardStaging() {
    if (staging_) CloseHandle(staging_);
    staging_ = nullptr;
    if (!temporary_.empty()) DeleteFileW(temporary_.c_str());
    temporary_.clear();
}

bool OutputFile::write(const void* data, std::size_t size) {
    if (!error_.empty()) return false;
    if (!staging_ && !createStaging()) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, DWORD{1} << 30));
        DWORD written = 0;
        if (!WriteFile(staging_, p, chunk, &written, nullptr) || written == 0) {
            fail(reason(GetLastError()));
            return false;
        }
        p += written;
        size -= written;
    }
    return true;
}

bool OutputFile::commit() {
    if (!error_.empty() || committed_) return error_.empty();
    if (!staging_ && !createStaging()) return false;
    if (!FlushFileBuffers(staging_)) {
        fail(reason(GetLastError()));
        return false;
    }
    CloseHandle(staging_);
    staging_ = nullptr;
    if (!MoveFileExW(temporary_.c_str(), final_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        fail(reason(GetLastError()));
        discardStaging();
        return false;
    }
    temporary_.clear();
    return committed_ = true;
}

std::optional<OutputTarget> outputTarget(const std::string& path) {
    Location at;
    if (!locate(path, at).empty() || !at.onDisk) return std::nullopt;
    const size_t start = nameStart(at.path);
    const Handle directory(openToInspect(at.path.substr(0, start)));
    FileId directoryId;
    if (!directory || !identify(directory.get(), directoryId)) return std::nullopt;
    // Windows' file systems match names without case.
    std::wstring name = at.path.substr(start);
    CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
    return OutputTarget{directoryId.volume, directoryId.index, utf8(name), at.exists, at.file.volume, at.file.index};
}

}  // namespace platform
