// The reader against tables the project writes (every version, type, code
// page and blob kind, keyed or not, with bytes changed where an oddity of a
// real writer or damage is the point) and against the real tables of the
// corpus, whose values were checked by hand from the format.

#include "CorpusPaths.h"
#include "TableBytes.h"
#include "driver/Table.h"
#include "paradoxwriter/Writer.h"
#include "support/WrittenTables.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

using namespace driver;
using driver::test::corpus;
using paradoxwriter::FieldDef;
using testsupport::writeTable;

namespace {

std::unique_ptr<Table> openCorpus(const std::string& relative, OpenOptions options = {}) {
    return Table::open(corpus(relative), options);
}

std::vector<std::vector<Value>> allRows(const Table& table) {
    std::vector<std::vector<Value>> rows;
    for (std::int64_t i = 0; i < table.rowCount(); ++i) rows.push_back(table.row(i));
    return rows;
}

Value text(const char* s) { return std::string(s); }

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vellomar-reader-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The corpus table (parameter true) or its written twin.
class TypSammlung : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        path_ = dir_ / "TypSammlung.DB";
        testsupport::writeTypSammlung(path_);
        if (!GetParam()) return;
        VELLOMAR_NEEDS_CORPUS();
        // The twin's records are the real table's, byte for byte.
        const auto twin = testsupport::fileBytes(path_);
        path_ = corpus("cran-Rparadox/TypSammlung.DB");
        const auto real = testsupport::fileBytes(path_);
        ASSERT_EQ(real.size(), twin.size());
        EXPECT_TRUE(std::equal(real.begin() + 2048, real.end(), twin.begin() + 2048));
    }
    TempDir dir_;
    std::filesystem::path path_;
};

INSTANTIATE_TEST_SUITE_P(Table, TypSammlung, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Corpus" : "Written"; });

}  // namespace

TEST(TableCorpus, EveryTableOpensAndEveryRowReads) {
    VELLOMAR_NEEDS_CORPUS();
    const auto tables = driver::test::corpusTables();
    ASSERT_EQ(tables.size(), 142u);
    for (const auto& name : tables) {
        SCOPED_TRACE(name);
        const auto table = openCorpus(name);
        EXPECT_EQ(table->damage(), "");
        // The header's count agrees with the chain in every corpus table.
        EXPECT_EQ(table->rowCount(), table->headerRowCount());
        std::vector<Value> row;
        for (std::int64_t i = 0; i < table->rowCount(); ++i) {
            table->readRow(i, row);
            ASSERT_EQ(row.size(), table->fields().size());
            if (name == "teverett-paradoxReader/MEMBRE.DB") continue;  // its .mb is missing
            for (const Value& v : row)
                EXPECT_FALSE(std::holds_alternative<ValueError>(v)) << std::get<ValueError>(v).message;
        }
    }
}

