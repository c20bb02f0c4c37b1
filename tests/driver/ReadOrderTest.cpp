// Rows read in every order a caller may use (forwards, backwards, at random,
// from several tables or threads in turns) come back the same: the chunks of
// blocks each thread keeps must never hand out another table's or another
// place's bytes.

#include "TableBytes.h"
#include "driver/Engine.h"
#include "driver/Table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <thread>
#include <tuple>

using namespace driver;
using namespace driver::test;

namespace {

class ReadOrder : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "vellomar-order-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path write(const ByteVector& bytes, const std::string& name) {
        const auto path = dir_ / name;
        writeFile(path, bytes);
        return path;
    }

    // Long N, alpha Name (NULL on every 3rd row), short (NULL on every 5th),
    // 1 KiB blocks of 33 records: `rows` rows of table `tag`.
    static TableBytes numbered(int rows, const std::string& tag) {
        TableBytes table({{FieldType::Long, 4, "N"}, {FieldType::Alpha, 24, "Name"}, {FieldType::Short, 2, "S"}});
        for (int i = 0; i < rows; ++i) table.add(record(i, tag));
        return table;
    }
    static ByteVector record(int i, const std::string& tag) {
        ByteVector record = TableBytes::integer(i, 4);
        const ByteVector name = TableBytes::text(i % 3 == 0 ? "" : tag + " row " + std::to_string(i), 24);
        record.insert(record.end(), name.begin(), name.end());
        const ByteVector s = i % 5 == 0 ? ByteVector(2, 0) : TableBytes::integer(i % 1000 - 500, 2);
        record.insert(record.end(), s.begin(), s.end());
        return record;
    }
    static std::vector<Value> expected(int i, const std::string& tag) {
        return {std::int64_t{i}, i % 3 == 0 ? Value(Null{}) : Value(tag + " row " + std::to_string(i)),
                i % 5 == 0 ? Value(Null{}) : Value(std::int64_t{i % 1000 - 500})};
    }

    std::filesystem::path dir_;
};

}  // namespace

TEST_F(ReadOrder, ForwardsBackwardsAndAtRandomThroughOneReusedRow) {
    // 200 blocks of 1 KiB: more than one 64 KiB read.
    const TableBytes bytes = numbered(6600, "a");
    ASSERT_EQ(bytes.recordsPerBlock(), 33);
    const auto table = Table::open(write(bytes.build(), "A.DB"));
    ASSERT_EQ(table->rowCount(), 6600);
    std::vector<Value> row;
    for (int i = 0; i < 6600; ++i) {
        table->readRow(i, row);
        ASSERT_EQ(row, expected(i, "a")) << i;
    }
    for (int i = 6599; i >= 0; --i) {
        table->readRow(i, row);
        ASSERT_EQ(row, expected(i, "a")) << i;
    }
    std::mt19937 random(11);
    for (int k = 0; k < 3000; ++k) {
        const int i = static_cast<int>(random() % 6600);
        table->readRow(i, row);
        ASSERT_EQ(row, expected(i, "a")) << i;
        table->readRow(i, {2, 1}, row);
        ASSERT_EQ(row, (std::vector<Value>{expected(i, "a")[2], expected(i, "a")[1]})) << i;
    }
}

TEST_F(ReadOrder, ChainThatSkipsAroundTheFileIsFollowed) {
    // Chain 1 -> 3 -> 2 -> 4 -> 5 ...: blocks 3 and 2 swap places in row order.
    ByteVector bytes = numbered(6600, "c").build();
    const TableBytes layout = numbered(0, "c");
    for (auto [block, next, previous] : {std::tuple{1, 3, 0}, {3, 2, 1}, {2, 4, 3}, {4, 5, 2}}) {
        putU16(bytes, layout.blockStart(block), static_cast<unsigned>(next));
        putU16(bytes, layout.blockStart(block) + 2, static_cast<unsigned>(previous));
    }
    const auto table = Table::open(write(bytes, "C.DB"));
    ASSERT_EQ(table->rowCount(), 6600);
    EXPECT_EQ(table->damage(), "");
    std::vector<Value> row;
    for (int i = 0; i < 6600; ++i) {
        const int stored = i < 33 ? i : i < 66 ? i + 33 : i < 99 ? i - 33 : i;
        table->readRow(i, row);
        ASSERT_EQ(row, expected(stored, "c")) << i;
    }
}

