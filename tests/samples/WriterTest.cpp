// The writer: exact bytes of a record with every type, the header against the
// bookkeeping of a real 7.x table, the .MB layout, streaming across blocks,
// and the errors at the API edge. Values are read back with our reader too.

#include "TempFolder.h"
#include "driver/Table.h"
#include "paradoxwriter/BlobWriter.h"
#include "paradoxwriter/Writer.h"
#include "support/Bitmaps.h"
#include "support/Corpus.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace paradoxwriter;
using driver::FieldType;
using driver::Value;
using samples::test::fileBytes;
using samples::test::TempFolder;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

namespace {

using Bytes = std::vector<std::uint8_t>;
const Value kNull = driver::Null{};

std::vector<FieldDef> everyType() {
    return {{"Name", FieldType::Alpha, 5},  {"Count", FieldType::Short},      {"Big", FieldType::Long},
            {"Ratio", FieldType::Number},   {"Price", FieldType::Money},      {"Day", FieldType::Date},
            {"At", FieldType::Time},        {"Stamp", FieldType::Timestamp},  {"Done", FieldType::Logical},
            {"Id", FieldType::AutoIncrement}, {"Note", FieldType::Memo, 4},   {"Exact", FieldType::Bcd, 2},
            {"Raw", FieldType::Bytes, 3}};
}

std::vector<Value> everyTypeRow() {
    return {std::string("Müß"), std::int64_t{-2}, std::int64_t{256}, -40.0, driver::Money{1234.5},
            driver::Date{1996, 5, 4}, driver::Time{48'600'250},
            driver::Timestamp{{1996, 5, 4}, {48'600'250}}, true, kNull, std::string("abc"),
            driver::Decimal{"-12.50"}, driver::Bytes{FieldType::Bytes, {1, 2}}};
}

constexpr int kEveryTypeRecord = 82;

// Expected record bytes, worked out by hand from the format note.
const Bytes kEveryTypeBytes = {
    0x4D, 0xFC, 0xDF, 0x00, 0x00,                    // "Müß" in cp1252, NUL-padded
    0x7F, 0xFE,                                      // -2
    0x80, 0x00, 0x01, 0x00,                          // 256
    0x3F, 0xBB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // -40.0: every bit inverted
    0xC0, 0x93, 0x4A, 0x00, 0x00, 0x00, 0x00, 0x00,  // 1234.5: sign bit set
    0x80, 0x0B, 0x1E, 0xCF,                          // day 728783 = 1996-05-04
    0x82, 0xE5, 0x94, 0xBA,                          // 13:30:00.250 = 48,600,250 ms
    0xC2, 0xCC, 0xA2, 0x4F, 0xD8, 0xFC, 0x5D, 0x00,  // 728783 days + 48,600,250 ms as a double
    0x81,                                            // true
    0x80, 0x00, 0x00, 0x01,                          // autoincrement: first value 1
    0x61, 0x62, 0x63, 0x00,                          // memo leader holds all of "abc"
    0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00,  // no .MB reference, length 3, mod 0
    0x42, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xED, 0xAF,
    0x01, 0x02, 0x00,  // bytes, zero-padded
};

std::uint16_t le16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8); }
std::uint32_t le32(const Bytes& b, std::size_t at) { return le16(b, at) | static_cast<std::uint32_t>(le16(b, at + 2)) << 16; }
Bytes slice(const Bytes& b, std::size_t at, std::size_t n) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

// A memo text of `n` bytes that says where it is, so a misplaced chunk shows.
std::string memoText(std::size_t n, char tag) {
    std::string s;
    while (s.size() < n) s += std::string(1, tag) + std::to_string(s.size()) + " ";
    s.resize(n);
    return s;
}

void writeTable(const std::filesystem::path& file, const std::vector<FieldDef>& fields,
                const std::vector<std::vector<Value>>& rows, Options options = {}) {
    Writer w(file, fields, options);
    for (const auto& row : rows) w.addRow(row);
    w.finish();
}

}  // namespace

