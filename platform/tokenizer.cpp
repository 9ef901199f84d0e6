#include "platform/tokenizer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

int32_t CTokenizer::Init(const char* source, const char* delimiterSet) {
    if (delimiterSet == nullptr) return -1;
    text = source;
    delimiters = delimiterSet;
    delimiterCount = static_cast<int32_t>(std::strlen(delimiterSet));
    length = source != nullptr ? static_cast<int32_t>(std::strlen(source)) : 0;
    position = 0;
    return 0;
}

bool CTokenizer::IsDelimiter(char c) const {
    return delimiters != nullptr && std::memchr(delimiters, c, static_cast<size_t>(delimiterCount)) != nullptr;
}

void CTokenizer::SkipDelimiters() {
    while (position < length && IsDelimiter(text[position])) ++position;
}

char* CTokenizer::Next(char* buffer, int32_t size) {
    if (buffer == nullptr || size <= 0) return buffer;
    int32_t stored = 0;
    bool inToken = false;
    while (position < length) {
        const char c = text[position++];
        if (IsDelimiter(c)) {
            if (inToken) break;
            continue;
        }
        inToken = true;
        if (stored < size - 1) buffer[stored++] = c;
    }
    buffer[stored] = 0;
    return buffer;
}

int32_t ReadTableInt(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t magnitude = 0;
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    for (; *p >= '0' && *p <= '9'; ++p) magnitude = std::min(magnitude * 10 + (*p - '0'), limit);
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

int32_t CTokenizer::NextInt() {
    char token[32];
    return ReadTableInt(Next(token, sizeof token));
}

char* CTokenizer::NextEnclosed(char* buffer, int32_t size, char open, char close) {
    if (buffer == nullptr || size <= 0) return buffer;
    buffer[0] = 0;
    SkipDelimiters();
    if (position >= length || text[position] != open) return buffer;
    const char* start = text + position + 1;
    const void* end = std::memchr(start, close, static_cast<size_t>(length - position - 1));
    if (end == nullptr) {
        while (position < length && !IsDelimiter(text[position])) ++position;
        return buffer;
    }
    const int32_t inside = static_cast<int32_t>(static_cast<const char*>(end) - start);
    const int32_t kept = inside < size - 1 ? inside : size - 1;
    std::memcpy(buffer, start, static_cast<size_t>(kept));
    buffer[kept] = 0;
    position += inside + 2;
    return buffer;
}

char* CTokenizer::NextQuoted(char* buffer, int32_t size) { return NextEnclosed(buffer, size, '"', '"'); }

char* CTokenizer::NextBracketed(char* buffer, int32_t size) { return NextEnclosed(buffer, size, '[', ']'); }

int32_t CTokenizer::IsAtEnd() {
    const int32_t saved = position;
    char scratch[8];
    Next(scratch, sizeof scratch);
    position = saved;
    return scratch[0] == 0 ? 1 : 0;
}