// The real table of every type and its written twin give the same values.
TEST_P(TypSammlung, HasEveryTypeWithZerosNullsAndOddDates) {
    const auto table = Table::open(path_);
    ASSERT_EQ(table->fields().size(), 14u);
    EXPECT_EQ(table->fields()[2].name, "Währung");  // cp1252 name
    EXPECT_EQ(table->fields()[2].type, FieldType::Money);
    EXPECT_EQ(table->fields()[5].type, FieldType::Bcd);
    EXPECT_EQ(table->fields()[5].decimals, 6);
    const auto rows = allRows(*table);
    ASSERT_EQ(rows.size(), 5u);

    // Keyed table: chain order is key order.
    EXPECT_EQ(rows[0][0], text("AAA Irgendein Text"));
    EXPECT_EQ(rows[1][0], text("Erste Zeile"));

    // "Null-Werte" stores explicit zeros (80 00 ...), not NULLs.
    const auto& zeros = rows[3];
    EXPECT_EQ(zeros[0], text("Null-Werte"));
    EXPECT_EQ(zeros[1], Value(0.0));
    EXPECT_EQ(zeros[2], Value(Money{0.0}));
    EXPECT_EQ(zeros[3], Value(std::int64_t{0}));
    EXPECT_EQ(zeros[4], Value(std::int64_t{0}));
    EXPECT_EQ(zeros[5], Value(Decimal{"0.000000"}));
    EXPECT_TRUE(isNull(zeros[6]));

    // "Erste Zeile": NULLs, its BCD stored as 06 00 ... (decimals set, bit 6 clear).
    const auto& nulls = rows[1];
    EXPECT_EQ(nulls[1], Value(23.0));
    for (int c : {2, 3, 4, 5, 6, 7, 8, 9}) EXPECT_TRUE(isNull(nulls[static_cast<std::size_t>(c)])) << c;
    EXPECT_EQ(nulls[10], Value(false));

    // Negative values: all bits inverted for doubles, sign bit only for integers,
    // complemented nibbles for BCD.
    const auto& negative = rows[4];
    EXPECT_EQ(negative[1], Value(-40.0));
    EXPECT_EQ(negative[3], Value(std::int64_t{-40}));
    EXPECT_EQ(negative[5], Value(Decimal{"-40.000000"}));
    EXPECT_EQ(negative[6], Value(Date{1999, 9, 9}));
    EXPECT_EQ(negative[10], Value(true));

    // Day -366 is 367 days before 0001-01-01: 31 December of year -1 (year 0 is a leap year).
    const auto& odd = rows[2];
    EXPECT_EQ(odd[0], text("Fünfter Datensatz"));
    EXPECT_EQ(odd[5], Value(Decimal{"13.123457"}));
    EXPECT_EQ(odd[6], Value(Date{-1, 12, 31}));
    EXPECT_EQ(odd[7], Value(Time{4'212'000}));  // 01:10:12
    EXPECT_EQ(odd[9], text("Dies ist eine Memo im 'Fünften Datensat'"));  // sic, as stored
    EXPECT_EQ(rows[0][8], Value(Timestamp{Date{1970, 1, 1}, Time{11 * 3'600'000}}));
}

TEST(TableCorpus, EncryptedTablesReadLikeTheirPlainTwins) {
    VELLOMAR_NEEDS_CORPUS();
    for (const auto& [plain, scrambled] :
         {std::pair{"cran-Rparadox/TypSammlung.DB", "cran-Rparadox/TypSammlung_encrypted.DB"},
          std::pair{"cran-Rparadox/country.db", "cran-Rparadox/country_encrypted.db"},
          std::pair{"cran-Rparadox/empty.db", "cran-Rparadox/empty_encrypted.db"}}) {
        SCOPED_TRACE(scrambled);
        const auto a = openCorpus(plain);
        const auto b = openCorpus(scrambled);
        EXPECT_FALSE(a->encrypted());
        EXPECT_TRUE(b->encrypted());
        ASSERT_EQ(a->fields().size(), b->fields().size());
        for (std::size_t i = 0; i < a->fields().size(); ++i) EXPECT_EQ(a->fields()[i].name, b->fields()[i].name);
        EXPECT_EQ(allRows(*a), allRows(*b));
    }
}

TEST(TableCorpus, EncryptedTablesOfEveryVersionDecode) {
    VELLOMAR_NEEDS_CORPUS();
    // 3.5 table, key at 0x25.
    auto rows = allRows(*openCorpus("leonhad-paradoxdriver/encrypt/encrypted35.db"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<Value>{1.0, text("Test 1")}));
    EXPECT_EQ(rows[1], (std::vector<Value>{2.0, text("Test2")}));
    // 5.x table, key at 0x5C.
    rows = allRows(*openCorpus("leonhad-paradoxdriver/encrypt/encrypted.db"));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3], (std::vector<Value>{std::int64_t{4}, text("Last one")}));
    // 4.x table whose whole .mb is scrambled too.
    rows = allRows(*openCorpus("leonhad-paradoxdriver/encrypt/encryptedmemo.db"));
    ASSERT_EQ(rows.size(), 2u);
    const auto& memo = std::get<std::string>(rows[0][0]);
    EXPECT_NE(memo.find("The PARADOX File Structure"), std::string::npos);
    EXPECT_GT(memo.size(), 10000u);
}

