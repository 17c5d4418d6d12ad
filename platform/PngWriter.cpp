#include "platform/PngWriter.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace platform {

namespace {

// A temporary file next to the target, removed unless committed.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) : path_(target + ".XXXXXX") {
        fd_ = mkstemp(path_.data());
        if (fd_ < 0) return;
        // mkstemp makes the file private; give it the mode a new file gets.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd_, 0666 & ~mask);
        file_ = fdopen(fd_, "wb");
    }
    ~TemporaryFile() {
        if (file_) std::fclose(file_);
        else if (fd_ >= 0) close(fd_);
        if (fd_ >= 0 && !committed_) unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    FILE* file() const { return file_; }

    bool commit(const std::string& target) {
        const bool flushed = std::fflush(file_) == 0 && fsync(fileno(file_)) == 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!flushed || !closed) return false;
        if (std::rename(path_.c_str(), target.c_str()) != 0) return false;
        committed_ = true;
        return true;
    }

private:
    std::string path_;
    int fd_ = -1;
    FILE* file_ = nullptr;
    bool committed_ = false;
};

std::string reason(const std::string& path) { return "cannot write " + path + ": " + std::strerror(errno); }

// libpng reports errors by longjmp; the encoder keeps no C++ objects with
// destructors alive across it.
bool encode(FILE* out, const std::vector<uint8_t>& rgb, int width, int height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, rgb.data() + static_cast<size_t>(y) * width * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Where a file written at path really lands: a symbolic link is followed,
// so replacing the file keeps the link.
std::string resolved(const std::string& path) {
    std::filesystem::path p = path;
    std::error_code ec;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(std::filesystem::symlink_status(p, ec)); ++hops) {
        const std::filesystem::path next = std::filesystem::read_symlink(p, ec);
        if (ec) break;
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    return p.string();
}

// An existing file that is not a regular one, such as /dev/null or a pipe:
// renaming over it would replace it, so it is written in place.
bool isSpecialFile(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
           !std::filesystem::is_directory(status);
}

}  // namespace

bool writePng(const std::string& path, const uint32_t* pixels, int width, int height, std::string& error) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
        rgb[i * 3 + 0] = static_cast<uint8_t>(pixels[i]);
        rgb[i * 3 + 1] = static_cast<uint8_t>(pixels[i] >> 8);
        rgb[i * 3 + 2] = static_cast<uint8_t>(pixels[i] >> 16);
    }
    const std::string target = resolved(path);
    if (isSpecialFile(target)) {
        FILE* out = std::fopen(target.c_str(), "wb");
        const bool written = out && encode(out, rgb, width, height);
        if (out && std::fclose(out) == 0 && written) return true;
        error = reason(path);
        return false;
    }
    TemporaryFile temp(target);
    if (!temp.file()) {
        error = reason(path);
        return false;
    }
    if (!encode(temp.file(), rgb, width, height)) {
        error = "cannot encode PNG " + path;
        return false;
    }
    if (!temp.commit(target)) {
        error = reason(path);
        return false;
    }
    return true;
}

bool canCreateFile(const std::string& path, std::string& error) {
    const std::string target = resolved(path);
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec)) {
        error = "cannot write " + path + ": is a directory";
        return false;
    }
    if (isSpecialFile(target)) {
        if (access(target.c_str(), W_OK) == 0) return true;
        error = reason(path);
        return false;
    }
    TemporaryFile probe(target);
    if (!probe.file()) {
        error = reason(path);
        return false;
    }
    return true;
}

}  // namespace platform
