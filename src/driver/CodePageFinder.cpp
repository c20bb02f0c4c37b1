#include "driver/CodePageFinder.h"

#include "driver/TextDecoder.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>
#include <tuple>

namespace driver {
namespace {

enum class Script { None, Latin, Greek, Cyrillic, Hebrew, Arabic, Thai, HanKana, Hangul, HalfwidthKana };

// Pages in the order they are named when the text fits several alike: the
// most used first.
constexpr int kByUse[] = {1252, 1251, 850, 437, 866, 1250, 852, 1253, 1254, 1255, 1256, 1257, 874, 936, 932, 949,
                          950, 857, 737, 869, 862, 864, 775, 855, 865, 860, 861, 863, 858, 1258, TextDecoder::kRoman8};

bool isMark(char32_t c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x05B0 && c <= 0x05C7 && c != 0x05BE && c != 0x05C0 && c != 0x05C3 &&
                                            c != 0x05C6) ||
           (c >= 0x064B && c <= 0x065F) || c == 0x0670 || c == 0x0E31 || (c >= 0x0E34 && c <= 0x0E3A) ||
           (c >= 0x0E47 && c <= 0x0E4E) || c == 0x3099 || c == 0x309A;
}

// Whether combining mark `c` can follow a letter of `script`.
bool markFits(char32_t c, Script script) {
    if (c >= 0x05B0 && c <= 0x05C7) return script == Script::Hebrew;
    if (c >= 0x064B && c <= 0x0670) return script == Script::Arabic;
    if (c >= 0x0E31 && c <= 0x0E4E) return script == Script::Thai;
    if (c >= 0x3099) return script == Script::HanKana;
    return script == Script::Latin || script == Script::Greek || script == Script::Cyrillic;
}

// The script of a letter; None for everything that is not a letter (marks included).
Script scriptOf(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ? Script::Latin : Script::None;
    if (isMark(c)) return Script::None;
    if ((c >= 0x00C0 && c <= 0x024F && c != 0xD7 && c != 0xF7) || (c >= 0x1E00 && c <= 0x1EFF)) return Script::Latin;
    if ((c >= 0x0386 && c <= 0x03FF && c != 0x0387) || (c >= 0x1F00 && c <= 0x1FFF)) return Script::Greek;
    if (c >= 0x0400 && c <= 0x052F && !(c >= 0x0482 && c <= 0x0489)) return Script::Cyrillic;
    if ((c >= 0x05D0 && c <= 0x05F2) || (c >= 0xFB1D && c <= 0xFB4F)) return Script::Hebrew;
    if ((c >= 0x0621 && c <= 0x064A) || (c >= 0x0671 && c <= 0x06D3) || (c >= 0xFE80 && c <= 0xFEFC) ||
        (c >= 0xFB50 && c <= 0xFDFF))
        return Script::Arabic;
    if ((c >= 0x0E01 && c <= 0x0E30) || c == 0x0E32 || c == 0x0E33 || (c >= 0x0E40 && c <= 0x0E46)) return Script::Thai;
    if ((c >= 0x3041 && c <= 0x30FF && c != 0x30A0 && c != 0x30FB) || (c >= 0x3400 && c <= 0x9FFF) ||
        (c >= 0xF900 && c <= 0xFAFF))
        return Script::HanKana;
    if ((c >= 0xAC00 && c <= 0xD7AF) || (c >= 0x3131 && c <= 0x318E)) return Script::Hangul;
    if (c >= 0xFF66 && c <= 0xFF9F) return Script::HalfwidthKana;
    return Script::None;
}

// 1 upper case, -1 lower case, 0 neither (or not known here).
int caseOf(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? 1 : c >= 'a' && c <= 'z' ? -1 : 0;
    if (c >= 0xC0 && c <= 0xDE) return c == 0xD7 ? 0 : 1;
    if (c >= 0xDF && c <= 0xFF) return c == 0xF7 ? 0 : -1;
    if (c >= 0x0100 && c <= 0x0137) return c % 2 == 0 ? 1 : -1;
    if (c >= 0x0139 && c <= 0x0148) return c % 2 == 1 ? 1 : -1;
    if (c >= 0x014A && c <= 0x0177) return c % 2 == 0 ? 1 : -1;
    if (c == 0x0178) return 1;
    if (c >= 0x0179 && c <= 0x017E) return c % 2 == 1 ? 1 : -1;
    if ((c >= 0x0386 && c <= 0x038F) || (c >= 0x0391 && c <= 0x03AB)) return 1;
    if (c >= 0x03AC && c <= 0x03CE) return -1;
    if (c >= 0x0400 && c <= 0x042F) return 1;
    if (c >= 0x0430 && c <= 0x045F) return -1;
    if (c >= 0x0460 && c <= 0x04FF) return c % 2 == 0 ? 1 : -1;
    return 0;
}

// Characters no text holds: undefined bytes, controls, private use, box drawing.
bool isOdd(char32_t c) {
    return c == 0xFFFD || (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || (c >= 0x80 && c <= 0x9F) ||
           (c >= 0xE000 && c <= 0xF8FF) || (c >= 0x2500 && c <= 0x25FF);
}

// Non-letters that stand inside words in real text: apostrophes, middle dots,
// the soft hyphen, Hebrew punctuation, CJK punctuation and full-width forms.
bool joinsWords(char32_t c) {
    return c < 0x80 || c == 0x2019 || c == 0x2018 || c == 0xB7 || c == 0xB4 || c == 0xAD || c == 0x05BE ||
           c == 0x05F3 || c == 0x05F4 || (c >= 0x3000 && c <= 0x303F) || c == 0x30FB || (c >= 0xFF00 && c <= 0xFF65);
}

// Non-letters that real text puts next to a word (before or after it):
// quotes, dashes, ordinals, degrees, superscripts, signs after names,
// Hebrew and Arabic punctuation.
bool standsByWords(char32_t c) {
    return joinsWords(c) || c == 0xA0 || c == 0xAB || c == 0xBB || (c >= 0x2010 && c <= 0x201F) || c == 0x2026 ||
           c == 0x2039 || c == 0x203A || c == 0xB0 || c == 0xAA || c == 0xBA || c == 0xB5 || c == 0xA7 ||
           c == 0xA9 || c == 0xAE || c == 0x2122 || c == 0xBF || c == 0xA1 || c == 0xB9 || c == 0xB2 ||
           c == 0xB3 || c == 0x2116 || c == 0x05C0 || c == 0x05C3 || c == 0x05C6 || (c >= 0x0600 && c <= 0x061F);
}

// Vowels of the Cyrillic and Greek alphabets.
bool isVowel(char32_t c) {
    static constexpr std::u32string_view kVowels =
        U"аеёиоуыэюяіїєАЕЁИОУЫЭЮЯІЇЄαεηιουωάέήίόύώϊϋΐΰΑΕΗΙΟΥΩΆΈΉΊΌΎΏΪΫ";
    return kVowels.find(c) != std::u32string_view::npos;
}

// The letters beyond ASCII of the languages written in the Latin pages, in
// lower case.
constexpr std::u32string_view kAlphabets[] = {
    U"äöüß",                       // German
    U"àâæçéèêëîïôœùûüÿ",           // French
    U"áéíñóúü",                    // Spanish
    U"áâãàçéêíóôõú",               // Portuguese
    U"àèéìíîòóùú",                 // Italian
    U"éëïóöüèĳ",                   // Dutch
    U"æøåé",                       // Danish, Norwegian
    U"åäöéšž",                     // Swedish, Finnish
    U"áéíóúýþæöð",                 // Icelandic
    U"àçèéíïòóúü",                 // Catalan
    U"áæíóúýøð",                   // Faroese
    U"çë",                         // Albanian
    U"áčďéěíňóřšťúůýž",            // Czech
    U"áäčďéíĺľňóôŕšťúýž",          // Slovak
    U"ąćęłńóśźż",                  // Polish
    U"áéíóöőúüű",                  // Hungarian
    U"čćđšž",                      // Croatian, Slovene
    U"ăâîșțşţ",                    // Romanian, S and T with comma or cedilla
    U"çğıiöşüâîû",                 // Turkish, with the dotted capital I as i
    U"ąčęėįšųūž",                  // Lithuanian
    U"āčēģīķļņšūžōŗ",              // Latvian
    U"äöõüšž",                     // Estonian
    U"àáâãèéêìíòóôõùúýăđĩũơưạảấầẩẫậắằẳẵặẹẻẽếềểễệỉịọỏốồổỗộớờởỡợụủứừửữựỳỵỷỹ",  // Vietnamese
};

// A Latin letter in lower case (ASCII and Latin-1, Latin Extended-A).
char32_t lowerLatin(char32_t c) {
    if (c == 0x0130) return 'i';
    if (caseOf(c) <= 0) return c;
    if (c < 0x80 || (c >= 0xC0 && c <= 0xDE)) return c + 0x20;
    if (c == 0x0178) return 0xFF;
    return c + 1;
}

std::vector<char32_t> codePoints(const std::string& utf8) {
    std::vector<char32_t> out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = n == 1 ? b : n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
        for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out.push_back(c);
        i += n;
    }
    return out;
}

struct Fit {
    long odd = 0;          // oddities
    long nonAscii = 0;     // characters above U+007F
    long own = 0;          // characters of the page's own script, where that tells pages apart
    long voiced[2] = {};   // Cyrillic, Greek letters (of words of 4 or more): of them vowels
    long voicedLetters[2] = {};
    bool fewVowels = false;  // fewer than real text has, though not plainly too few
    std::vector<std::pair<char32_t, long>> accented;  // Latin letters beyond ASCII, in lower case, and how often

