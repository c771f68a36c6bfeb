// The findings of fwgallery check and how they are printed: one line each,
// "file:line: level: message", or one JSON document.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "gallery_check.h"
#include "platform/common/layer.h"

namespace {

const char* const kLevelNames[] = {"note", "warning", "error"};

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace

void Findings::add(const std::string& file, int32_t line, Level level, const std::string& code,
                   const std::string& message, const char* box) {
    Finding finding = {file, line, level, code, message, box ? shown(box) : std::string()};
    int32_t seen = 0;
    for (const Finding& kept : findings) seen += kept.code == code;
    if (seen < kMaxPerCode) {
        findings.push_back(finding);
        return;
    }
    for (size_t i = 0; i < surplus.size(); ++i) {
        if (surplus[i].code == code) {
            ++surplusCounts[i];
            return;
        }
    }
    surplus.push_back(finding);
    surplusCounts.push_back(1);
}

void Findings::finish() {
    for (size_t i = 0; i < surplus.size(); ++i) {
        Finding& first = surplus[i];
        first.message += " (and " + std::to_string(surplusCounts[i] - 1) + " more " + first.code +
                         " findings from here on, not listed)";
        findings.push_back(first);
    }
    surplus.clear();
    // By file, in the order the files were first met, then by line.
    std::vector<std::string> files;
    for (const Finding& finding : findings)
        if (std::find(files.begin(), files.end(), finding.file) == files.end()) files.push_back(finding.file);
    std::stable_sort(findings.begin(), findings.end(), [&files](const Finding& a, const Finding& b) {
        auto rankA = std::find(files.begin(), files.end(), a.file);
        auto rankB = std::find(files.begin(), files.end(), b.file);
        return rankA != rankB ? rankA < rankB : a.line < b.line;
    });
}

bool Findings::hasErrors() const {
    for (const Finding& finding : findings)
        if (finding.level == ERROR) return true;
    return false;
}

void Findings::print(FILE* out, bool json) const {
    int32_t counts[3] = {0, 0, 0};
    for (const Finding& finding : findings) ++counts[finding.level];
    if (!json) {
        for (const Finding& f : findings) {
            std::fprintf(out, "%s:%d: %s: %s", f.file.c_str(), f.line, kLevelNames[f.level], f.message.c_str());
            if (!f.box.empty()) std::fprintf(out, "; the player shows \"%s\"", f.box.c_str());
            std::fputc('\n', out);
        }
        std::fprintf(out, "%d error%s, %d warning%s, %d note%s\n", counts[ERROR], counts[ERROR] == 1 ? "" : "s",
                     counts[WARNING], counts[WARNING] == 1 ? "" : "s", counts[NOTE], counts[NOTE] == 1 ? "" : "s");
        return;
    }
    std::fprintf(out, "{\"errors\": %d, \"warnings\": %d, \"notes\": %d, \"findings\": [", counts[ERROR],
                 counts[WARNING], counts[NOTE]);
    const char* separator = "\n";
    for (const Finding& f : findings) {
        std::fprintf(out, "%s  {\"file\": %s, \"line\": %d, \"level\": \"%s\", \"code\": %s, \"message\": %s",
                     separator, jsonString(f.file).c_str(), f.line, kLevelNames[f.level], jsonString(f.code).c_str(),
                     jsonString(f.message).c_str());
        if (!f.box.empty()) std::fprintf(out, ", \"box\": %s", jsonString(f.box).c_str());
        std::fputc('}', out);
        separator = ",\n";
    }
    std::fprintf(out, "\n]}\n");
}

std::string counted(int32_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string shown(const char* text) {
    std::string decoded = fwlayer::cp932ToUtf8(text);
    for (char& c : decoded)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';  // one finding, one line
    return decoded;
}

std::string shiftJisFault(const char* text) {
    const std::string replacement = "\xEF\xBF\xBD";  // U+FFFD, what an undefined byte decodes to
    std::string decoded = shown(text);
    size_t at = decoded.find(replacement);
    if (at == std::string::npos) return "";
    // Count the characters before it to name the offending byte's place.
    size_t characters = 0;
    for (size_t i = 0; i < at; ++i) characters += (static_cast<unsigned char>(decoded[i]) & 0xC0) != 0x80;
    return "not valid Shift-JIS: character " + std::to_string(characters + 1) + " is no Shift-JIS character";
}

std::string fileFault(const char* path) {
    struct stat status;
    if (stat(path, &status) != 0) {
        if (errno == ENOENT) return "missing";
        if (errno == ELOOP) return "a loop of symbolic links";
        return std::string("cannot be reached: ") + std::strerror(errno);
    }
    if (S_ISDIR(status.st_mode)) return "a folder, not a file";
    if (!S_ISREG(status.st_mode)) return "not a regular file";
    if (access(path, R_OK) != 0) return std::string("not readable: ") + std::strerror(errno);
    return "";
}
