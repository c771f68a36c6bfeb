// fwpicture: converts pictures between PNG and the player's raw picture format.
//
//   fwpicture encode in.png out.bmp    PNG (any colour type) -> raw picture
//   fwpicture decode in.bmp out.png    raw picture -> 8-bit RGBA PNG
//   fwpicture info file.bmp            prints "width height"
//
// The raw format: the bytes "TEYL", width and height as signed 32-bit
// little-endian integers, then width * height pixels of 4 bytes each in the
// order blue, green, red, alpha, top row first, no padding.
//
// Every failure is one line on stderr and exit status 1 (2 for wrong usage).
// Sizes are checked before anything is allocated, and libpng's errors come back
// through setjmp/longjmp inside functions that hold only plain C locals, so no
// destructor is ever jumped over.
#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "png_file.h"

namespace {

const unsigned char kFileId[4] = {'T', 'E', 'Y', 'L'};
const int kHeaderSize = 12;
// Far beyond any texture the player can make (its device tops out well below),
// and small enough that width * height * 4 always fits in 64 bits and in memory.
const int32_t kMaxSide = 16384;

struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<unsigned char> bgra;  // width * height * 4 bytes, top row first
};

std::string gError;  // the one-line message of the last failure

bool fail(const std::string& message) {
    gError = message;
    return false;
}

std::string systemError() { return std::strerror(errno); }

bool sizeIsSane(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide;
}

std::string sizeText(int64_t width, int64_t height) { return std::to_string(width) + " x " + std::to_string(height); }

int32_t readLe32(const unsigned char* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

void writeLe32(unsigned char* p, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// ---- libpng plumbing -------------------------------------------------------

// Reads the header and sets up the transformations that make every colour type
// come out as 8-bit B, G, R, A. Returns false with context->message set.
bool readPngHeader(png_structp png, png_infop info, FILE* file, png_uint_32* width, png_uint_32* height,
                   PngErrorContext* context) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_read_info(png, info);
    int bitDepth = png_get_bit_depth(png, info);
    int colorType = png_get_color_type(png, info);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);  // only acts when there is no alpha yet
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(png_get_image_width(png, info)) * 4) {
        std::snprintf(context->message, sizeof context->message, "unexpected PNG row layout");
        return false;
    }
    *width = png_get_image_width(png, info);
    *height = png_get_image_height(png, info);
    return true;
}