    // Cyrillic text is 40-45% vowels, Greek text 45-50%: text of those
    // letters with fewer than a fifth is other text read in the wrong page
    // (Greek or Hebrew as 1251), and with fewer than a third (Cyrillic) or
    // two fifths (Greek) it is suspect.
    void weighVowels() {
        for (int s = 0; s < 2; ++s) {
            if (voicedLetters[s] < 20) continue;
            if (voiced[s] * 5 < voicedLetters[s]) odd += voicedLetters[s] / 2;
            else if (voiced[s] * (s == 0 ? 3 : 5) < voicedLetters[s] * (s == 0 ? 1 : 2)) fewVowels = true;
        }
    }

    void addAccented(char32_t c) {
        const auto known = std::find_if(accented.begin(), accented.end(), [&](const auto& a) { return a.first == c; });
        if (known != accented.end()) ++known->second;
        else accented.emplace_back(c, 1);
    }
    // The accented letters that no one language has: the fewest any of
    // kAlphabets leaves out.
    long strayLetters() const {
        long fewest = -1;
        for (const std::u32string_view alphabet : kAlphabets) {
            long stray = 0;
            for (const auto& [c, count] : accented)
                if (alphabet.find(c) == std::u32string_view::npos) stray += count;
            if (fewest < 0 || stray < fewest) fewest = stray;
        }
        return fewest;
    }
};

void score(const std::vector<char32_t>& text, int page, Fit& fit) {
    Script previous = Script::None;  // of the word's last letter
    int previousCase = 0;
    bool previousAscii = true;
    std::size_t letters = 0, accented = 0;  // of the word
    long voiced[2] = {}, voicedLetters[2] = {};  // of the word: Cyrillic, Greek
    const auto endWord = [&] {
        if (letters >= 3 && accented == letters) ++fit.odd;
        // Vowels count in words of four letters or more, not in abbreviations.
        for (int s = 0; s < 2; ++s) {
            if (letters >= 4) {
                fit.voiced[s] += voiced[s];
                fit.voicedLetters[s] += voicedLetters[s];
            }
            voiced[s] = voicedLetters[s] = 0;
        }
        letters = accented = 0;
        previous = Script::None;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (c >= 0x80) ++fit.nonAscii;
        if (isOdd(c)) ++fit.odd;
        if ((page == 932 && c >= 0x3041 && c <= 0x30FF) || (page == 949 && c >= 0xAC00 && c <= 0xD7AF)) ++fit.own;
        const Script script = scriptOf(c);
        if (script == Script::None) {
            if (isMark(c)) {
                // A mark belongs to the letter before it, of its own script.
                if (letters > 0 && markFits(c, previous)) continue;
                ++fit.odd;
            } else if (!isOdd(c)) {
                const bool letterNext = i + 1 < text.size() && scriptOf(text[i + 1]) != Script::None;
                // A symbol between two letters, or one that no text puts next to a word.
                // The degree sign follows numbers, and "N" for number, not words.
                if ((letters > 0 && letterNext && !joinsWords(c)) ||
                    ((letters > 0 || letterNext) && !standsByWords(c)) || (c == 0xB0 && letters > 1))
                    ++fit.odd;
            }
            endWord();
            continue;
        }
        const int letterCase = caseOf(c);
        // Greek: a diaeresis parts a vowel from the one before it, and the
        // final sigma ends a word.
        const bool diaeresis = c == 0x0390 || c == 0x03B0 || c == 0x03AA || c == 0x03AB || c == 0x03CA || c == 0x03CB;
        if ((letters == 0 && diaeresis) || (c == 0x03C2 && i + 1 < text.size() && scriptOf(text[i + 1]) != Script::None))
            ++fit.odd;
        if (letters > 0) {
            if (script != previous) ++fit.odd;
            else if (letterCase > 0 && previousCase < 0 && (c >= 0x80 || !previousAscii)) ++fit.odd;
        }
        ++letters;
        if (script == Script::Latin && c >= 0x80) {
            ++accented;
            fit.addAccented(lowerLatin(c));
        }
        if (script == Script::Cyrillic || script == Script::Greek) {
            const int s = script == Script::Cyrillic ? 0 : 1;
            ++voicedLetters[s];
            if (isVowel(c)) ++voiced[s];
        }
        previous = script;
        previousCase = letterCase;
        previousAscii = c < 0x80;
    }
    endWord();
}

// One decoder for every known page, made once.
const std::vector<std::unique_ptr<TextDecoder>>& decoders() {
    static const std::vector<std::unique_ptr<TextDecoder>> all = [] {
        std::vector<std::unique_ptr<TextDecoder>> made;
        for (int page : TextDecoder::knownCodePages()) made.push_back(std::make_unique<TextDecoder>(page));
        return made;
    }();
    return all;
}

}  // namespace

