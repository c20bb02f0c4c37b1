#include "paradoxwriter/TextEncoder.h"

#include "paradoxwriter/Writer.h"

#include <cerrno>
#include <iconv.h>

namespace paradoxwriter {

TextEncoder::TextEncoder(int codePage) {
    const std::string name = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open(name.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw WriteError("code page " + std::to_string(codePage) + " is not known to iconv");
    iconv_ = cd;
}

TextEncoder::~TextEncoder() { iconv_close(static_cast<iconv_t>(iconv_)); }

std::optional<std::string> TextEncoder::encode(std::string_view utf8) const {
    iconv_t cd = static_cast<iconv_t>(iconv_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    // Single-byte and double-byte code pages never need more bytes than UTF-8.
    std::string out(utf8.size() + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
    if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace paradoxwriter
