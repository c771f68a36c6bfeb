// Word reader of the text tables. Byte by byte, which suits Shift-JIS too: no
// delimiter and not the double quote can be the second byte of a double-byte
// character.
#include "tables/line_tokenizer.h"

#include <cstdlib>
#include <cstring>

namespace {

const int32_t kNumberSize = 32;
const size_t kMaxDelimiters = 127;  // the count is kept in 8 bits

}  // namespace

LineTokenizer::LineTokenizer() : line(nullptr), delimiters(nullptr), delimiterCount(0), position(0) {}

int32_t LineTokenizer::setLine(const char* newLine, const char* newDelimiters) {
    if (!newDelimiters) return -1;
    line = newLine;
    delimiters = newDelimiters;
    size_t Length = std::strlen(newDelimiters);
    delimiterCount = static_cast<int8_t>(Length > kMaxDelimiters ? kMaxDelimiters : Length);
    position = 0;
    return 0;
}

bool LineTokenizer::isDelimiter(char c) const {
    for (int32_t i = 0; i < delimiterCount; ++i)
        if (delimiters[i] == c) return true;
    return false;
}

char* LineTokenizer::nextToken(char* buffer, int32_t size) {
    int32_t Count = 0;
    while (line && line[position] != '\0') {
        if (isDelimiter(line[position])) {
            ++position;
            if (Count > 0) break;  // the delimiter that ends a word goes with it
        } else {
            if (Count < size - 1) buffer[Count++] = line[position];
            ++position;  // an overlong word is consumed whole
        }
    }
    buffer[Count] = '\0';
    return buffer;
}

int32_t LineTokenizer::nextInt() {
    char Word[kNumberSize];
    nextToken(Word, kNumberSize);
    // atoi's reading, with out-of-range values held at the ends of the 32-bit range.
    long long Value = std::strtoll(Word, nullptr, 10);
    if (Value > INT32_MAX) return INT32_MAX;
    if (Value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(Value);
}

char* LineTokenizer::nextQuotedToken(char* buffer, int32_t size) {
    buffer[0] = '\0';
    if (!line) return buffer;
    while (line[position] != '\0' && isDelimiter(line[position])) ++position;
    // An unquoted word is left where it is, for the next reader call.
    if (line[position] != '"') return buffer;
    ++position;
    const char* pClose = std::strchr(line + position, '"');
    if (!pClose) {
        while (line[position] != '\0' && !isDelimiter(line[position])) ++position;
        return buffer;
    }
    int32_t Length = static_cast<int32_t>(pClose - (line + position));
    int32_t Count = Length >= size - 1 ? size - 1 : Length;
    std::memcpy(buffer, line + position, static_cast<size_t>(Count));
    buffer[Count] = '\0';
    position += Length + 1;
    return buffer;
}