TEST(TableCorpus, BcdDigitsOfAConverterAreReadAtTheirPlaceValue) {
    VELLOMAR_NEEDS_CORPUS();
    const auto rows = allRows(*openCorpus("leonhad-paradoxdriver/fields/bcd.db"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], Value(Decimal{"1.23"}));
    EXPECT_EQ(rows[1][0], Value(Decimal{"-1.23"}));
    EXPECT_EQ(rows[1][1], Value(Decimal{"-1"}));
    EXPECT_EQ(rows[2][0], Value(Decimal{"0.00"}));
    EXPECT_TRUE(isNull(rows[2][1]));
    // Column C holds a converter's 32 digits of the double nearest 0.123, with
    // nibbles above 9 past the 19th digit; they are read at their place value.
    EXPECT_EQ(rows[0][2], Value(Decimal{"0.12299999999999999811014000012550"}));
}

TEST(TableCorpus, GraphicAndOleValuesOfRealWriters) {
    VELLOMAR_NEEDS_CORPUS();
    // Graphics: 8-byte prefix stripped, the BMP follows (9,626 stored bytes for Id 2).
    auto rows = allRows(*openCorpus("leonhad-paradoxdriver/fields/graphic.db"));
    const auto& image = std::get<Bytes>(rows[1][1]);
    EXPECT_EQ(image.type, FieldType::Graphic);
    EXPECT_EQ(image.data.size(), 9626u - 8u);
    EXPECT_EQ(image.data[0], 'B');
    EXPECT_EQ(image.data[1], 'M');
    EXPECT_EQ(std::get<Bytes>(rows[2][1]).data.size(), 2'074'678u);

    rows = allRows(*openCorpus("leonhad-paradoxdriver/fields/ole.db"));
    EXPECT_EQ(std::get<Bytes>(rows[0][1]).data.size(), 365'928u - 8u);
}

TEST(TableCorpus, EveryFormattedMemoIsItsText) {
    VELLOMAR_NEEDS_CORPUS();
    std::string line;
    for (int i = 0; i < 10; ++i) line += "01234567890";
    std::string lines;
    for (int i = 0; i < 5; ++i) lines += line + "\r\n";
    const std::map<std::string, std::vector<Value>> expected = {
        {"ademkocamaz-lazarus-paradox/Test.DB", {text("Hello there formatted memo\r\n")}},
        {"leonhad-paradoxdriver/db-history/fields.db", {text("123"), text("123")}},
        {"leonhad-paradoxdriver/fields/fmemo.db", {text("123"), lines}},
    };
    std::map<std::string, std::vector<Value>> found;
    for (const auto& name : driver::test::corpusTables()) {
        const auto table = openCorpus(name);
        for (const auto& row : allRows(*table))
            for (std::size_t f = 0; f < row.size(); ++f)
                if (table->fields()[f].type == FieldType::FormattedMemo && !isNull(row[f])) found[name].push_back(row[f]);
    }
    EXPECT_EQ(found, expected);
}

TEST(TableCorpus, OddCodePagesOfRealWriters) {
    VELLOMAR_NEEDS_CORPUS();
    // Code page 0 with the BLROM800 driver: HP Roman-8.
    auto table = openCorpus("leonhad-paradoxdriver/db/ROMAN8.db");
    EXPECT_EQ(table->codePage(), 1051);
    EXPECT_EQ(table->row(0)[0], text("Š½ƒ¶"));
    // A mislabelled table (says 936, holds cp1251) reads right with an override.
    table = openCorpus("leonhad-paradoxdriver/db-history/NOTE1251.DB", OpenOptions{1251});
    EXPECT_EQ(table->codePage(), 1251);
    const std::string note = std::get<std::string>(table->row(0)[1]);
    EXPECT_NE(note.find("При разработке электронных сервисов"), std::string::npos) << note;
}

// Each version with the types it knows, in the code pages of its day, keyed
// or not, scrambled or not, in blocks of every size: every value reads back as written.
TEST(Table, EveryVersionReadsBackEveryTypeItKnows) {
    TempDir dir;
    for (const auto& written : testsupport::writeEveryVersion(dir.path())) {
        SCOPED_TRACE(written.file.filename().string());
        const auto table = Table::open(written.file);
        EXPECT_EQ(table->codePage(), written.codePage);
        EXPECT_EQ(table->encrypted(), written.encrypted);
        EXPECT_EQ(table->damage(), "");
        ASSERT_EQ(table->fields().size(), written.fields.size());
        for (std::size_t i = 0; i < written.fields.size(); ++i) {
            const FieldDef& field = written.fields[i];
            EXPECT_EQ(table->fields()[i].name, field.name);
            EXPECT_EQ(table->fields()[i].type, field.type);
            EXPECT_EQ(table->fields()[i].size, paradoxwriter::Writer::recordBytes(field));
            EXPECT_EQ(table->fields()[i].decimals, field.type == FieldType::Bcd ? field.size : 0);
        }
        EXPECT_EQ(allRows(*table), written.rows);
    }
}

TEST(Table, TextIsDecodedFromTheTablesCodePage) {
    TempDir dir;
    const struct {
        int version, codePage;
        const char* text;
    } cases[] = {
        {12, 865, "både"}, {12, 866, "Абана"}, {12, 857, "İLKADAM"}, {9, 437, "Marié"}, {11, 850, "N° Licence"},
        {12, 1252, "Währung"},
        {4, 866, "Инвентарный номер"},  // 3.5 tables have no code-page field: the "cyrr" sort order says 866
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        paradoxwriter::Options options;
        options.version = c.version;
        options.codePage = c.codePage;
        writeTable(dir / "T.DB", {{c.text, FieldType::Alpha, 40}}, {{text(c.text)}}, options);
        const auto table = Table::open(dir / "T.DB");
        EXPECT_EQ(table->codePage(), c.codePage);
        EXPECT_EQ(table->fields()[0].name, c.text);
        EXPECT_EQ(table->row(0)[0], text(c.text));
    }

    // A mislabelled table (says 936, holds cp1251) reads right with an override.
    paradoxwriter::Options cyrillic;
    cyrillic.codePage = 1251;
    writeTable(dir / "NOTE.DB", {{"Note", FieldType::Memo, 10}}, {{text("При разработке электронных сервисов")}},
               cyrillic);
    auto bytes = testsupport::fileBytes(dir / "NOTE.DB");
    driver::test::putU16(bytes, 0x6A, 936);
    testsupport::writeBytes(dir / "NOTE.DB", bytes);
    EXPECT_NE(Table::open(dir / "NOTE.DB")->row(0)[0], text("При разработке электронных сервисов"));
    const auto table = Table::open(dir / "NOTE.DB", OpenOptions{1251});
    EXPECT_EQ(table->codePage(), 1251);
    EXPECT_EQ(table->row(0)[0], text("При разработке электронных сервисов"));
}

TEST(Table, RowsOfDeletedBlocksNeverComeBack) {
    TempDir dir;
    paradoxwriter::Options keyed;
    keyed.keyFields = 1;
    keyed.rowsPerBlock = 7;
    testsupport::writeNumbered(dir / "TEAM.DB", 42, keyed);  // blocks 1-6 of 7 rows
    const auto whole = testsupport::fileBytes(dir / "TEAM.DB");
    // The rows of blocks 4-6 deleted: the blocks, on the free list, still hold them.
    auto bytes = whole;
    driver::test::freeBlocks(bytes, 4);
    testsupport::writeBytes(dir / "TEAM.DB", bytes);
    auto table = Table::open(dir / "TEAM.DB");
    EXPECT_EQ(table->damage(), "");
    ASSERT_EQ(table->rowCount(), 21);
    EXPECT_EQ(table->row(20), (std::vector<Value>{std::int64_t{21}, text("row 21")}));
    // Every row deleted.
    bytes = whole;
    driver::test::freeBlocks(bytes, 1);
    testsupport::writeBytes(dir / "TEAM.DB", bytes);
    table = Table::open(dir / "TEAM.DB");
    EXPECT_EQ(table->damage(), "");
    EXPECT_EQ(table->rowCount(), 0);
}

TEST(Table, RandomAccessMatchesSequentialReadingInAFileEndingInsideItsLastBlock) {
    TempDir dir;
    testsupport::Rows written;
    for (std::int64_t i = 0; i < 10000; ++i)
        written.push_back({i, "Z" + std::to_string(i * 7919 % 100000), static_cast<double>(i) / 8});
    writeTable(dir / "ZIP.DB", {{"Id", FieldType::Long}, {"Zip", FieldType::Alpha, 10}, {"Weight", FieldType::Number}},
               written);
    // The file ends right after the last live record, half-way through its block.
    auto bytes = testsupport::fileBytes(dir / "ZIP.DB");
    const int last = bytes[0x10] | bytes[0x11] << 8;
    const int recordSize = bytes[0] | bytes[1] << 8;
    bytes.resize(driver::test::blockAt(bytes, last) + 6 + 10000 % ((2048 - 6) / recordSize) * recordSize);
    testsupport::writeBytes(dir / "ZIP.DB", bytes);

    const auto table = Table::open(dir / "ZIP.DB");
    ASSERT_EQ(table->rowCount(), 10000);
    EXPECT_EQ(table->damage(), "");
    std::vector<std::vector<Value>> sequential;
    for (std::int64_t i = 0; i < table->rowCount(); ++i) sequential.push_back(table->row(i));
    EXPECT_EQ(sequential, written);
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        const auto n = static_cast<std::int64_t>(random() % written.size());
        ASSERT_EQ(table->row(n), written[static_cast<std::size_t>(n)]) << n;
    }
    EXPECT_EQ(table->row(9999, {2, 0}), (std::vector<Value>{written.back()[2], written.back()[0]}));
    EXPECT_THROW(table->row(10000), ReadError);
    EXPECT_THROW(table->row(-1), ReadError);
    EXPECT_THROW(table->row(0, {3}), ReadError);
}