TEST(WriterRecord, EveryTypeIsEncodedToTheExactBytes) {
    TempFolder dir;
    std::vector<Value> nulls(13, kNull);
    writeTable(dir / "TYPES.DB", everyType(), {everyTypeRow(), nulls});
    const Bytes file = fileBytes(dir / "TYPES.DB");
    ASSERT_EQ(file.size(), 2048u + 2048u);
    ASSERT_EQ(le16(file, 0x00), kEveryTypeRecord);
    // One block: next 0, previous 0, two records (addDataSize = 1 × recordSize).
    EXPECT_EQ(slice(file, 2048, 6), (Bytes{0, 0, 0, 0, kEveryTypeRecord, 0}));
    EXPECT_EQ(slice(file, 2048 + 6, kEveryTypeRecord), kEveryTypeBytes);
    // A row of NULLs is all zeros, but for the autoincrement handing out 2.
    Bytes nullRecord(kEveryTypeRecord, 0);
    nullRecord[44] = 0x80;
    nullRecord[47] = 0x02;
    EXPECT_EQ(slice(file, 2048 + 6 + kEveryTypeRecord, kEveryTypeRecord), nullRecord);
}

TEST(WriterRecord, EveryTypeReadsBackEqualThroughOurReader) {
    TempFolder dir;
    std::vector<Value> nulls(13, kNull);
    writeTable(dir / "TYPES.DB", everyType(), {everyTypeRow(), nulls});
    const auto table = driver::Table::open(dir / "TYPES.DB");
    ASSERT_EQ(table->rowCount(), 2);
    ASSERT_EQ(table->fields().size(), 13u);
    EXPECT_EQ(table->fields()[0].name, "Name");
    EXPECT_EQ(table->fields()[10].type, FieldType::Memo);
    EXPECT_EQ(table->fields()[10].size, 14);
    EXPECT_EQ(table->fields()[11].decimals, 2);
    EXPECT_EQ(table->codePage(), 1252);

    std::vector<Value> expected = everyTypeRow();
    expected[9] = std::int64_t{1};
    expected[12] = driver::Bytes{FieldType::Bytes, {1, 2, 0}};
    EXPECT_EQ(table->row(0), expected);
    std::vector<Value> nulls2(13, kNull);
    nulls2[9] = std::int64_t{2};
    EXPECT_EQ(table->row(1), nulls2);
}

TEST(WriterHeader, FieldsAndCountsSitWhereTheFormatPutsThem) {
    TempFolder dir;
    Options options;
    options.languageDriver = LanguageDriver::DbWinUs0;
    options.blockKiB = 4;
    writeTable(dir / "Types.db", everyType(), {everyTypeRow(), everyTypeRow(), everyTypeRow()}, options);
    const Bytes h = fileBytes(dir / "Types.db");
    EXPECT_EQ(le16(h, 0x02), 2048);
    EXPECT_EQ(h[0x04], 2);     // non-keyed
    EXPECT_EQ(h[0x05], 4);     // KiB per block
    EXPECT_EQ(le32(h, 0x06), 3u);
    EXPECT_EQ(le16(h, 0x0C), 1);  // blocks
    EXPECT_EQ(le16(h, 0x21), 13);
    EXPECT_EQ(le32(h, 0x25), 0xFF00FF00u);
    EXPECT_EQ(h[0x29], 0x4C);
    EXPECT_EQ(h[0x39], 12);
    EXPECT_EQ(le32(h, 0x49), 3u);  // last autoincrement value
    EXPECT_EQ(le16(h, 0x6A), 1252);
    // Descriptors: type and record bytes; BCD gives its decimals, memo leader + 10.
    EXPECT_EQ(slice(h, 0x78, 26), (Bytes{0x01, 5, 0x03, 2, 0x04, 4, 0x06, 8, 0x05, 8, 0x02, 4, 0x14, 4,
                                         0x15, 8, 0x09, 1, 0x16, 4, 0x0C, 14, 0x17, 2, 0x18, 3}));
    // 4 + 13 × 4 pointer bytes, then the 261-byte table name area.
    const std::size_t tableName = 0x78 + 26 + 4 + 52;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[tableName])), "Types.db");
    const std::size_t names = tableName + 261;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[names])), "Name");
    const std::size_t used = le16(h, 0x51);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[used - 9])), "DBWINUS0");
    // A 4 KiB block follows the header.
    EXPECT_EQ(h.size(), 2048u + 4096u);
}

