#pragma once
// What a table's text shows about its code page. A sample of the text as
// stored (alpha values, memos, field names) is decoded with every known code
// page; a page fits when the text comes out as text: no undefined bytes or
// controls, no box drawing, no symbol inside a word or one that no text puts
// next to a word, no combining mark without a letter of its script before it,
// no word that mixes scripts or turns from lower to upper case, no word of
// three or more Latin letters that are all accented, no Greek word that
// starts with a diaeresis or has a final sigma inside, and Cyrillic or Greek
// letters of which at least a fifth are vowels. The page in use is called
// into doubt only when it plainly does not fit (at least 3 such oddities, and
// at least one in ten of the text's non-ASCII characters) and another page
// plainly does (at most one oddity in 33, five times fewer than the page in
// use). Among pages that fit equally well come first: a page whose Cyrillic
// or Greek has as many vowels as real text, then a page whose accented Latin
// letters one language writes (the fewest left over), then the language
// driver's page, then a page whose own script shows (kana for 932, hangul for
// 949), then the most used (so text in capitals alone, common in old tables,
// is Cyrillic or Greek rather than half-width kana). Text in ASCII alone
// shows nothing.
//
// False alarms are worse than a missed hint: so the thresholds. Pages that
// give the same letters for the text (437 and 850 for German) cannot be told
// apart, and Latin pages that differ only in a few letters are often not:
// Turkish 1254 text under a 1252 header shows nothing, and text in a DOS
// variant (860, 861, 863, 865) or in 1257 and 1258, read under a page of
// another script, is at times named as 850 or 1252.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace driver {

class CodePageFinder {
public:
    // Texts beyond this many bytes (with a byte above 0x7F) are not kept.
    static constexpr std::size_t kSampleBytes = 64 * 1024;

    // Keeps `text` (as stored) for the finding when it has a byte above 0x7F.
    void add(const std::uint8_t* bytes, std::size_t size);
    bool full() const { return kept_ >= kSampleBytes; }
    bool empty() const { return texts_.empty(); }

    // The code page the sample plainly is in when `used` plainly is not it;
    // 0 when `used` fits, the text shows nothing, or no page plainly fits.
    // `driverPage` (0 = none) is preferred among pages that fit alike.
    int otherPage(int used, int driverPage) const;

private:
    std::vector<std::string> texts_;
    std::size_t kept_ = 0;
};

}  // namespace driver