TEST(Table, BlobFileIsFoundWhateverItsCaseAndWhenMissingOrCutOnlyItsCellsFail) {
    TempDir dir;
    paradoxwriter::Options dos;
    dos.codePage = 437;
    writeTable(dir / "Membre.DB", {{"Code_membre", FieldType::Long}, {"Marié", FieldType::Logical},
                                   {"Notes", FieldType::Memo, 12}, {"Photo", FieldType::Binary, 0}},
               {{std::int64_t{1}, true, std::string(555, 'n'), Bytes{FieldType::Binary, {1, 2}}},
                {std::int64_t{2}, false, text("01234567890\n"), Null{}}},
               dos);
    std::filesystem::rename(dir / "Membre.MB", dir / "MEMBRE.mB");
    EXPECT_EQ(Table::open(dir / "Membre.DB")->row(0),
              (std::vector<Value>{std::int64_t{1}, true, std::string(555, 'n'), Bytes{FieldType::Binary, {1, 2}}}));

    // Cut inside the sub-allocated block that holds both blobs, then gone.
    const std::vector<Value> second{std::int64_t{2}, false, text("01234567890\n"), Null{}};
    for (const std::string missing : {"MEMBRE.mB: ", "Membre.MB is missing"}) {
        if (missing.ends_with(": ")) std::filesystem::resize_file(dir / "MEMBRE.mB", 4096 + 100);
        else std::filesystem::remove(dir / "MEMBRE.mB");
        const auto table = Table::open(dir / "Membre.DB");
        EXPECT_EQ(table->fields()[1].name, "Marié");
        const auto first = table->row(0);
        EXPECT_EQ(first[1], Value(true));
        for (int column : {2, 3}) {
            ASSERT_TRUE(std::holds_alternative<ValueError>(first[column])) << column;
            const ValueError& error = std::get<ValueError>(first[column]);
            if (missing.ends_with("missing")) {
                EXPECT_EQ(error.message, "the blob file is missing");
            }
            EXPECT_NE(error.detail.find(missing), std::string::npos) << error.detail;
            EXPECT_NE(error.detail.find("field '"), std::string::npos) << error.detail;
        }
        EXPECT_EQ(table->row(1), second);
    }
}

TEST(Table, MemosKeepTheTextAfterAnEmbeddedNul) {
    // In the record's leader, in a sub-allocated .mb block and in a block of its own.
    TempDir dir;
    const std::string inLeader("ab\0cd", 5);
    const std::string small = std::string(100, 'x') + '\0' + "after\xC3\xA9";
    const std::string large = std::string(3000, 'y') + '\0' + "end";
    {
        paradoxwriter::Writer writer(dir.path() / "MEMO.DB", {{"M", FieldType::Memo, 20}});
        for (const std::string& memo : {inLeader, small, large}) writer.addRow({memo});
        writer.finish();
    }
    const auto rows = allRows(*Table::open(dir.path() / "MEMO.DB"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], Value(inLeader));
    EXPECT_EQ(rows[1][0], Value(small));
    EXPECT_EQ(rows[2][0], Value(large));
}
