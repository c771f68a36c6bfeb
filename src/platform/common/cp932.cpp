// Text conversion for the "A" entry points. Implements cp932ToUtf8 (code page
// 932 to UTF-8, for window titles and message boxes), the layer's one UTF-8
// encoder (appendUtf8, wideToUtf8) and MultiByteToWideChar
// for code page 932, CP_ACP (which is 932 here, as on a Japanese system) and
// CP_UTF8, into wchar_t, which holds UTF-32 on Linux.
// Decoding goes through iconv's "CP932" table. A byte sequence the table does
// not define becomes one U+FFFD per offending byte, and decoding goes on with the
// next byte (Windows would map a few of them into the private use area instead).
// Not supported: other code pages, and flags other than 0 and MB_PRECOMPOSED
// (MB_ERR_INVALID_CHARS, MB_USEGLYPHCHARS, MB_COMPOSITE): the call returns 0.
#include <cerrno>
#include <climits>
#include <cstring>
#include <iconv.h>
#include <mutex>
#include <string>

#include "layer.h"

namespace {

const char32_t kReplacement = 0xFFFD;
const UINT kCodePage932 = 932;
const DWORD kPrecomposed = 0x00000001;  // MB_PRECOMPOSED: the default anyway

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Opening a conversion loads its module through the dynamic loader, whose lock a
// library loading on another thread (a media plugin with its 177 libraries) can
// hold for 100 ms; so each conversion is opened once and kept, under lock(), for
// the life of the process.
struct Converter {
    const char* from;  // a name this file passes, compared by content
    iconv_t cd;
};
Converter gConverters[4];  // kept to the end: nothing is destroyed at exit
int gConverterCount = 0;

std::mutex& converterLock() {
    static std::mutex lock;
    return lock;
}

// Under converterLock: the conversion from `from` to UTF-32LE, in its initial state.
iconv_t converterFrom(const char* from) {
    for (int i = 0; i < gConverterCount; ++i) {
        if (std::strcmp(gConverters[i].from, from) != 0) continue;
        iconv(gConverters[i].cd, nullptr, nullptr, nullptr, nullptr);
        return gConverters[i].cd;
    }
    iconv_t cd = iconv_open("UTF-32LE", from);
    if (cd == kNoConverter) return cd;
    if (gConverterCount == 4) {  // only "CP932" and "UTF-8" are ever asked for
        iconv_close(cd);
        return kNoConverter;
    }
    gConverters[gConverterCount++] = {from, cd};
    return cd;
}

// Decodes length bytes of text in iconv's encoding `from` into code points.
// Returns false only when iconv has no such conversion.
bool decode(const char* from, const char* text, size_t length, std::u32string* out) {
    std::lock_guard<std::mutex> guard(converterLock());
    iconv_t cd = converterFrom(from);
    if (cd == kNoConverter) return false;
    out->clear();
    out->reserve(length);
    char* in = const_cast<char*>(text);
    size_t inLeft = length;
    while (inLeft > 0) {
        char buffer[256];
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        size_t produced = (sizeof buffer - outLeft) / 4;
        for (size_t i = 0; i < produced; ++i) {
            const unsigned char* b = reinterpret_cast<const unsigned char*>(buffer) + 4 * i;
            out->push_back(static_cast<char32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24)));
        }
        if (result == static_cast<size_t>(-1) && (errno == EILSEQ || errno == EINVAL)) {
            // An undefined or cut-off sequence: replace its first byte, resync after it.
            out->push_back(kReplacement);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        // E2BIG: the buffer is full; go round again.
    }
    return true;
}

}  // namespace

namespace fwlayer {

void appendUtf8(char32_t c, std::string* out) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string wideToUtf8(const wchar_t* wide) {
    std::string out;
    for (; wide && *wide; ++wide) appendUtf8(static_cast<char32_t>(*wide), &out);
    return out;
}

void openTextConversions() {
    std::lock_guard<std::mutex> guard(converterLock());
    converterFrom("CP932");
    converterFrom("UTF-8");
}

std::string cp932ToUtf8(const char* text, size_t length) {
    std::string out;
    if (text == nullptr) return out;
    std::u32string decoded;
    if (!decode("CP932", text, length, &decoded)) return out;
    out.reserve(decoded.size() * 3);
    for (char32_t c : decoded) appendUtf8(c, &out);
    return out;
}

std::string cp932ToUtf8(const char* text) {
    if (text == nullptr) return std::string();
    return cp932ToUtf8(text, std::strlen(text));
}

}  // namespace fwlayer

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    const char* encoding = nullptr;
    if (CodePage == CP_ACP || CodePage == kCodePage932) encoding = "CP932";
    else if (CodePage == CP_UTF8) encoding = "UTF-8";
    if (encoding == nullptr || (dwFlags & ~kPrecomposed) != 0) return 0;
    if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0) return 0;
    if (cchWideChar > 0 && lpWideCharStr == nullptr) return 0;

    // -1: the string and its terminating NUL, which is converted like any character.
    size_t length = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    std::u32string decoded;
    if (!decode(encoding, lpMultiByteStr, length, &decoded)) return 0;
    if (decoded.size() > static_cast<size_t>(INT_MAX)) return 0;
    int needed = static_cast<int>(decoded.size());
    if (cchWideChar == 0) return needed;
    if (needed > cchWideChar) return 0;  // too small: nothing promised about the buffer
    for (int i = 0; i < needed; ++i) lpWideCharStr[i] = static_cast<wchar_t>(decoded[i]);
    return needed;
}