void CodePageFinder::add(const std::uint8_t* bytes, std::size_t size) {
    if (full() || !std::any_of(bytes, bytes + size, [](std::uint8_t b) { return b >= 0x80; })) return;
    const std::size_t take = std::min(size, kSampleBytes - kept_);
    texts_.emplace_back(reinterpret_cast<const char*>(bytes), take);
    kept_ += take;
}

int CodePageFinder::otherPage(int used, int driverPage) const {
    if (texts_.empty()) return 0;
    const auto fitOf = [&](const TextDecoder& decoder) {
        Fit fit;
        for (const std::string& text : texts_)
            score(codePoints(decoder.decode(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())),
                  decoder.codePage(), fit);
        fit.weighVowels();
        return fit;
    };
    const TextDecoder* usedDecoder = nullptr;
    for (const auto& decoder : decoders())
        if (decoder->codePage() == used) usedDecoder = decoder.get();
    if (!usedDecoder) return 0;
    const Fit current = fitOf(*usedDecoder);
    if (current.odd < 3 || current.odd * 10 < current.nonAscii) return 0;

    // Fewest oddities first, then the preferences above.
    using Rank = std::tuple<long, int, long, int, int, int>;
    Rank best{};
    int bestPage = 0;
    long bestNonAscii = 0;
    for (const auto& decoder : decoders()) {
        const int page = decoder->codePage();
        const Fit fit = fitOf(*decoder);
        const auto use = std::find(std::begin(kByUse), std::end(kByUse), page) - std::begin(kByUse);
        const Rank rank{fit.odd,
                        fit.fewVowels ? 1 : 0,
                        fit.strayLetters(),
                        page == driverPage ? 0 : 1,
                        fit.own > 0 ? 0 : 1,
                        int(use)};
        if (bestPage == 0 || rank < best) {
            best = rank;
            bestPage = page;
            bestNonAscii = fit.nonAscii;
        }
    }
    const long bestOdd = std::get<0>(best);
    if (bestPage == used || bestOdd * 5 > current.odd || bestOdd * 33 > bestNonAscii) return 0;
    return bestPage;
}

}  // namespace driver
