#include "platform/sjis.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace {

// One conversion through iconv; on an invalid sequence `onInvalid` decides: it may append a
// replacement and return the number of input bytes to skip, or return 0 to fail.
template <typename OnInvalid>
bool Convert(const char* to, const char* from, std::string_view in, std::string* out, OnInvalid onInvalid) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string result;
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char buffer[1024];
    bool ok = true;
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        result.append(buffer, outPtr - buffer);
        if (r != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        size_t skip = onInvalid(&result, inPtr, inLeft);
        if (skip == 0) {
            ok = false;
            break;
        }
        inPtr += skip;
        inLeft -= skip;
    }
    iconv_close(cd);
    if (ok) *out = std::move(result);
    return ok;
}

}  // namespace

std::string SjisToUtf8(std::string_view sjis) {
    std::string out;
    Convert("UTF-8", "CP932", sjis, &out, [](std::string* result, const char* at, size_t left) -> size_t {
        result->append("\xEF\xBF\xBD");
        // One replacement per bad byte: a lead byte with a byte that cannot trail it loses
        // only the lead byte, so an ASCII byte after it survives.
        (void)at;
        (void)left;
        return 1;
    });
    return out;
}

bool Utf8ToSjis(std::string_view utf8, std::string* out) {
    return Convert("CP932", "UTF-8", utf8, out, [](std::string*, const char*, size_t) -> size_t { return 0; });
}