bool readPngRows(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

std::vector<png_bytep> rowPointers(Picture& picture) {
    std::vector<png_bytep> rows(static_cast<size_t>(picture.height));
    for (int32_t y = 0; y < picture.height; ++y)
        rows[static_cast<size_t>(y)] = picture.bgra.data() + static_cast<size_t>(y) * picture.width * 4;
    return rows;
}

// ---- the two file formats --------------------------------------------------

bool readPng(const char* path, Picture* picture) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return fail(std::string(path) + ": cannot open: " + systemError());
    unsigned char signature[8] = {};
    size_t got = std::fread(signature, 1, sizeof signature, file);
    if (got != sizeof signature || png_sig_cmp(signature, 0, sizeof signature) != 0) {
        std::fclose(file);
        return fail(std::string(path) + ": not a PNG file");
    }
    std::rewind(file);

    PngErrorContext context = {};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::fclose(file);
        return fail("out of memory");
    }

    bool ok = false;
    png_uint_32 width = 0, height = 0;
    if (readPngHeader(png, info, file, &width, &height, &context)) {
        if (!sizeIsSane(width, height)) {
            std::snprintf(context.message, sizeof context.message, "unsupported size %s",
                          sizeText(width, height).c_str());
        } else {
            picture->width = static_cast<int32_t>(width);
            picture->height = static_cast<int32_t>(height);
            picture->bgra.assign(static_cast<size_t>(width) * height * 4, 0);
            std::vector<png_bytep> rows = rowPointers(*picture);
            ok = readPngRows(png, info, rows.data());
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    if (!ok) return fail(std::string(path) + ": unreadable PNG: " + context.message);
    return true;
}

bool writePng(const char* path, const Picture& picture) {
    std::string message;
    if (writePngPicture(path, picture.width, picture.height, picture.bgra.data(),
                        static_cast<size_t>(picture.width) * 4, true, &message))
        return true;
    return fail(message);
}

// Reads the 12-byte header and checks it against the file's length; with
// `pixels` false the pixels themselves are not read (for `info`).
bool readRaw(const char* path, Picture* picture, bool pixels) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return fail(std::string(path) + ": cannot open: " + systemError());
    unsigned char header[kHeaderSize];
    size_t got = std::fread(header, 1, sizeof header, file);
    bool ok = false;
    if (got >= 4 && std::memcmp(header, kFileId, 4) != 0) {
        fail(std::string(path) + ": not a raw picture (it does not begin with \"TEYL\")");
    } else if (got < sizeof header) {
        fail(std::string(path) + ": truncated file (" + std::to_string(got) + " bytes, the header alone is 12)");
    } else {
        int32_t width = readLe32(header + 4);
        int32_t height = readLe32(header + 8);
        int64_t pixelBytes = static_cast<int64_t>(width) * height * 4;
        long length = -1;
        if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
        if (!sizeIsSane(width, height)) {
            fail(std::string(path) + ": unsupported size " + sizeText(width, height) + " (each side must be 1 to " +
                 std::to_string(kMaxSide) + ")");
        } else if (length < 0) {
            fail(std::string(path) + ": cannot read: " + systemError());
        } else if (length - kHeaderSize < pixelBytes) {
            fail(std::string(path) + ": truncated file (" + sizeText(width, height) + " needs " +
                 std::to_string(kHeaderSize + pixelBytes) + " bytes, it has " + std::to_string(length) + ")");
        } else {
            picture->width = width;
            picture->height = height;
            ok = true;
            if (pixels) {
                picture->bgra.assign(static_cast<size_t>(pixelBytes), 0);
                ok = std::fseek(file, kHeaderSize, SEEK_SET) == 0 &&
                     std::fread(picture->bgra.data(), 1, picture->bgra.size(), file) == picture->bgra.size();
                if (!ok) fail(std::string(path) + ": cannot read: " + systemError());
            }
        }
    }
    std::fclose(file);
    return ok;
}

bool writeRaw(const char* path, const Picture& picture) {
    FILE* file = std::fopen(path, "wb");
    if (!file) return fail(std::string(path) + ": cannot create: " + systemError());
    unsigned char header[kHeaderSize];
    std::memcpy(header, kFileId, 4);
    writeLe32(header + 4, picture.width);
    writeLe32(header + 8, picture.height);
    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header &&
              std::fwrite(picture.bgra.data(), 1, picture.bgra.size(), file) == picture.bgra.size();
    ok = (std::fclose(file) == 0) && ok;
    if (!ok) return fail(std::string(path) + ": cannot write: " + systemError());
    return true;
}

int usage() {
    std::fputs(
        "usage: fwpicture encode in.png out.bmp   (PNG to the player's raw picture format)\n"
        "       fwpicture decode in.bmp out.png   (raw picture to PNG)\n"
        "       fwpicture info file.bmp           (prints width and height)\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    std::string command = argv[1];
    Picture picture;
    bool ok;
    if (command == "encode" && argc == 4) {
        ok = readPng(argv[2], &picture) && writeRaw(argv[3], picture);
    } else if (command == "decode" && argc == 4) {
        ok = readRaw(argv[2], &picture, true) && writePng(argv[3], picture);
    } else if (command == "info" && argc == 3) {
        ok = readRaw(argv[2], &picture, false);
        if (ok) std::printf("%d %d\n", picture.width, picture.height);
    } else {
        return usage();
    }
    if (!ok) {
        std::fprintf(stderr, "fwpicture: %s\n", gError.c_str());
        return 1;
    }
    return 0;
}
