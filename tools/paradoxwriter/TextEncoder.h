#pragma once
// Turns UTF-8 text into a table's code page through iconv. Unlike the
// reader's decoder it never substitutes: text the code page cannot hold is
// an error, so a table never silently stores something other than asked.

#include <optional>
#include <string>
#include <string_view>

namespace paradoxwriter {

class TextEncoder {
public:
    // Throws WriteError when iconv does not know code page `codePage`.
    explicit TextEncoder(int codePage);
    ~TextEncoder();
    TextEncoder(const TextEncoder&) = delete;
    TextEncoder& operator=(const TextEncoder&) = delete;

    // The bytes of `utf8` in the code page; nullopt when the text is not valid
    // UTF-8 or holds a character the code page lacks.
    std::optional<std::string> encode(std::string_view utf8) const;

private:
    void* iconv_;
};

}  // namespace paradoxwriter
