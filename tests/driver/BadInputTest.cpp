// Damaged, truncated, hostile and foreign files: each gives a ReadError that
// names the file and says what is wrong and where, never a crash or a hang.

#include "TableBytes.h"
#include "driver/Table.h"
#include "support/WrittenTables.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

using namespace driver;
using namespace driver::test;
using ::testing::AllOf;
using ::testing::HasSubstr;

namespace {

class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "vellomar-bad-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path write(const ByteVector& bytes, const std::string& name = "BAD.DB") {
        const auto path = dir_ / name;
        writeFile(path, bytes);
        return path;
    }
    // The message of the ReadError that opening `bytes` throws.
    std::string openError(const ByteVector& bytes) {
        const auto path = write(bytes);
        try {
            Table::open(path);
        } catch (const ReadError& error) {
            return error.what();
        }
        return "(opened)";
    }

    // A table of one long and one 20-byte alpha, 1 KiB blocks (42 records each).
    static TableBytes numbered(int rows) {
        TableBytes table({{FieldType::Long, 4, "N"}, {FieldType::Alpha, 20, "Name"}});
        for (int i = 0; i < rows; ++i) {
            ByteVector record = TableBytes::integer(i, 4);
            const ByteVector name = TableBytes::text("row " + std::to_string(i), 20);
            record.insert(record.end(), name.begin(), name.end());
            table.add(record);
        }
        return table;
    }

    std::filesystem::path dir_;
};

}  // namespace

TEST_F(BadInput, ByteBuiltTableReadsBack) {
    const TableBytes table = numbered(100);
    const auto opened = Table::open(write(table.build()));
    ASSERT_EQ(opened->rowCount(), 100);
    EXPECT_EQ(opened->fields()[1].name, "Name");
    EXPECT_EQ(opened->row(99), (std::vector<Value>{std::int64_t{99}, std::string("row 99")}));
}

TEST_F(BadInput, MissingEmptyAndForeignFilesSayWhatTheyAre) {
    try {
        Table::open(dir_ / "NOPE.DB");
        FAIL();
    } catch (const ReadError& error) {
        EXPECT_THAT(error.what(), AllOf(HasSubstr("NOPE.DB"), HasSubstr("cannot open")));
    }
    EXPECT_THAT(openError({}), AllOf(HasSubstr("BAD.DB"), HasSubstr("empty")));
    EXPECT_THAT(openError(ByteVector(4096, 0)), HasSubstr("not a readable Paradox table"));

    ByteVector sqlite(4096, 0);
    std::memcpy(sqlite.data(), "SQLite format 3", 16);
    EXPECT_THAT(openError(sqlite), AllOf(HasSubstr("BAD.DB"), HasSubstr("SQLite database")));
    ByteVector thumbs = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    thumbs.resize(1024);
    EXPECT_THAT(openError(thumbs), HasSubstr("thumbnail cache"));

    std::mt19937 random(42);
    for (int i = 0; i < 200; ++i) {
        ByteVector noise(static_cast<std::size_t>(random() % 5000));
        for (auto& b : noise) b = static_cast<std::uint8_t>(random());
        const auto path = write(noise);
        try {
            const auto table = Table::open(path);
            for (std::int64_t r = 0; r < table->rowCount(); ++r) try { table->row(r); } catch (const ReadError&) {}
        } catch (const ReadError& error) {
            EXPECT_THAT(error.what(), HasSubstr("BAD.DB"));
        }
    }
}

TEST_F(BadInput, HeaderFieldsOutOfRangeAreNamedWithTheirOffset) {
    const ByteVector good = numbered(3).build();
    auto patched = [&](std::size_t at, std::uint8_t value) {
        ByteVector bytes = good;
        bytes[at] = value;
        return openError(bytes);
    };
    EXPECT_THAT(patched(0x04, 1), AllOf(HasSubstr("index file"), HasSubstr("byte 4")));
    EXPECT_THAT(patched(0x05, 0), AllOf(HasSubstr("block size code 0"), HasSubstr("byte 5")));
    EXPECT_THAT(patched(0x05, 33), HasSubstr("block size code 33"));
    EXPECT_THAT(patched(0x39, 2), AllOf(HasSubstr("file version id 2"), HasSubstr("byte 57")));
    EXPECT_THAT(patched(0x21, 0), HasSubstr("field count 0"));
    EXPECT_THAT(patched(0x78, 0x42), AllOf(HasSubstr("field 1 has unknown type 0x42"), HasSubstr("byte 120")));
    EXPECT_THAT(patched(0x79, 3), HasSubstr("field 1 of type 0x04 has impossible size 3"));
    EXPECT_THAT(patched(0x00, 30), HasSubstr("differs from the sum of the field sizes (24)"));
    ByteVector many = good;
    putU16(many, 0x21, 300);
    EXPECT_THAT(openError(many), HasSubstr("field count 300"));
    ByteVector smallHeader = good;
    putU16(smallHeader, 0x02, 200);
    smallHeader.push_back(0);  // nor do the blocks show where the header ends
    EXPECT_THAT(openError(smallHeader), HasSubstr("header size 200 is too small"));
}

