#include "kit/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

#include "kit/error.h"

namespace drawlet::kit {

namespace {

std::string convert(std::string_view text, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw Error(std::string("no conversion from ") + from + " to " + to);
    std::string out;
    std::vector<char> chunk(256);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    while (true) {
        char* outPtr = chunk.data();
        std::size_t outLeft = chunk.size();
        const std::size_t rc = iconv(cd, inLeft ? &in : nullptr, &inLeft, &outPtr, &outLeft);
        out.append(chunk.data(), chunk.size() - outLeft);
        if (rc != static_cast<std::size_t>(-1)) {
            if (inLeft == 0) break;
            continue;
        }
        if (errno == E2BIG) continue;
        iconv_close(cd);
        throw Error("cannot convert \"" + std::string(text) + "\" from " + from + " to " + to);
    }
    iconv_close(cd);
    return out;
}

}  // namespace

// CP932 is the Windows code page; glibc's CP932 holds its vendor characters (such as "№").
std::string cp932ToUtf8(std::string_view text) { return convert(text, "UTF-8", "CP932"); }
std::string utf8ToCp932(std::string_view text) { return convert(text, "CP932", "UTF-8"); }

}  // namespace drawlet::kit
