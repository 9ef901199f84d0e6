// The tokenizer on any text: the first byte picks the delimiters, every later byte an operation.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/tokenizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const char* delimiterSets[] = {" \t\r\n", " ", ",", "", "\"[]"};
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    CTokenizer tokenizer;
    tokenizer.Init(text.c_str(), delimiterSets[data[0] % 5]);
    char buffer[kQuotedTokenSize] = {};
    for (size_t i = 1; i < size && tokenizer.position <= tokenizer.length; ++i) {
        const int32_t bufferSize = 1 + data[i] % kQuotedTokenSize;
        switch (data[i] % 5) {
            case 0:
                tokenizer.Next(buffer, bufferSize);
                break;
            case 1:
                tokenizer.NextInt();
                break;
            case 2:
                tokenizer.NextQuoted(buffer, bufferSize);
                break;
            case 3:
                tokenizer.NextBracketed(buffer, bufferSize < kBracketedTokenSize ? bufferSize : kBracketedTokenSize);
                break;
            default:
                tokenizer.IsAtEnd();
                break;
        }
        if (std::strlen(buffer) >= sizeof buffer && data[i] % 5 != 1 && data[i] % 5 != 4) __builtin_trap();
    }
    if (tokenizer.position > tokenizer.length) __builtin_trap();
    return 0;
}
