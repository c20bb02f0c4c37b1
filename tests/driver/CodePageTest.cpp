// The code pages: every byte of every known page against a reference made
// apart from the converter (CodePageReference.txt, see its first lines), and
// the finding of the page a table's text is in.

#include "driver/Table.h"
#include "driver/TextDecoder.h"
#include "paradoxwriter/Writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using driver::TextDecoder;

namespace {

std::string utf8(unsigned long c) {
    if (c < 0x80) return std::string(1, char(c));
    if (c < 0x800) return {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
    return {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
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
    EXPECT_EQ(TextDecoder(65001).codePage(), 437);  // a page not known falls back
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

namespace {

struct TempDir {
    std::string path = (std::filesystem::temp_directory_path() / "vellomar-codepage-XXXXXX").string();
    TempDir() { EXPECT_NE(::mkdtemp(path.data()), nullptr) << path; }
    ~TempDir() { std::filesystem::remove_all(path); }
};

// Country names as iso-codes' translators wrote them (iso_3166-1), and names
// in capitals as old tables often hold them.
struct Sample {
    int page;  // written in
    std::vector<std::string> names;
    int lie;   // a page the header then claims instead
};

const Sample kSamples[] = {
    {1251, {"Остров Буве", "Иордания", "Республика Казахстан", "Бермуды", "Венесуэла", "Таиланд"}, 1252},
    {866, {"Черногория", "Ботсвана", "Сербия", "Королевство Испания", "Бахрейн", "Гайана"}, 437},
    {1251, {"ИВАНОВ ИВАН ИВАНОВИЧ", "ПЕТРОВ ПЁТР", "СИДОРОВА АННА", "КУЗНЕЦОВ", "СМИРНОВ"}, 1252},  // capitals only
    {1253, {"Αρούμπα", "Δημοκρατία της Χιλής", "Βέλγιο", "Μολδαβία", "Κράτος του Ισραήλ", "Αργεντινή"}, 1251},
    {737, {"Βενεζουέλα", "Γρενάδα", "Νήσοι Χριστουγέννων", "Νήσοι Σολομώντα", "Μπενίν", "Αργεντινή"}, 850},
    {1255, {"איסלנד", "הפדרציה הרוסית", "איי שלמה", "סמואה", "ג'מייקה", "הרפובליקה של טורקיה"}, 1252},
    {862, {"סינגפור", "בנגלדש", "עיראק", "הרפובליקה של נמיביה", "סנט לוסיה", "האי מאן"}, 437},
    {1256, {"ليسوتو", "نيجيريا", "بولندا", "جمهوريّة فنزويلّا", "السّودان", "كوستاريكا"}, 1252},
    {857, {"Bahreyn Krallığı", "Nijerya", "Estonya Cumhuriyeti", "Litvanya Cumhuriyeti", "Tayland Krallığı"}, 866},
    {1257, {"Maldyvų Respublika", "Singapūro Respublika", "Sent Kitsas ir Nevis", "Naujoji Zelandija"}, 1251},
    {1250, {"Republika Gabońska", "Wyspy Cooka", "Szwajcaria", "Łódź", "Kraków", "Gdańsk", "Wrocław"}, 1252},
    {852, {"Svazijské království", "Jordánsko", "Polská republika", "Česko", "Súdán", "Džibutsko"}, 1251},
    {874, {"เบนิน", "เฟรนช์โปลินีเซีย", "สาธารณรัฐนามิเบีย", "สาธารณรัฐฟิลิปปินส์", "เอธิโอเปีย"}, 1252},
    {932, {"香港・中国特別行政区", "ハイチ共和国", "インド", "エクアドル共和国", "バングラデシュ人民共和国"}, 1252},
    {936, {"佛得角", "伊朗伊斯兰共和国", "蒙塞拉特岛", "荷兰王国", "孟加拉人民共和国", "约旦哈希姆王国"}, 1252},
    {949, {"아프가니스탄", "상투메 프린시페 민주 공화국", "마카오", "지브롤터", "라오 인민 민주주의 공화국"}, 1252},
    {1252, {"Grönland", "Königreich Bhutan", "Österreich", "Schweden", "Dänemark", "Türkei", "Südafrika"}, 866},
    {850, {"République de Guyana", "Bosnie-Herzégovine", "Royaume de Bahreïn", "Corée du Nord", "Pérou"}, 1251},
};

// Writes `sample` in its page, with the header claiming `header`.
std::filesystem::path writeSample(const std::filesystem::path& folder, const Sample& sample, int header) {
    const auto file = folder / ("T" + std::to_string(sample.page) + "-" + std::to_string(header) + ".db");
    paradoxwriter::Options options;
    options.codePage = sample.page;
    paradoxwriter::Writer writer(file.string(), {{"Name", driver::FieldType::Alpha, 60}}, options);
    for (const std::string& name : sample.names) writer.addRow({name});
    writer.finish();
    std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
    bytes.seekp(0x6A);  // the header's code page, a little-endian word
    bytes.put(char(header & 0xFF)).put(char(header >> 8));
    return file;
}

}  // namespace

TEST(CodePages, TheTextTellsWhenTheHeaderNamesAnotherPage) {
    const TempDir folder;
    for (const Sample& sample : kSamples) {
        // A sound table: no hint, whatever its script.
        const auto sound = driver::Table::open(writeSample(folder.path, sample, sample.page));
        EXPECT_EQ(sound->codePageEvidence().textShows, 0) << sample.page;
        // A header that lies: the page the text is in, and auto reads it so.
        const auto file = writeSample(folder.path, sample, sample.lie);
        const auto lying = driver::Table::open(file);
        EXPECT_EQ(lying->codePageEvidence().textShows, sample.page) << sample.page << " under " << sample.lie;
        const auto followed = driver::Table::open(file, driver::OpenOptions{driver::OpenOptions::kFollowText});
        EXPECT_EQ(followed->codePage(), sample.page);
        EXPECT_EQ(std::get<std::string>(followed->row(0)[0]), sample.names[0]) << sample.page;
    }
}