// The words real tables keep about their own header (field-number array,
// used size, the size at 0x6E) follow the same rules in ours as in a 7.x
// table Paradox wrote.
TEST(WriterHeader, BookkeepingFollowsTheSameRulesAsARealTable) {
    VELLOMAR_NEEDS_CORPUS();
    TempFolder dir;
    writeTable(dir / "TYPES.DB", everyType(), {everyTypeRow()});
    for (const std::filesystem::path& file :
         {std::filesystem::path(testsupport::corpusPath("cran-Rparadox/TypSammlung.DB")), dir / "TYPES.DB"}) {
        SCOPED_TRACE(file.string());
        const Bytes h = fileBytes(file);
        const std::size_t fields = le16(h, 0x21);
        std::size_t at = 0x78 + fields * 2 + 4 + fields * 4 + 261;
        for (std::size_t i = 0; i < fields; ++i) at += std::strlen(reinterpret_cast<const char*>(&h[at])) + 1;
        EXPECT_EQ(le16(h, 0x66) + 0x58u, at);  // the field numbers
        for (std::size_t i = 0; i < fields; ++i) EXPECT_EQ(le16(h, at + 2 * i), i + 1);
        at += fields * 2;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[at])), "ANSIINTL");
        at += 9;
        EXPECT_EQ(le16(h, 0x51), at);
        EXPECT_EQ(le16(h, 0x6E), at - 0x61);
        EXPECT_EQ(le16(h, 0x64), fields + 1);
        EXPECT_EQ(slice(h, 0x3E, 2), (Bytes{0x1F, 0x0F}));
        EXPECT_EQ(slice(h, 0x56, 2), (Bytes{0x20, 0x00}));
        EXPECT_EQ(slice(h, 0x6C, 2), (Bytes{0x01, 0x01}));
    }
}

TEST(WriterHeader, ManyLongFieldNamesGrowTheHeaderByWhole2KiBSteps) {
    TempFolder dir;
    std::vector<FieldDef> fields;
    for (int i = 0; i < 120; ++i) fields.push_back({"Measurement Column " + std::to_string(i), FieldType::Short});
    writeTable(dir / "WIDE.DB", fields, {std::vector<Value>(120, std::int64_t{7})});
    const Bytes h = fileBytes(dir / "WIDE.DB");
    EXPECT_EQ(le16(h, 0x02), 4096);
    const auto table = driver::Table::open(dir / "WIDE.DB");
    EXPECT_EQ(table->fields()[119].name, "Measurement Column 119");
    EXPECT_EQ(table->row(0)[119], Value(std::int64_t{7}));
}

TEST(WriterHeader, ATableWithoutRowsHasNoBlocks) {
    TempFolder dir;
    writeTable(dir / "EMPTY.DB", {{"Name", FieldType::Alpha, 10}}, {});
    const Bytes h = fileBytes(dir / "EMPTY.DB");
    EXPECT_EQ(h.size(), 2048u);
    EXPECT_EQ(le16(h, 0x0C), 0);
    EXPECT_EQ(le16(h, 0x0E), 0);
    EXPECT_EQ(driver::Table::open(dir / "EMPTY.DB")->rowCount(), 0);
}

// 3.x headers have no 4.0 extension, no code page, field numbers or driver
// name, and a 3.0 header ends with the names; the table name area grows in 7.x.
TEST(WriterHeader, EachVersionLaysItsHeaderOutAsThatVersionDid) {
    TempFolder dir;
    for (int version : {3, 4, 9, 11, 12}) {
        SCOPED_TRACE(version);
        Options options;
        options.version = version;
        options.codePage = 866;
        options.keyFields = 1;
        options.blockKiB = 1;
        options.rowsPerBlock = 2;
        writeTable(dir / "V.DB", {{"Код", FieldType::Alpha, 10}, {"Qty", FieldType::Short}},
                   {{std::string("а"), std::int64_t{1}}, {std::string("б"), kNull}, {std::string("в"), kNull}}, options);
        const Bytes h = fileBytes(dir / "V.DB");
        const bool extended = version >= 5;
        const std::size_t names = (extended ? 0x78 : 0x58) + 4 + 4 + 8 + (version == 12 ? 261 : 79);
        EXPECT_EQ(slice(h, names, 8), (Bytes{0x8A, 0xAE, 0xA4, 0, 'Q', 't', 'y', 0}));  // cp866
        EXPECT_EQ(le16(h, 0x02), version == 3 ? names + 8 : 2048);
        EXPECT_EQ(h[0x04], 0);  // keyed
        EXPECT_EQ(le16(h, 0x23), 1);
        EXPECT_EQ(le32(h, 0x25), extended ? 0xFF00FF00u : 0u);
        EXPECT_EQ(h[0x29], 0xC0);  // "cyrr"
        EXPECT_EQ(h[0x39], version);
        EXPECT_EQ(le16(h, 0x0C), 2);  // two rows per block
        EXPECT_EQ(h.size(), le16(h, 0x02) + 2 * 1024u);
        if (extended) {
            EXPECT_EQ(le16(h, 0x58), 0x100 + version);
            EXPECT_EQ(le16(h, 0x6A), 866);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[names + 8 + 4])), "cyrr");
        }
    }
}

