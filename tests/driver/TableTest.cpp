// The reader against the real tables of the corpus: values checked by hand
// from the format (see the notes next to each expectation).

#include "CorpusPaths.h"
#include "driver/Table.h"
#include "paradoxwriter/Writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>

using namespace driver;
using driver::test::corpus;

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

private:
    std::filesystem::path path_;
};

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

TEST(TableCorpus, TypSammlungHasEveryTypeWithZerosNullsAndOddDates) {
    VELLOMAR_NEEDS_CORPUS();
    const auto table = openCorpus("cran-Rparadox/TypSammlung.DB");
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

TEST(TableCorpus, FieldTypesOfTheDriverFixtures) {
    VELLOMAR_NEEDS_CORPUS();
    auto rows = allRows(*openCorpus("leonhad-paradoxdriver/fields/bcd.db"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], Value(Decimal{"1.23"}));
    EXPECT_EQ(rows[1][0], Value(Decimal{"-1.23"}));
    EXPECT_EQ(rows[1][1], Value(Decimal{"-1"}));
    EXPECT_EQ(rows[2][0], Value(Decimal{"0.00"}));
    EXPECT_TRUE(isNull(rows[2][1]));
    // Column C holds a converter's 32 digits of the double nearest 0.123, with
    // nibbles above 9 past the 19th digit; they are read at their place value.
    EXPECT_EQ(rows[0][2], Value(Decimal{"0.12299999999999999811014000012550"}));

    rows = allRows(*openCorpus("leonhad-paradoxdriver/fields/time.db"));
    EXPECT_EQ(rows, (std::vector<std::vector<Value>>{{Time{3'601'000}}, {Null{}}, {Time{10'803'000}}}));
    rows = allRows(*openCorpus("leonhad-paradoxdriver/fields/timestamp.db"));
    EXPECT_EQ(rows, (std::vector<std::vector<Value>>{{Null{}}, {Timestamp{{2020, 2, 1}, Time{3'601'000}}}}));
    rows = allRows(*openCorpus("leonhad-paradoxdriver/fields/date7.db"));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[2], (std::vector<Value>{Date{2018, 1, 2}, Time{(9 * 3600 + 25 * 60 + 25) * 1000}}));
    rows = allRows(*openCorpus("leonhad-paradoxdriver/fields/logical.db"));
    EXPECT_EQ(rows, (std::vector<std::vector<Value>>{{true}, {false}, {true}, {true}}));
    rows = allRows(*openCorpus("leonhad-paradoxdriver/fields/long.db"));
    EXPECT_TRUE(isNull(rows[2][1]));

    rows = allRows(*openCorpus("leonhad-paradoxdriver/fields/bytes.db"));
    const auto& bytes = std::get<Bytes>(rows[0][0]);
    EXPECT_EQ(bytes.type, FieldType::Bytes);
    ASSERT_EQ(bytes.data.size(), 255u);
    EXPECT_EQ((std::vector<std::uint8_t>(bytes.data.begin(), bytes.data.begin() + 6)),
              (std::vector<std::uint8_t>{0x31, 0, 0x32, 0, 0x33, 0}));
}

