// The code pages: every byte of every known page against a reference made
// apart from the converter (CodePageReference.txt, see its first lines), and
// the finding of the page a table's text is in.

#include "driver/TextDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

using driver::TextDecoder;

namespace {

std::string utf8(unsigned long c) {
    std::string s;
    if (c < 0x80) {
        s += char(c);
    } else if (c < 0x800) {
        s += char(0xC0 | (c >> 6));
        s += char(0x80 | (c & 0x3F));
    } else {
        s += char(0xE0 | (c >> 12));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    }
    return s;
}

// Page -> the reference's 256 entries ("00C7", "----", "lead").
std::map<int, std::vector<std::string>> readReference() {
    std::ifstream in(VELLOMAR_TEST_DATA "/CodePageReference.txt");
    std::map<int, std::vector<std::string>> pages;
    std::vector<std::string>* page = nullptr;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "page") {
            int number = 0;
            words >> number;
            page = &pages[number];
        } else if (page) {
            for (std::string entry; words >> entry;) page->push_back(entry);
        }
    }
    return pages;
}

}  // namespace

TEST(CodePages, EveryByteOfEveryKnownPageDecodesAsTheReferenceSays) {
    const auto reference = readReference();
    std::vector<int> pages;
    for (const auto& [page, entries] : reference) pages.push_back(page);
    ASSERT_EQ(pages, TextDecoder::knownCodePages());
    for (const auto& [page, entries] : reference) {
        ASSERT_EQ(entries.size(), 256u) << page;
        const TextDecoder decoder(page);
        ASSERT_EQ(decoder.codePage(), page);
        // Single-byte pages: all bytes in one text too, through the runs of ASCII and the table alike.
        const bool singleByte = std::count(entries.begin(), entries.end(), "lead") == 0;
        std::string all, expectedAll;
        for (int b = 0; b < 256; ++b) {
            const std::string& entry = entries[std::size_t(b)];
            const std::string expected = entry == "----" || entry == "lead" ? "\xEF\xBF\xBD" : utf8(std::stoul(entry, nullptr, 16));
            const auto byte = static_cast<std::uint8_t>(b);
            EXPECT_EQ(decoder.decode(&byte, 1), expected) << "code page " << page << ", byte " << b;
            if (entry != "lead") {
                all += char(b);
                expectedAll += expected;
            }
        }
        if (singleByte) {
            EXPECT_EQ(decoder.decode(reinterpret_cast<const std::uint8_t*>(all.data()), all.size()), expectedAll) << page;
        }
    }
}