TEST(WriterBlocks, RowsStreamIntoAChainOfFullBlocks) {
    TempFolder dir;
    // 2042 / 8 = 255 records a block; 1000 rows need 4 blocks, the last with 235.
    Writer w(dir / "MANY.DB", {{"N", FieldType::Long}, {"X", FieldType::Long}});
    for (int i = 0; i < 1000; ++i) w.addRow({std::int64_t{i}, std::int64_t{-i}});
    EXPECT_EQ(w.rowCount(), 1000);
    w.finish();
    const Bytes f = fileBytes(dir / "MANY.DB");
    ASSERT_EQ(f.size(), 2048u + 4 * 2048u);
    for (int block = 1; block <= 4; ++block) {
        const std::size_t at = 2048 + static_cast<std::size_t>(block - 1) * 2048;
        EXPECT_EQ(le16(f, at), block == 4 ? 0 : block + 1) << block;
        EXPECT_EQ(le16(f, at + 2), block - 1) << block;
        EXPECT_EQ(le16(f, at + 4), (block == 4 ? 234 : 254) * 8) << block;
    }
    EXPECT_EQ(le16(f, 0x10), 4);
    const auto table = driver::Table::open(dir / "MANY.DB");
    ASSERT_EQ(table->rowCount(), 1000);
    for (std::int64_t i : {0, 254, 255, 509, 510, 999})
        EXPECT_EQ(table->row(i), (std::vector<Value>{i, -i})) << i;
}

TEST(WriterBlobs, ShortMemosShareABlockLongOnesGetTheirOwn) {
    TempFolder dir;
    const std::string small = memoText(40, 's');
    const std::string large = memoText(3000, 'L');
    const std::string second = memoText(17, 't');
    writeTable(dir / "MEMO.DB", {{"Text", FieldType::Memo, 4}},
               {{small}, {large}, {second}, {std::string("tiny")}, {std::string()}, {kNull}});
    const Bytes db = fileBytes(dir / "MEMO.DB");
    const Bytes mb = fileBytes(dir / "MEMO.MB");
    auto descriptor = [&](int row) { return slice(db, 2048 + 6 + static_cast<std::size_t>(row) * 14, 14); };

    // The leader copies the start; the reference points at block 0x1000, slot 63.
    EXPECT_EQ(descriptor(0), (Bytes{'s', '0', ' ', 's', 63, 0x10, 0, 0, 40, 0, 0, 0, 1, 0}));
    EXPECT_EQ(descriptor(1), (Bytes{'L', '0', ' ', 'L', 0xFF, 0x20, 0, 0, 0xB8, 0x0B, 0, 0, 1, 0}));
    EXPECT_EQ(descriptor(2), (Bytes{'t', '0', ' ', 't', 62, 0x10, 0, 0, 17, 0, 0, 0, 1, 0}));
    EXPECT_EQ(descriptor(3), (Bytes{'t', 'i', 'n', 'y', 0, 0, 0, 0, 4, 0, 0, 0, 0, 0}));  // fits the leader
    EXPECT_EQ(descriptor(4), Bytes(14, 0));  // "" is NULL
    EXPECT_EQ(descriptor(5), Bytes(14, 0));

    ASSERT_EQ(mb.size(), 3u * 4096u);
    EXPECT_EQ(slice(mb, 0, 10), (Bytes{0, 1, 0, 1, 0, 0x82, 0x73, 0x02, 0x00, 0x29}));
    // Sub-allocated block: type 3, one unit; slot 63 at 12 + 5 × 63: chunk 0x15
    // (byte 0x150), 3 chunks, mod 1, 8 bytes in the last; slot 62 follows.
    EXPECT_EQ(slice(mb, 0x1000, 3), (Bytes{3, 1, 0}));
    EXPECT_EQ(slice(mb, 0x1000 + 12 + 5 * 63, 5), (Bytes{0x15, 3, 1, 0, 8}));
    EXPECT_EQ(slice(mb, 0x1000 + 12 + 5 * 62, 5), (Bytes{0x18, 2, 1, 0, 1}));
    EXPECT_EQ(slice(mb, 0x1000 + 0x150, 40), Bytes(small.begin(), small.end()));
    EXPECT_EQ(slice(mb, 0x1000 + 0x180, 17), Bytes(second.begin(), second.end()));
    // Single blob: type 2, one unit, length 3000, mod 1, then the text.
    EXPECT_EQ(slice(mb, 0x2000, 9), (Bytes{2, 1, 0, 0xB8, 0x0B, 0, 0, 1, 0}));
    EXPECT_EQ(slice(mb, 0x2000 + 9, 3000), Bytes(large.begin(), large.end()));

    const auto table = driver::Table::open(dir / "MEMO.DB");
    const std::vector<Value> expected = {small, large, second, std::string("tiny"), kNull, kNull};
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(table->row(static_cast<std::int64_t>(i))[0], expected[i]) << i;
}

