// CTokenizer: splits a NUL-terminated byte string into tokens separated by a set of delimiter
// bytes, with quoted ("...") and bracketed ([...]) tokens. Used by the table files, the host
// commands of scripts and the part-slot commands of models.
#pragma once

#include <cstdint>

constexpr int32_t kQuotedTokenSize = 260;
constexpr int32_t kBracketedTokenSize = 128;

// atoi as the tables were written for: leading white space, a sign and decimal digits, 0 when
// there are none; a value beyond 32 bits saturates at INT32_MAX / INT32_MIN (where glibc's atoi
// wraps it into a small number that would pass a range check).
int32_t ReadTableInt(const char* text);

struct CTokenizer {
    const char* text = nullptr;        // not owned
    const char* delimiters = nullptr;  // not owned
    int32_t delimiterCount = 0;
    int32_t length = 0;
    int32_t position = 0;  // the next byte to look at

    // 0, or -1 when the delimiter set is null. A null text has no tokens.
    int32_t Init(const char* source, const char* delimiterSet);
    // The next plain token, cut to size - 1 bytes (the rest of it is consumed); an empty string
    // when no token is left. Returns the buffer.
    char* Next(char* buffer, int32_t size);
    // ReadTableInt of the next plain token, read into 32 bytes.
    int32_t NextInt();
    // The next token when it starts with '"', without its quotes, cut to size - 1 bytes. An
    // empty string when the next token is not quoted (the position stays on it) or the quote
    // is not closed (the rest of that token is skipped).
    char* NextQuoted(char* buffer, int32_t size = kQuotedTokenSize);
    // The same with '[' and ']'.
    char* NextBracketed(char* buffer, int32_t size = kBracketedTokenSize);
    // 1 when no further plain token exists; the position is not changed.
    int32_t IsAtEnd();

private:
    bool IsDelimiter(char c) const;
    void SkipDelimiters();
    char* NextEnclosed(char* buffer, int32_t size, char open, char close);
};
