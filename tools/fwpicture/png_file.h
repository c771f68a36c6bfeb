// libpng for the tools: its errors as a one-line message, and pictures of 8-bit
// B, G, R, A (or X) pixels written as PNG. fwpicture and fwgallery share it.
//
// libpng reports errors by longjmp: the functions that call it hold only plain C
// locals, so no destructor is ever jumped over.
#pragma once

#include <png.h>

#include <cstddef>
#include <cstdint>
#include <string>

// The error pointer handed to libpng: its last error's text.
struct PngErrorContext {
    char message[256];
};
void pngError(png_structp png, png_const_charp message);  // keeps the message, jumps back
void pngWarning(png_structp png, png_const_charp message);

// Writes height rows of width pixels, each B, G, R, A bytes, rows stride bytes apart
// (top row first), as an 8-bit PNG: RGBA, or RGB without the fourth byte when alpha
// is false. False with *error ("path: why") when it cannot.
bool writePngPicture(const char* path, int32_t width, int32_t height, const unsigned char* bgra, size_t stride,
                     bool alpha, std::string* error);
