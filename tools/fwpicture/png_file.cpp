// libpng's errors and PNG writing for the tools (png_file.h).
#include "png_file.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool writeRows(png_structp png, png_infop info, FILE* file, int32_t width, int32_t height, bool alpha,
               png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);                                      // our rows are B, G, R, A
    if (!alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);  // the fourth byte is left out
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

}  // namespace

void pngError(png_structp png, png_const_charp message) {
    PngErrorContext* context = static_cast<PngErrorContext*>(png_get_error_ptr(png));
    std::snprintf(context->message, sizeof context->message, "%s", message);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}  // warnings change nothing we write

bool writePngPicture(const char* path, int32_t width, int32_t height, const unsigned char* bgra, size_t stride,
                     bool alpha, std::string* error) {
    FILE* file = std::fopen(path, "wb");
    if (!file) {
        *error = std::string(path) + ": cannot create: " + std::strerror(errno);
        return false;
    }
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y) rows[static_cast<size_t>(y)] = const_cast<png_bytep>(bgra + y * stride);
    PngErrorContext context = {};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = info && writeRows(png, info, file, width, height, alpha, rows.data());
    if (!info) std::snprintf(context.message, sizeof context.message, "out of memory");
    png_destroy_write_struct(&png, &info);
    bool closed = std::fclose(file) == 0;
    if (!ok) *error = std::string(path) + ": cannot write PNG: " + context.message;
    else if (!closed) *error = std::string(path) + ": cannot write: " + std::strerror(errno);
    return ok && closed;
}