TEST_F(ReadOrder, LongChainsBackwardsAndScatteredAreFollowed) {
    // 3000 blocks of 1 KiB (3 MiB, more than the walk maps at a time).
    const int blocks = 3000;
    const TableBytes table = numbered(blocks * 33, "b");
    const ByteVector plain = table.build();
    const auto check = [&](const ByteVector& bytes, const std::vector<int>& order, const std::string& name) {
        const auto opened = Table::open(write(bytes, name));
        ASSERT_EQ(opened->rowCount(), blocks * 33) << name;
        EXPECT_EQ(opened->damage(), "") << name;
        std::vector<Value> row;
        for (int k = 0; k < blocks; ++k)
            for (int r : {0, 32}) {
                opened->readRow(k * 33 + r, row);
                ASSERT_EQ(row, expected((order[static_cast<std::size_t>(k)] - 1) * 33 + r, "b")) << name << " " << k;
            }
    };
    // The chain as `order` (block numbers) says: first and last block in the
    // header at 0x0E and 0x10, each block's next and previous block.
    const auto chained = [&](const std::vector<int>& order) {
        ByteVector bytes = plain;
        putU16(bytes, 0x0E, static_cast<unsigned>(order.front()));
        putU16(bytes, 0x10, static_cast<unsigned>(order.back()));
        for (std::size_t k = 0; k < order.size(); ++k) {
            putU16(bytes, table.blockStart(order[k]), k + 1 < order.size() ? static_cast<unsigned>(order[k + 1]) : 0);
            putU16(bytes, table.blockStart(order[k]) + 2, k > 0 ? static_cast<unsigned>(order[k - 1]) : 0);
        }
        return bytes;
    };
    std::vector<int> backwards;
    for (int b = blocks; b >= 1; --b) backwards.push_back(b);
    check(chained(backwards), backwards, "BACK.DB");
    std::vector<int> scattered;
    for (int k = 0; k < blocks; ++k) scattered.push_back(k * 1637 % blocks + 1);  // 1637 is prime to 3000
    check(chained(scattered), scattered, "SCATTER.DB");
}

TEST_F(ReadOrder, TablesReadInTurnsOnOneThreadKeepTheirOwnRows) {
    // More tables than a thread keeps chunks for, each read a row at a time in turn.
    std::vector<std::unique_ptr<Table>> tables;
    const std::vector<std::string> tags = {"p", "q", "r", "s", "t", "u"};
    for (const std::string& tag : tags) tables.push_back(Table::open(write(numbered(3000, tag).build(), tag + ".DB")));
    std::vector<Value> row;
    for (int i = 0; i < 3000; i += 7)
        for (std::size_t t = 0; t < tables.size(); ++t) {
            tables[t]->readRow(i, row);
            ASSERT_EQ(row, expected(i, tags[t])) << tags[t] << " " << i;
            tables[t]->readRow(2999 - i, row);
            ASSERT_EQ(row, expected(2999 - i, tags[t])) << tags[t] << " " << 2999 - i;
        }
}

TEST_F(ReadOrder, ATableOpenedAfterAnotherIsClosedReadsItsOwnRows) {
    // The new table may well get the old one's address.
    const auto first = write(numbered(100, "old").build(), "OLD.DB");
    const auto second = write(numbered(100, "new").build(), "NEW.DB");
    for (int round = 0; round < 3; ++round) {
        Table::open(first)->row(1);
        EXPECT_EQ(Table::open(second)->row(1), expected(1, "new"));
        EXPECT_EQ(Table::open(first)->row(2), expected(2, "old"));
    }
}

TEST_F(ReadOrder, ATableKeptUntilTheProgramEndsClosesAfterTheThreadsCache) {
    // Closed at exit, after this thread's chunks are gone: a crash or a double
    // free there fails the whole test program.
    static std::unique_ptr<Table> kept;
    kept = Table::open(write(numbered(100, "k").build(), "K.DB"));
    EXPECT_EQ(kept->row(5), expected(5, "k"));
}

TEST_F(ReadOrder, ThreadsReadingOneTableAtOnceEachGetTheirRows) {
    const auto table = Table::open(write(numbered(6600, "m").build(), "M.DB"));
    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            std::vector<Value> row;
            std::mt19937 random(static_cast<unsigned>(t));
            for (int k = 0; k < 6600; ++k) {
                const int i = t % 2 == 0 ? (t == 0 ? k : 6599 - k) : static_cast<int>(random() % 6600);
                table->readRow(i, row);
                if (row != expected(i, "m")) ++failures[static_cast<std::size_t>(t)];
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST_F(ReadOrder, ResultSetWithSomeColumnsRefillsItsRow) {
    write(numbered(200, "e").build(), "E.DB");
    const auto result = executeQuery(dir_, "SELECT S, N FROM E");
    std::vector<Value> row;
    for (int i = 0; i < 200; ++i) {
        result->readRow(i, row);
        ASSERT_EQ(row, (std::vector<Value>{expected(i, "e")[2], expected(i, "e")[0]})) << i;
    }
    EXPECT_THROW(result->readRow(200, row), ReadError);
}
