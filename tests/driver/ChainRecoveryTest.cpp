// Tables whose header, block chain and blocks disagree: each gives its true
// rows, never a row twice, a deleted row or a stale record, and damage() says
// what was found, where, and what it means for the rows. The damaged tables
// are written ones with bytes changed here, tables built byte by byte, and
// real ones (the shared damaged set).

#include "CorpusPaths.h"
#include "TableBytes.h"
#include "driver/Table.h"
#include "support/WrittenTables.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using namespace driver;
using namespace driver::test;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using Rows = std::vector<std::vector<Value>>;

Rows allRows(const Table& table) {
    Rows rows;
    for (std::int64_t i = 0; i < table.rowCount(); ++i) rows.push_back(table.row(i));
    return rows;
}

class ChainRecovery : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "vellomar-recovery-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        paradoxwriter::Options keyed;
        keyed.keyFields = 1;
        keyed.rowsPerBlock = 6;
        for (std::int64_t i = 1; i <= 204; ++i)
            ordersRows_.push_back({i, "order " + std::to_string(i), i % 7 ? Value(i * 3) : Value(Null{})});
        testsupport::writeTable(dir_ / "ORDERS.DB",
                                {{"OrderNo", FieldType::Long}, {"Notes", FieldType::Alpha, 255}, {"Amount", FieldType::Long}},
                                ordersRows_, keyed);
        // Rows 1-21 in blocks 1-3, the rows of blocks 4-6 deleted.
        keyed.rowsPerBlock = 7;
        testsupport::writeNumbered(dir_ / "TEAM.DB", 42, keyed);
        ByteVector team = readFile(dir_ / "TEAM.DB");
        freeBlocks(team, 4);
        writeFile(dir_ / "TEAM.DB", team);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::unique_ptr<Table> open(const ByteVector& bytes, const std::string& name = "T.DB") {
        writeFile(dir_ / name, bytes);
        return Table::open(dir_ / name);
    }

    // ORDERS.DB, keyed like orders.db of the corpus: 2 KiB blocks 1..34 in
    // order, 6 records of 263 bytes each (room for 7), 204 rows, no free
    // blocks. Block n starts at 2048 * n.
    ByteVector orders() const { return readFile(dir_ / "ORDERS.DB"); }
    static std::size_t ordersBlock(int n) { return 2048 * static_cast<std::size_t>(n); }
    const Rows& ordersRows() const { return ordersRows_; }
    // TEAM.DB, like Team.DB of the corpus: chain 1-3 of 7 rows each, then
    // blocks 4-6 on the list of free blocks, still holding their old rows.
    ByteVector team() const { return readFile(dir_ / "TEAM.DB"); }
    Rows teamRows() const { return allRows(*Table::open(dir_ / "TEAM.DB")); }

    std::filesystem::path dir_;
    Rows ordersRows_;
};

}  // namespace

