// Reads the words of one line of a text table, one word per call.
#pragma once

#include <cstdint>

class LineTokenizer {
public:
    LineTokenizer();

    // 0, or -1 when delimiters is null (nothing changes then).
    int32_t setLine(const char* line, const char* delimiters);
    // The next word, cut to size - 1 bytes; the empty string at the end of the line.
    char* nextToken(char* buffer, int32_t size);
    // The next word read with atoi; 0 when there is none.
    int32_t nextInt();
    // The next text between double quotes; the empty string when the next word is
    // not quoted (it is then left for the next call) or the quote is not closed.
    char* nextQuotedToken(char* buffer, int32_t size);

private:
    bool isDelimiter(char c) const;

    const char* line;
    const char* delimiters;
    int8_t delimiterCount;
    int32_t position;
};
