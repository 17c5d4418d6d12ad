#include "platform/PngWriter.h"

#include <png.h>

#include <csetjmp>
#include <cstddef>
#include <vector>

namespace platform {

namespace {

// What libpng's handlers reach: plain data only, since an error unwinds
// through them by longjmp.
struct PngSink {
    OutputFile* out;
    const char* volatile message;  // read after the longjmp
};

void onError(png_structp png, png_const_charp message) {
    static_cast<PngSink*>(png_get_error_ptr(png))->message = message;
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void onWrite(png_structp png, png_bytep data, std::size_t size) {
    if (!static_cast<PngSink*>(png_get_io_ptr(png))->out->write(data, size)) png_error(png, "write failed");
}

void onFlush(png_structp) {}

void toRgb(const uint32_t* row, int width, uint8_t* rgb) {
    for (int x = 0; x < width; ++x) {
        rgb[x * 3 + 0] = static_cast<uint8_t>(row[x]);
        rgb[x * 3 + 1] = static_cast<uint8_t>(row[x] >> 8);
        rgb[x * 3 + 2] = static_cast<uint8_t>(row[x] >> 16);
    }
}

}  // namespace

bool writePng(OutputFile& out, const uint32_t* pixels, int width, int height) {
    std::vector<uint8_t> rgb(static_cast<std::size_t>(width) * 3);
    PngSink sink{&out, "out of memory"};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        out.fail("out of memory");
        return false;
    }
    // libpng reports errors by longjmp back to here; no C++ object with a
    // destructor lives in the frames it skips.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        out.fail(sink.message);
        return false;
    }
    png_set_write_fn(png, &sink, onWrite, onFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        toRgb(pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width), width, rgb.data());
        png_write_row(png, rgb.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace platform