// Each comes out as its original, or what is in doubt is told: its rows, a
// cell, or a name; what is not told is the original's.
TEST_F(ChainRecovery, SharedDamagedTablesComeOutWholeOrTold) {
    VELLOMAR_NEEDS_CORPUS();
    enum class Told { Whole, Rows, Cell, Name };
    struct Case {
        const char* damaged;
        const char* original;
        Told told;
        const char* finding;
    };
    const Case cases[] = {
        {"CHAINCUT.db", "flrizzato-DelphiAcademy/orders.db", Told::Whole,
         "block 5 (byte 10240) ends the block chain, but the header's last block is block 34; block 6 (byte 12288) "
         "links back to block 5, so the chain was followed on from there"},
        {"STALEROW.db", "flrizzato-DelphiAcademy/orders.db", Told::Whole,
         "block 3 (byte 6144) gives a last-record offset of 1840, which is not a whole number of 263-byte records; "
         "the header's record count leaves 6 records for it, and those were read"},
        {"FIRSTBLK.db", "flrizzato-DelphiAcademy/orders.db", Told::Whole,
         "the header's first block, block 34 (byte 69632), is not where the block chain starts: it links back to "
         "block 33; following the links back leads to block 1, where the chain starts"},
        {"V3CHAIN.db", "leonhad-paradoxdriver/areas/AREACODE.DB", Told::Whole,
         "block 2 (byte 1258) ends the block chain, but the header's last block is block 27; block 3 (byte 2282) "
         "links back to block 2, so the chain was followed on from there"},
        {"HDRSIZE.db", "cran-Rparadox/country.db", Told::Whole,
         "the header gives its own size as 2,047 bytes (byte 2), but the file holds the 1 block of 2 KiB the header "
         "counts from byte 2048 on"},
        {"DUPBLOCK.db", "flrizzato-DelphiAcademy/orders.db", Told::Rows,
         "block 29 (byte 59392) has the same block header as block 22 (byte 45056), linking to block 23 and back to "
         "block 21, so one of them is not in its place; its records are block 22's too"},
        {"SLOTHDR.db", "cran-Rparadox/TypSammlung.DB", Told::Cell, "inside the block's header and slots"},
        {"NONUL.db", "flrizzato-DelphiAcademy/orders.db", Told::Name,
         "the name of field 19 (byte 507) is not NUL-terminated (byte 514 holds 0x5F); the field is called \"Field 19\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.damaged);
        const auto damaged = Table::open(damagedTable(c.damaged));
        const auto original = Table::open(corpus(c.original));
        const std::string damage = damaged->damage();
        EXPECT_EQ(damaged->rowsInDoubt(), c.told == Told::Rows) << damage;
        if (c.told == Told::Rows) {
            EXPECT_THAT(damage, HasSubstr(c.finding));
            continue;
        }
        std::string cells;
        const Rows rows = allRows(*damaged), want = allRows(*original);
        ASSERT_EQ(rows.size(), want.size());
        for (std::size_t r = 0; r < rows.size(); ++r)
            for (std::size_t f = 0; f < rows[r].size(); ++f) {
                if (const auto* error = std::get_if<ValueError>(&rows[r][f])) cells += error->detail;
                else EXPECT_EQ(rows[r][f], want[r][f]);
            }
        std::size_t renamed = 0;
        for (std::size_t f = 0; f < damaged->fields().size(); ++f) {
            if (damaged->fields()[f].nameReplaced) ++renamed;
            else EXPECT_EQ(damaged->fields()[f].name, original->fields()[f].name);
        }
        EXPECT_EQ(renamed, c.told == Told::Name ? 1u : 0u);
        EXPECT_EQ(!cells.empty(), c.told == Told::Cell);
        EXPECT_THAT(c.told == Told::Cell ? cells : damage,
                    HasSubstr(c.told == Told::Cell ? c.finding : std::string(c.damaged) + ": " + c.finding));
        EXPECT_THAT(damage, Not(HasSubstr("missing")));
    }
    EXPECT_THAT(Table::open(damagedTable("CHAINCUT.db"))->damage(),
                HasSubstr("CHAINCUT.db: the header says 205 rows; 30 were found along the block chain, and 175 more "
                          "were recovered from blocks 6-34 outside it: all 205 are there\n"));
}

TEST_F(ChainRecovery, LinksThatSkipBlocksOrDisagreeAreMended) {
    ByteVector bytes = orders();
    putU16(bytes, ordersBlock(4), 20);  // block 4 skips blocks 5-19
    auto table = open(bytes);
    EXPECT_EQ(allRows(*table), ordersRows());
    EXPECT_THAT(table->damage(),
                AllOf(HasSubstr("block 4 (byte 8192) links to block 20, but block 20 links back to block 19; "
                                "blocks 5-19, linking from block 4 to block 20, were put back in between"),
                      HasSubstr("114 were found along the block chain, and 90 more were recovered from blocks 5-19")));

    bytes = orders();
    putU16(bytes, ordersBlock(10) + 2, 3);  // only block 10's previous link is wrong
    table = open(bytes);
    EXPECT_EQ(allRows(*table), ordersRows());
    EXPECT_THAT(table->damage(), AllOf(HasSubstr("block 10 (byte 20480) links back to block 3, but block 9 links to it"),
                                       HasSubstr("the header says 204 rows, and all 204 were found along the block chain")));
}

TEST_F(ChainRecovery, TheChainStartIsFoundWhenTheHeadersFirstBlockIsWrong) {
    ByteVector bytes = orders();
    putU16(bytes, 0x0E, 20);  // a block in the middle of the chain
    EXPECT_EQ(allRows(*open(bytes)), ordersRows());
    putU16(bytes, 0x0E, 0);  // as if the table had no rows
    auto table = open(bytes);
    EXPECT_EQ(allRows(*table), ordersRows());
    EXPECT_THAT(table->damage(), AllOf(HasSubstr("the header's first block (byte 14) is 0, as in a table without rows, "
                                                 "yet it counts 204 rows"),
                                       HasSubstr("block 1 (byte 2048) is the only block holding records")));

    // The header's first block on the free list.
    bytes = team();
    putU16(bytes, 0x0E, 4);
    table = open(bytes);
    EXPECT_EQ(allRows(*table), teamRows());
    EXPECT_THAT(table->damage(), HasSubstr("the header's first block, block 4 (byte 8192), is on the list of free blocks"));
}

TEST_F(ChainRecovery, BadRecordCountsAreTakenFromTheHeaderWhenOnlyOneBlockHasOne) {
    for (unsigned offset : {30000u, 0xFFFBu /* -5 */, 1000u}) {
        SCOPED_TRACE(offset);
        ByteVector bytes = orders();
        putU16(bytes, ordersBlock(3) + 4, offset);
        const auto table = open(bytes);
        EXPECT_EQ(allRows(*table), ordersRows());
        EXPECT_THAT(table->damage(), HasSubstr("the header's record count leaves 6 records for it, and those were read"));
    }
    // Two such blocks: the counts are not known, and the text says so.
    ByteVector bytes = orders();
    putU16(bytes, ordersBlock(3) + 4, 1840);   // covers 7 records, one of them stale
    putU16(bytes, ordersBlock(7) + 4, 30000);  // beyond the block: none read
    const auto table = open(bytes);
    EXPECT_EQ(table->rowCount(), 204 - 6 + 1);
    EXPECT_THAT(table->damage(),
                AllOf(HasSubstr("block 3 (byte 6144) gives a last-record offset of 1840, which is not a whole number of "
                                "263-byte records; the 7 records the offset covers were read, but the true count is not "
                                "known"),
                      HasSubstr("block 7 (byte 14336) gives a last-record offset of 30000, beyond its 2,048 bytes (room "
                                "for 7 records of 263 bytes); no rows were read from it, so rows may be missing"),
                      HasSubstr("199 were found along the block chain: 5 rows are missing")));
}

TEST_F(ChainRecovery, ABlockSizeCodeThatDoesNotFitTheFileGivesWayToTheOneThatDoes) {
    for (std::uint8_t code : {1, 4, 8}) {
        SCOPED_TRACE(static_cast<int>(code));
        ByteVector bytes = orders();
        bytes[0x05] = code;
        const auto table = open(bytes);
        EXPECT_EQ(allRows(*table), ordersRows());
        EXPECT_THAT(table->damage(), HasSubstr("so the table was read with 2 KiB blocks"));
    }
    // With the chain cut too, the size the chain holds together with longest.
    ByteVector bytes = orders();
    bytes[0x05] = 4;
    putU16(bytes, ordersBlock(5), 0);
    auto table = open(bytes);
    EXPECT_EQ(allRows(*table), ordersRows());
    EXPECT_THAT(table->damage(), HasSubstr("holds together for its first 5 blocks (against 1 with the header's size), "
                                           "so the table was read with 2 KiB blocks"));
    // A 3.0 table of 1 KiB blocks, its header not a whole number of blocks.
    paradoxwriter::Options v30;
    v30.version = 3;
    v30.blockKiB = 1;
    Rows areas;
    for (std::int64_t i = 1; i <= 239; ++i) areas.push_back({i, "area " + std::to_string(i)});
    testsupport::writeTable(dir_ / "AREA.DB", {{"Code", FieldType::Short}, {"Place", FieldType::Alpha, 100}}, areas, v30);
    bytes = readFile(dir_ / "AREA.DB");
    bytes[0x05] = 2;
    EXPECT_EQ(allRows(*open(bytes)), areas);
    // Records of 1,275 bytes in 2 KiB blocks, the code saying 1 KiB: a record
    // larger than the header's block size is no reason to give up the table.
    TableBytes wide({{FieldType::Alpha, 255, "A"}, {FieldType::Alpha, 255, "B"}, {FieldType::Alpha, 255, "C"},
                     {FieldType::Alpha, 255, "D"}, {FieldType::Alpha, 255, "E"}},
                    12, 2);
    for (int i = 0; i < 10; ++i) {
        ByteVector record;
        for (int f = 0; f < 5; ++f) {
            const ByteVector text = TableBytes::text("row " + std::to_string(i), 255);
            record.insert(record.end(), text.begin(), text.end());
        }
        wide.add(record);
    }
    bytes = wide.build();
    bytes[0x05] = 1;
    table = open(bytes);
    ASSERT_EQ(table->rowCount(), 10);
    EXPECT_EQ(table->row(9)[4], Value(std::string("row 9")));
    EXPECT_THAT(table->damage(), HasSubstr("so the table was read with 2 KiB blocks"));
}

TEST_F(ChainRecovery, FreeAndEmptyBlocksNeverGiveRows) {
    // TEAM.DB's free blocks 4-6 still hold old rows and link back to block 1.
    // With the free list lost and block 1's next link cut, block 2 is still the
    // only block holding records that links back to block 1.
    ByteVector bytes = team();
    putU16(bytes, 0x4D, 0);
    putU16(bytes, 2048, 0);
    auto table = open(bytes);
    EXPECT_EQ(allRows(*table), teamRows());
    EXPECT_THAT(table->damage(), AllOf(HasSubstr("block 2 (byte 4096) links back to block 1, so the chain was followed "
                                                 "on from there"),
                                       HasSubstr("blocks 4-6 are empty but neither in the block chain nor on the list "
                                                 "of free blocks")));

    // Every row deleted, all 13 blocks empty; a header that counts 12 rows gets none.
    paradoxwriter::Options full;
    full.rowsPerBlock = 10;
    testsupport::writeNumbered(dir_ / "DBLS.DB", 130, full);
    bytes = readFile(dir_ / "DBLS.DB");
    freeBlocks(bytes, 1);
    bytes[0x06] = 12;
    table = open(bytes);
    EXPECT_EQ(table->rowCount(), 0);
    EXPECT_THAT(table->damage(), HasSubstr("the header says 12 rows; 0 were found along the block chain: 12 rows are missing"));
}

TEST_F(ChainRecovery, BlocksOutsideTheChainComeBackOnlyWhenTheHeaderCountsTheirRows) {
    // Chain cut after block 5, and block 6's link back to it lost too: blocks
    // 6-34 are outside the chain and the free list, and their rows follow.
    ByteVector bytes = orders();
    putU16(bytes, ordersBlock(5), 0);
    putU16(bytes, ordersBlock(6) + 2, 0);
    auto table = open(bytes);
    EXPECT_EQ(allRows(*table), ordersRows());
    EXPECT_TRUE(table->rowsInDoubt());  // they happen to be in order, but nothing in the file says so
    EXPECT_THAT(table->damage(), AllOf(HasSubstr("blocks 6-34 lie outside the block chain and the list of free blocks, "
                                                 "yet list 174 records"),
                                       HasSubstr("30 were found along the block chain, and 174 more were recovered")));

    // A block the chain and the header's count leave out stays out.
    TableBytes numbered({{FieldType::Long, 4, "N"}});
    for (int i = 0; i < 600; ++i) numbered.add(TableBytes::integer(i, 4));  // blocks 1-3: 254, 254, 92
    bytes = numbered.build();
    putU16(bytes, numbered.blockStart(2), 0);
    putU16(bytes, 0x10, 2);
    bytes[0x06] = static_cast<std::uint8_t>(508 & 0xFF);
    bytes[0x07] = static_cast<std::uint8_t>(508 >> 8);
    table = open(bytes);
    EXPECT_EQ(table->rowCount(), 508);
    EXPECT_THAT(table->damage(), AllOf(HasSubstr("block 3 lies outside the block chain and the list of free blocks, "
                                                 "yet lists 92 records; the chain already holds the header's count, "
                                                 "so they were left out"),
                                       HasSubstr("the header says 508 rows, and all 508 were found")));
}

TEST_F(ChainRecovery, AHeaderCountOrFlagAloneIsReportedAndTheRowsStay) {
    ByteVector bytes = orders();
    bytes[0x06] = 203;
    auto table = open(bytes);
    EXPECT_EQ(allRows(*table), ordersRows());
    EXPECT_THAT(table->damage(), HasSubstr("the header says 203 rows; 204 were found along the block chain: 1 more than "
                                           "the header counts: the blocks' own counts were followed, and the header's "
                                           "count may be out of date"));

    bytes = orders();
    bytes[0x14] = 1;
    table = open(bytes);
    EXPECT_EQ(allRows(*table), ordersRows());
    EXPECT_THAT(table->damage(), AllOf(HasSubstr("all 204 were found"), HasSubstr("needing a rebuild")));
}

TEST_F(ChainRecovery, ScrambledTablesAreRecoveredLikeTheirPlainTwins) {
    paradoxwriter::Options scrambled;
    scrambled.keyFields = 1;
    scrambled.rowsPerBlock = 6;
    scrambled.scrambleKey = 0x1D7C;
    testsupport::writeTable(dir_ / "T.DB",
                            {{"OrderNo", FieldType::Long}, {"Notes", FieldType::Alpha, 255}, {"Amount", FieldType::Long}},
                            ordersRows(), scrambled);
    ByteVector bytes = readFile(dir_ / "T.DB");
    putU16(bytes, 0x0E, 0);
    const auto table = open(bytes);
    EXPECT_TRUE(table->encrypted());
    EXPECT_EQ(allRows(*table), ordersRows());
    EXPECT_THAT(table->damage(), AllOf(HasSubstr("block 1 (byte 2048) is the only block holding records that links "
                                                 "back to no block, so the chain was read from there"),
                                       HasSubstr("all 204 are there")));
}

TEST_F(ChainRecovery, ARowThatCannotBeReadFailsAloneAndTheRowsAfterItStayReadable) {
    // Chain 1 -> 3 -> 2; after opening, the file loses block 3 (its last).
    TableBytes numbered({{FieldType::Long, 4, "N"}});
    for (int i = 0; i < 600; ++i) numbered.add(TableBytes::integer(i, 4));
    ByteVector bytes = numbered.build();
    for (auto [block, next, previous] : {std::tuple{1u, 3u, 0u}, {3u, 2u, 1u}, {2u, 0u, 3u}}) {
        putU16(bytes, numbered.blockStart(static_cast<int>(block)), next);
        putU16(bytes, numbered.blockStart(static_cast<int>(block)) + 2, previous);
    }
    putU16(bytes, 0x10, 2);
    const auto table = open(bytes);
    ASSERT_EQ(table->damage(), "");
    std::filesystem::resize_file(dir_ / "T.DB", numbered.blockStart(3) + 100);
    EXPECT_EQ(table->row(253)[0], Value(std::int64_t{253}));
    for (int row : {254, 300, 345}) EXPECT_THROW(table->row(row), ReadError) << row;
    EXPECT_EQ(table->row(346)[0], Value(std::int64_t{254}));  // block 2, read after block 3's rows
    EXPECT_EQ(table->row(599)[0], Value(std::int64_t{507}));
}