TEST_F(BadInput, TruncatedHeaderIsReported) {
    const ByteVector good = numbered(3).build();
    EXPECT_THAT(openError(ByteVector(good.begin(), good.begin() + 50)), HasSubstr("too short"));
    EXPECT_THAT(openError(ByteVector(good.begin(), good.begin() + 1000)),
                HasSubstr("cut short inside its header (1000 of 2048"));
    // Field names without their terminator inside the header: named by number, and told.
    ByteVector names = good;
    std::fill(names.begin() + 0x78 + 4 + 4 + 8 + 261, names.begin() + 2048, 'x');
    const auto unnamed = Table::open(write(names));
    EXPECT_EQ(unnamed->fields()[0].name, "Field 1");
    EXPECT_THAT(unnamed->damage(), HasSubstr("the field names from byte 397 on do not end where the header shows"));
}

TEST_F(BadInput, FileCutInItsLastBlockGivesTheCompleteRowsAndSaysHowManyAreMissing) {
    const TableBytes table = numbered(50);  // block 1: 42 rows, block 2: 8
    ASSERT_EQ(table.recordsPerBlock(), 42);
    ByteVector bytes = table.build();
    // Cut inside record 5 of block 2.
    bytes.resize(table.blockStart(2) + 6 + 4 * 24 + 10);
    const auto opened = Table::open(write(bytes));
    EXPECT_THAT(opened->damage(), AllOf(HasSubstr("BAD.DB"), HasSubstr("inside record 5 of the 8 in block 2 (byte 3072)"),
                                        HasSubstr("the header says 50 rows; 46 were found along the block chain: "
                                                  "4 rows are missing")));
    ASSERT_EQ(opened->rowCount(), 46);
    EXPECT_TRUE(opened->rowsInDoubt());
    for (int i = 0; i < 46; ++i) EXPECT_EQ(opened->row(i)[0], Value(std::int64_t{i}));
    EXPECT_THROW(opened->row(46), ReadError);
}

TEST_F(BadInput, LoopsAndLinksOutOfTheFileGoOnWithTheBlockThatLinksBack) {
    const TableBytes table = numbered(100);  // blocks 1, 2, 3
    const ByteVector good = table.build();
    auto allRowsRead = [](const Table& t) {
        for (int i = 0; i < 100; ++i)
            if (t.row(i)[0] != Value(std::int64_t{i})) return false;
        return true;
    };
    ByteVector bytes = good;
    putU16(bytes, table.blockStart(2), 1);  // block 2 links back to block 1
    auto opened = Table::open(write(bytes));
    EXPECT_THAT(opened->damage(), HasSubstr("block 2 (byte 3072) links to block 1, which is already in the chain: "
                                            "the chain loops; block 3 (byte 4096) links back to block 2, so the chain "
                                            "was followed on from there"));
    ASSERT_EQ(opened->rowCount(), 100);
    EXPECT_TRUE(allRowsRead(*opened));

    putU16(bytes, table.blockStart(1), 1);  // and block 1 to itself
    EXPECT_EQ(Table::open(write(bytes))->rowCount(), 100);

    bytes = good;
    putU16(bytes, table.blockStart(1), 999);
    opened = Table::open(write(bytes));
    EXPECT_THAT(opened->damage(), HasSubstr("block 1 (byte 2048) links to block 999, but the file holds only 3 blocks"));
    ASSERT_EQ(opened->rowCount(), 100);
    EXPECT_TRUE(allRowsRead(*opened));

    bytes = good;
    putU16(bytes, 0x0E, 7);  // first block beyond the file: the one block that no block precedes
    opened = Table::open(write(bytes));
    EXPECT_THAT(opened->damage(), AllOf(HasSubstr("the header's first block (byte 14) is block 7"),
                                        HasSubstr("block 1 (byte 2048) is the only block holding records that "
                                                  "links back to no block")));
    ASSERT_EQ(opened->rowCount(), 100);
    EXPECT_TRUE(allRowsRead(*opened));
}

TEST_F(BadInput, TablesCutAnywhereSayWhatIsMissing) {
    // 4,554 rows of 41 bytes in 93 blocks of 2 KiB, like a_Single.DB of the corpus.
    testsupport::Rows rows;
    for (std::int64_t i = 0; i < 4554; ++i)
        rows.push_back({static_cast<double>(i), 1.0, static_cast<double>(i % 17), static_cast<double>(i % 19),
                        std::string(i % 2 ? "Home" : "Away"), i % 3 == 0, i});
    paradoxwriter::Options options;
    options.version = 11;
    options.codePage = 850;
    testsupport::writeTable(dir_ / "SINGLE.DB",
                            {{"MatchNo", FieldType::Number}, {"SingleNo", FieldType::Number},
                             {"HomePlayerNo", FieldType::Number}, {"AwayPlayerNo", FieldType::Number},
                             {"Winner", FieldType::Alpha, 4}, {"EightBall", FieldType::Logical},
                             {"UniRef", FieldType::Long}},
                            rows, options);
    const ByteVector whole = readFile(dir_ / "SINGLE.DB");
    ASSERT_EQ(whole.size(), 2048u + 93 * 2048u);
    for (std::size_t size = 0; size < whole.size(); size += 1531) {
        const auto path = write(ByteVector(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
        try {
            const auto table = Table::open(path);
            std::vector<Value> row;
            for (std::int64_t i = 0; i < table->rowCount(); ++i) table->readRow(i, row);
            ASSERT_LT(table->rowCount(), table->headerRowCount()) << size;
            EXPECT_THAT(table->damage(), AllOf(HasSubstr("BAD.DB"), HasSubstr("missing"))) << size;
        } catch (const ReadError& error) {
            EXPECT_THAT(error.what(), HasSubstr("BAD.DB"));
        }
    }
}
