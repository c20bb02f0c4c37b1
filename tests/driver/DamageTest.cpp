// Damaged copies of a table written with tools/paradoxwriter, one kind of
// damage each: the reader gives the sound table's names and values (and says
// what it mended), or says what is in doubt, and never gives another name or
// value without a word.

#include "TableBytes.h"
#include "driver/Table.h"
#include "paradoxwriter/Writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>

using namespace driver;
using driver::test::ByteVector;
using driver::test::putU16;
using ::testing::HasSubstr;

namespace {

// Id (long), Name (alpha 20), Amount (number), Notes (memo, 10-byte leader):
// 52-byte records, 39 to a 2 KiB block; 200 rows in blocks 1-6 after a
// 2,048-byte header. Notes: empty, short (in the record), 60 bytes (in a
// sub-allocated block of the .MB), and one of 3,000 bytes (a block of its own).
constexpr std::size_t kRecord = 52, kPerBlock = 39, kRows = 200, kMemoAt = 32;
std::size_t block(int n) { return 2048 * static_cast<std::size_t>(n); }
std::size_t record(std::size_t row) { return block(int(row / kPerBlock) + 1) + 6 + row % kPerBlock * kRecord; }

struct Files {
    ByteVector db, mb;
};

struct Read {
    std::vector<Field> fields;
    std::vector<std::vector<Value>> rows;
};

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vellomar-damage-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::filesystem::path operator/(const char* name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

ByteVector fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return ByteVector((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const Files& sound() {
    static const Files files = [] {
        TempDir dir;
        paradoxwriter::Writer w(dir / "T.DB", {{"Id", FieldType::Long}, {"Name", FieldType::Alpha, 20},
                                               {"Amount", FieldType::Number}, {"Notes", FieldType::Memo, 10}});
        for (std::size_t i = 0; i < kRows; ++i) {
            std::string notes = i % 4 == 1 ? "short" : i % 4 >= 2 ? "note " + std::to_string(i + 1000) + std::string(51, '.') : "";
            if (i == 7) notes.assign(3000, 'x');
            w.addRow({std::int64_t(i), "name " + std::to_string(i), 0.5 * double(i), notes.empty() ? Value(Null{}) : Value(notes)});
        }
        w.finish();
        return Files{fileBytes(dir / "T.DB"), fileBytes(dir / "T.MB")};
    }();
    return files;
}

std::uint32_t u32(const ByteVector& bytes, std::size_t at) {
    std::uint32_t value;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;  // little-endian host
}

}  // namespace

TEST(Damage, EachKindIsMendedFromTheFileOrTold) {
    enum class Told { Mended, RowsInDoubt, Cell, Names };
    struct Case {
        const char* kind;
        std::function<void(Files&)> damage;
        Told told;
        const char* finding;
    };
    const auto swapBlocks = [](ByteVector& db, int a, int b) {
        std::swap_ranges(db.begin() + long(block(a)), db.begin() + long(block(a + 1)), db.begin() + long(block(b)));
    };
    const auto nameAt = [](const ByteVector& db, const char* name) {
        return std::size_t(std::search(db.begin(), db.begin() + 2048, name, name + std::strlen(name) + 1) - db.begin());
    };
    const auto slotEntry = [](const Files& f, std::size_t row) {  // the .MB slot of row's memo
        const std::uint32_t reference = u32(f.db, record(row) + kMemoAt + 10);
        return (reference & 0xFFFFFF00u) + 12 + 5 * (reference & 0xFF);
    };
    const Case cases[] = {
        {"header size one short", [](Files& f) { putU16(f.db, 2, 2047); }, Told::Mended,
         "the header gives its own size as 2,047 bytes (byte 2), but the file holds the 6 blocks of 2 KiB the header "
         "counts from byte 2048 on"},
        {"header size one over", [](Files& f) { putU16(f.db, 2, 2049); }, Told::Mended, "the blocks were read from byte 2048"},
        {"header size impossible", [](Files& f) { f.db[3] = 0; }, Told::Mended,
         "the header gives its own size as 0 bytes (byte 2), too small for its field names; the rest of the file is "
         "the 6 blocks it counts from byte 2048 on"},
        {"chain cut", [](Files& f) { putU16(f.db, block(3), 0); }, Told::Mended, "so the chain was followed on from there"},
        {"first block set to the last", [](Files& f) { putU16(f.db, 0x0E, 6); }, Told::Mended,
         "following the links back leads to block 1, where the chain starts"},
        {"a last-record offset not whole", [](Files& f) { putU16(f.db, block(3) + 4, (kPerBlock - 1) * kRecord + 7); },
         Told::Mended, "not a whole number of 52-byte records; the header's record count leaves 39 records for it"},
        {"bytes appended", [](Files& f) { f.db.resize(f.db.size() + 100, 0x55); }, Told::Mended,
         "the 12,388 bytes after the header make 7 such blocks"},
        {"block copied over another", [](Files& f) { std::copy_n(f.db.begin() + long(block(2)), 2048, f.db.begin() + long(block(4))); },
         Told::RowsInDoubt, "39 rows are still missing, after table row 117"},
        {"blocks swapped", [&](Files& f) { swapBlocks(f.db, 2, 4); }, Told::RowsInDoubt,
         "table rows 40-200 may not be in their places"},
        {"neighbouring blocks swapped", [&](Files& f) { swapBlocks(f.db, 3, 4); }, Told::RowsInDoubt,
         "block 3 (byte 6144) and block 4 (byte 8192) each hold the block header that the other's neighbours link to"},
        {"a block's count one short", [](Files& f) { putU16(f.db, block(2) + 4, (kPerBlock - 2) * kRecord); },
         Told::RowsInDoubt, "1 row is missing, perhaps after table row 77, where a block holds a record past its last one"},
        {"an impossible row count", [](Files& f) { putU16(f.db, 8, 0x7FFF); }, Told::RowsInDoubt,
         "(byte 6), more than its 6 blocks can hold (234): an impossible count"},
        {"a row count one short", [](Files& f) { f.db[6] = kRows - 1; }, Told::RowsInDoubt,
         "1 more than the header counts: the blocks' own counts were followed"},
        {"cut inside the last block", [](Files& f) { f.db.resize(block(6) + 100); }, Told::RowsInDoubt,
         "the file is cut short"},
        {"a name's NUL lost", [&](Files& f) { f.db[nameAt(f.db, "Name") + 4] = 'X'; }, Told::Names,
         "are 3 for 4 fields, so which name is whose is not known; the fields are called \"Field 1\" to \"Field 4\""},
        {"a name of a control character", [&](Files& f) { f.db[nameAt(f.db, "Name")] = 0x01; }, Told::Names,
         "holds control characters, which may be where a NUL was lost or added, so which name is whose is not known"},
        {"a slot pointing into its block's header", [&](Files& f) { f.mb[slotEntry(f, 2)] = 0; }, Told::Cell,
         "inside the block's header and slots"},
        {"a memo's length cut to fit its leader", [](Files& f) { f.db[record(2) + kMemoAt + 14] = 5; }, Told::Cell,
         "short enough for its leader, but the rest of the field is not blank"},
        {"a memo pointing at another's slot", [](Files& f) { --f.db[record(2) + kMemoAt + 10]; }, Told::Cell,
         "does not begin with the memo's first 10 bytes"},
    };

    TempDir dir;
    const auto read = [&](const Files& files) {
        test::writeFile(dir / "T.DB", files.db);
        test::writeFile(dir / "T.MB", files.mb);
        auto table = Table::open(dir / "T.DB");
        Read got{table->fields(), {}};
        for (std::int64_t i = 0; i < table->rowCount(); ++i) got.rows.push_back(table->row(i));
        return std::pair{std::move(table), got};
    };
    const Read original = read(sound()).second;
    ASSERT_EQ(original.rows.size(), kRows);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        Files files = sound();
        c.damage(files);
        const auto [table, got] = read(files);
        const std::string damage = table->damage();
        std::string cells;
        for (const auto& row : got.rows)
            for (const Value& v : row)
                if (const auto* error = std::get_if<ValueError>(&v)) cells += error->message + ": " + error->detail + "\n";
        EXPECT_THAT(c.told == Told::Cell ? cells : damage, HasSubstr(c.finding)) << damage;
        EXPECT_EQ(table->rowsInDoubt(), c.told == Told::RowsInDoubt) << damage;
        EXPECT_EQ(std::any_of(got.fields.begin(), got.fields.end(), [](const Field& f) { return f.nameReplaced; }),
                  c.told == Told::Names);
        // What is not told is the sound table's.
        ASSERT_EQ(got.fields.size(), original.fields.size());
        for (std::size_t f = 0; f < got.fields.size(); ++f) {
            if (!got.fields[f].nameReplaced) {
                EXPECT_EQ(got.fields[f].name, original.fields[f].name);
            }
        }
        if (table->rowsInDoubt()) continue;
        ASSERT_EQ(got.rows.size(), kRows);
        for (std::size_t r = 0; r < kRows; ++r)
            for (std::size_t f = 0; f < got.rows[r].size(); ++f) {
                if (!std::holds_alternative<ValueError>(got.rows[r][f])) {
                    EXPECT_EQ(got.rows[r][f], original.rows[r][f]) << r;
                }
            }
    }
}