TEST(WriterBlobs, SubAllocatedBlocksOpenAnewWhenSlotsOrChunksRunOut) {
    TempFolder dir;
    std::vector<std::vector<Value>> rows;
    for (int i = 0; i < 65; ++i) rows.push_back({memoText(20, static_cast<char>('A' + i % 26))});  // 65 slots
    for (int i = 0; i < 3; ++i) rows.push_back({memoText(BlobWriter::kSmallBlobLimit, static_cast<char>('a' + i))});
    writeTable(dir / "memo.db", {{"Text", FieldType::Memo, 1}}, rows);
    ASSERT_TRUE(std::filesystem::exists(dir / "memo.mb"));  // lower-case table, lower-case blob file
    const auto table = driver::Table::open(dir / "memo.db");
    ASSERT_EQ(table->rowCount(), 68);
    for (std::int64_t i = 0; i < 68; ++i) EXPECT_EQ(table->row(i)[0], rows[static_cast<std::size_t>(i)][0]) << i;
    // 64 small ones fill block 1 and the 65th opens block 2. A 2,047-byte blob
    // takes 128 of the 235 data chunks: the first joins block 2, the other two
    // need a block each.
    EXPECT_EQ(fileBytes(dir / "memo.mb").size(), 5u * 4096u);
}

TEST(WriterBlobs, GraphicsOleObjectsAndFormattedMemosAreStoredAsParadoxStoresThem) {
    TempFolder dir;
    const Bytes image = test_images::bitmap(5, 3);
    const Bytes object = {'O', 'L', 'E', 0, 1};
    writeTable(dir / "BLOBS.DB",
               {{"Picture", FieldType::Graphic, 10}, {"Object", FieldType::Ole}, {"Notes", FieldType::FormattedMemo, 2}},
               {{driver::Bytes{FieldType::Graphic, image}, driver::Bytes{FieldType::Ole, object},
                 std::string("Première ligne\r\nSecond line")},
                {kNull, kNull, std::string()}});
    // The graphic's leader holds the start of what is stored: the prefix, then the bitmap.
    const Bytes db = fileBytes(dir / "BLOBS.DB");
    EXPECT_EQ(slice(db, 2048 + 6, 10), (Bytes{1, 0, 0, 1, static_cast<std::uint8_t>(image.size()), 0, 0, 0, 'B', 'M'}));
    EXPECT_EQ(le32(db, 2048 + 6 + 14), 8 + image.size());

    const auto table = driver::Table::open(dir / "BLOBS.DB");
    EXPECT_EQ(table->fields()[2].type, FieldType::FormattedMemo);
    EXPECT_EQ(table->row(0), (std::vector<Value>{driver::Bytes{FieldType::Graphic, image},
                                                 driver::Bytes{FieldType::Ole, object},
                                                 std::string("Première ligne\r\nSecond line")}));
    EXPECT_EQ(table->row(1), (std::vector<Value>{kNull, kNull, kNull}));
}