TEST(TableCorpus, BlobsInlineSubAllocatedAndSingle) {
    VELLOMAR_NEEDS_CORPUS();
    auto rows = allRows(*openCorpus("leonhad-paradoxdriver/fields/memo.db"));
    // 555 bytes from a sub-allocated block, then 12 bytes held in the leader.
    EXPECT_EQ(std::get<std::string>(rows[0][1]).size(), 555u);
    EXPECT_EQ(rows[1][1], text("01234567890\n"));

    // Graphics: 8-byte prefix stripped, the BMP follows (9,626 stored bytes for Id 2).
    rows = allRows(*openCorpus("leonhad-paradoxdriver/fields/graphic.db"));
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

TEST(TableCorpus, MissingBlobFileFailsOnlyThoseCells) {
    VELLOMAR_NEEDS_CORPUS();
    const auto table = openCorpus("teverett-paradoxReader/MEMBRE.DB");
    ASSERT_EQ(table->fields().size(), 92u);
    EXPECT_EQ(table->fields()[0].name, "Code_membre");
    bool sawError = false;
    for (std::int64_t i = 0; i < table->rowCount(); ++i)
        for (const Value& v : table->row(i))
            if (const auto* error = std::get_if<ValueError>(&v)) {
                sawError = true;
                EXPECT_EQ(error->message, "the blob file is missing");
                EXPECT_NE(error->detail.find("MEMBRE.MB is missing"), std::string::npos) << error->detail;
                EXPECT_NE(error->detail.find("field '"), std::string::npos);
            }
    EXPECT_TRUE(sawError);
    // cp437 field names.
    bool marie = false;
    for (const auto& f : table->fields()) marie = marie || f.name == "Marié";
    EXPECT_TRUE(marie);
}

TEST(TableCorpus, BlobFileIsFoundWhateverItsCaseAndDamageStaysInTheCell) {
    VELLOMAR_NEEDS_CORPUS();
    TempDir dir;
    std::filesystem::copy_file(corpus("leonhad-paradoxdriver/fields/memo.db"), dir.path() / "Memo.DB");
    std::filesystem::copy_file(corpus("leonhad-paradoxdriver/fields/memo.mb"), dir.path() / "MEMO.mB");
    EXPECT_EQ(std::get<std::string>(Table::open(dir.path() / "Memo.DB")->row(0)[1]).size(), 555u);

    // Cut the .mb inside its sub-allocated block: the long memo fails, the row and the short memo stay.
    std::filesystem::resize_file(dir.path() / "MEMO.mB", 4096 + 100);
    const auto table = Table::open(dir.path() / "Memo.DB");
    const auto first = table->row(0);
    EXPECT_EQ(first[0], Value(std::int64_t{1}));
    ASSERT_TRUE(std::holds_alternative<ValueError>(first[1]));
    EXPECT_NE(std::get<ValueError>(first[1]).detail.find("MEMO.mB"), std::string::npos);
    EXPECT_EQ(table->row(1)[1], text("01234567890\n"));
}

TEST(TableCorpus, RowsFollowTheBlockChainNotThePhysicalOrder) {
    VELLOMAR_NEEDS_CORPUS();
    // Fully reversed chain 8,7,...,1: the first row lives in the last physical block.
    const auto reversed = openCorpus("gazlappy-Wdplapp/a_Dbls.DB");
    EXPECT_EQ(reversed->rowCount(), 252);
    EXPECT_EQ(reversed->row(0)[1], Value(1.0));
    // All rows deleted, blocks left on the free list still hold old rows: none come back.
    EXPECT_EQ(openCorpus("gazlappy-Wdplapp/Dbls.DB")->rowCount(), 0);
    EXPECT_EQ(openCorpus("gazlappy-Wdplapp/Pair.DB")->rowCount(), 0);
    // Header-only table.
    EXPECT_EQ(openCorpus("leonhad-paradoxdriver/joins/paradox-ascii.db")->rowCount(), 0);
}

TEST(TableCorpus, RandomAccessMatchesSequentialReading) {
    VELLOMAR_NEEDS_CORPUS();
    // The file ends half-way through its last block, after the last live record.
    const auto table = openCorpus("leonhad-paradoxdriver/areas/ZIPCODES.DB");
    ASSERT_EQ(table->rowCount(), 43185);
    EXPECT_EQ(table->damage(), "");
    std::vector<std::vector<Value>> sequential;
    for (std::int64_t i = 0; i < table->rowCount(); ++i) sequential.push_back(table->row(i));
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        const auto n = static_cast<std::int64_t>(random() % sequential.size());
        ASSERT_EQ(table->row(n), sequential[static_cast<std::size_t>(n)]) << n;
    }
    EXPECT_EQ(table->row(43184, {2, 0}),
              (std::vector<Value>{sequential.back()[2], sequential.back()[0]}));
    EXPECT_THROW(table->row(43185), ReadError);
    EXPECT_THROW(table->row(-1), ReadError);
    EXPECT_THROW(table->row(0, {3}), ReadError);
}

TEST(TableCorpus, TextIsDecodedFromTheTablesCodePage) {
    VELLOMAR_NEEDS_CORPUS();
    auto table = openCorpus("nilsfr-python-pxlib/KOMMENT.DB");  // cp865
    EXPECT_EQ(table->codePage(), 865);
    EXPECT_NE(std::get<std::string>(table->row(0)[3]).find("både"), std::string::npos);

    table = openCorpus("delphi-pascal-archive-database-samples/lekarstva.DB");  // cp866
    EXPECT_EQ(table->row(0)[0], text("Абана"));

    table = openCorpus("ademkocamaz-lazarus-paradox/FIRMA.DB");  // cp857, Turkish dotted I
    EXPECT_EQ(table->codePage(), 857);
    EXPECT_EQ(table->row(0)[12], text("İLKADAM"));

    // Code page 0 with the BLROM800 driver: HP Roman-8.
    table = openCorpus("leonhad-paradoxdriver/db/ROMAN8.db");
    EXPECT_EQ(table->codePage(), 1051);
    EXPECT_EQ(table->row(0)[0], text("Š½ƒ¶"));

    // A 3.5 table has no code-page field; its "cyrr" sort order says 866.
    const auto plain = openCorpus("cran-Rparadox/of.db");
    const auto v4 = openCorpus("cran-Rparadox/of_cp866.db");
    EXPECT_EQ(plain->codePage(), 866);
    EXPECT_EQ(plain->fields()[0].name, "Инвентарный номер");
    EXPECT_EQ(allRows(*plain), allRows(*v4));

    // A mislabelled table (says 936, holds cp1251) reads right with an override.
    table = openCorpus("leonhad-paradoxdriver/db-history/NOTE1251.DB", OpenOptions{1251});
    EXPECT_EQ(table->codePage(), 1251);
    const std::string note = std::get<std::string>(table->row(0)[1]);
    EXPECT_NE(note.find("При разработке электронных сервисов"), std::string::npos) << note;
}

TEST(TableCorpus, MemosKeepTheTextAfterAnEmbeddedNul) {
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