TEST(WriterErrors, BadFieldListsAreRefusedBeforeAFileExists) {
    TempFolder dir;
    const auto file = dir / "BAD.DB";
    auto make = [&](std::vector<FieldDef> fields, Options options = {}) {
        return [=] { Writer w(file, fields, options); };
    };
    EXPECT_THAT(make({}), ThrowsMessage<WriteError>(HasSubstr("1 to 255 fields")));
    EXPECT_THAT(make({{"A", FieldType::Alpha, 0}}), ThrowsMessage<WriteError>(HasSubstr("width 0 is outside 1..255")));
    EXPECT_THAT(make({{"A", FieldType::Alpha, 256}}), ThrowsMessage<WriteError>(HasSubstr("width 256")));
    EXPECT_THAT(make({{"M", FieldType::Memo, 0}}), ThrowsMessage<WriteError>(HasSubstr("outside 1..240")));
    EXPECT_THAT(make({{"M", FieldType::Memo, 241}}), ThrowsMessage<WriteError>(HasSubstr("outside 1..240")));
    EXPECT_THAT(make({{"B", FieldType::Bcd, 33}}), ThrowsMessage<WriteError>(HasSubstr("outside 0..32")));
    EXPECT_THAT(make({{"G", FieldType::Graphic, 241}}), ThrowsMessage<WriteError>(HasSubstr("outside 0..240")));
    EXPECT_THAT(make({{"X", static_cast<FieldType>(0x11)}}), ThrowsMessage<WriteError>(HasSubstr("cannot be written")));
    EXPECT_THAT(make({{"", FieldType::Short}}), ThrowsMessage<WriteError>(HasSubstr("1 to 25 characters")));
    EXPECT_THAT(make({{"A name of twenty-six chars", FieldType::Short}}),
                ThrowsMessage<WriteError>(HasSubstr("1 to 25 characters")));
    EXPECT_THAT(make({{"Città", FieldType::Short}, {"CITTà", FieldType::Short}}),
                ThrowsMessage<WriteError>(AllOf(HasSubstr("\"CITTà\""), HasSubstr("used twice"))));
    EXPECT_THAT(make({{"Łódź", FieldType::Short}}), ThrowsMessage<WriteError>(HasSubstr("code page 1252 cannot hold")));
    EXPECT_THAT(make({{"A", FieldType::AutoIncrement}, {"B", FieldType::AutoIncrement}}),
                ThrowsMessage<WriteError>(HasSubstr("at most one autoincrement")));
    EXPECT_THAT(make({{"A", FieldType::Alpha, 255}, {"B", FieldType::Alpha, 255}, {"C", FieldType::Alpha, 255},
                      {"D", FieldType::Alpha, 255}, {"E", FieldType::Alpha, 255}, {"F", FieldType::Alpha, 255},
                      {"G", FieldType::Alpha, 255}, {"H", FieldType::Alpha, 255}, {"I", FieldType::Alpha, 255}}),
                ThrowsMessage<WriteError>(HasSubstr("does not fit a 2 KiB block")));
    Options odd;
    odd.blockKiB = 3;
    EXPECT_THAT(make({{"A", FieldType::Short}}, odd), ThrowsMessage<WriteError>(HasSubstr("3 KiB")));
    odd = {};
    odd.version = 13;
    EXPECT_THAT(make({{"A", FieldType::Short}}, odd), ThrowsMessage<WriteError>(HasSubstr("outside 3..12")));
    odd.version = 9;
    EXPECT_THAT(make({{"A", FieldType::Logical}}, odd),
                ThrowsMessage<WriteError>(HasSubstr("a table of version id 9 has no logical fields")));
    odd.version = 4;
    EXPECT_THAT(make({{"A", FieldType::Memo, 5}}, odd), ThrowsMessage<WriteError>(HasSubstr("has no memo fields")));
    odd = {};
    odd.keyFields = 2;
    EXPECT_THAT(make({{"A", FieldType::Short}}, odd), ThrowsMessage<WriteError>(HasSubstr("2 key fields")));
    EXPECT_THAT(make({{"A", FieldType::Short}, {"B", FieldType::Binary, 0}}, odd),
                ThrowsMessage<WriteError>(HasSubstr("cannot be part of the key")));
    Options unknown;
    unknown.codePage = 4711;
    EXPECT_THAT(make({{"A", FieldType::Short}}, unknown), ThrowsMessage<WriteError>(HasSubstr("4711")));
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(WriterErrors, AValueThatDoesNotFitNamesRowAndFieldAndTheRowIsSkipped) {
    TempFolder dir;
    Writer w(dir / "CHECK.DB", {{"Name", FieldType::Alpha, 4}, {"Qty", FieldType::Short}, {"On", FieldType::Date},
                                {"At", FieldType::Time}, {"Ratio", FieldType::Number}, {"Id", FieldType::AutoIncrement},
                                {"Memo", FieldType::Memo, 1}});
    auto row = [&](Value name, Value qty, Value on = kNull, Value at = kNull, Value ratio = kNull,
                   Value id = kNull) {
        return [&w, name, qty, on, at, ratio, id] { w.addRow({name, qty, on, at, ratio, id, std::string(3000, 'x')}); };
    };
    row(std::string("Ödön"), kNull)();  // fits: 4 bytes in cp1252
    EXPECT_THAT(row(std::string("Ödöns"), kNull),
                ThrowsMessage<WriteError>(AllOf(HasSubstr("CHECK.DB: row 2, field \"Name\""), HasSubstr("needs 5 bytes"))));
    EXPECT_THAT(row(std::string("Łódź"), kNull), ThrowsMessage<WriteError>(HasSubstr("cannot hold")));
    EXPECT_THAT(row(std::string("a\0b", 3), kNull), ThrowsMessage<WriteError>(HasSubstr("NUL")));
    EXPECT_THAT(row(std::string("\xff"), kNull), ThrowsMessage<WriteError>(HasSubstr("not UTF-8")));
    EXPECT_THAT(row(kNull, std::int64_t{32768}), ThrowsMessage<WriteError>(HasSubstr("32768 is outside -32767..32767")));
    EXPECT_THAT(row(kNull, std::int64_t{-32768}), ThrowsMessage<WriteError>(HasSubstr("outside")));
    EXPECT_THAT(row(kNull, 1.5), ThrowsMessage<WriteError>(HasSubstr("does not go into a short field")));
    EXPECT_THAT(row(kNull, kNull, driver::Date{1900, 2, 29}), ThrowsMessage<WriteError>(HasSubstr("1900-2-29")));
    EXPECT_THAT(row(kNull, kNull, kNull, driver::Time{86'400'000}), ThrowsMessage<WriteError>(HasSubstr("outside one day")));
    EXPECT_THAT(row(kNull, kNull, kNull, kNull, std::nan("")), ThrowsMessage<WriteError>(HasSubstr("NaN")));
    EXPECT_THAT(row(kNull, kNull, kNull, kNull, kNull, std::int64_t{0}), ThrowsMessage<WriteError>(HasSubstr("1 or more")));
    EXPECT_THAT([&] { w.addRow({kNull}); }, ThrowsMessage<WriteError>(HasSubstr("has 1 values for 7 fields")));
    row(std::string("Last"), std::int64_t{-32767})();
    w.finish();

    // Only the two good rows exist, their autoincrements are 1 and 2, and no
    // refused row left a blob behind (two single blobs of 3,000 bytes).
    const auto table = driver::Table::open(dir / "CHECK.DB");
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->row(0)[0], Value(std::string("Ödön")));
    EXPECT_EQ(table->row(1)[1], Value(std::int64_t{-32767}));
    EXPECT_EQ(table->row(1)[5], Value(std::int64_t{2}));
    EXPECT_EQ(fileBytes(dir / "CHECK.MB").size(), 3u * 4096u);
}

TEST(WriterErrors, AWriterDroppedBeforeFinishLeavesNoHalfTable) {
    TempFolder dir;
    {
        Writer w(dir / "HALF.DB", {{"Memo", FieldType::Memo, 5}});
        w.addRow({std::string(5000, 'm')});
        EXPECT_TRUE(std::filesystem::exists(dir / "HALF.MB"));
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "HALF.DB"));
    EXPECT_FALSE(std::filesystem::exists(dir / "HALF.MB"));
}

TEST(WriterErrors, AnAutoincrementGivenExplicitlyMovesTheCounter) {
    TempFolder dir;
    writeTable(dir / "AUTO.DB", {{"Id", FieldType::AutoIncrement}},
               {{kNull}, {std::int64_t{10}}, {kNull}, {std::int64_t{5}}, {kNull}});
    const auto table = driver::Table::open(dir / "AUTO.DB");
    std::vector<Value> ids;
    for (std::int64_t i = 0; i < table->rowCount(); ++i) ids.push_back(table->row(i)[0]);
    EXPECT_EQ(ids, (std::vector<Value>{std::int64_t{1}, std::int64_t{10}, std::int64_t{11}, std::int64_t{5},
                                       std::int64_t{12}}));
    EXPECT_EQ(le32(fileBytes(dir / "AUTO.DB"), 0x49), 12u);
}
