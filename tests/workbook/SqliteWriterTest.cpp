#include "workbook/SqliteWriter.h"

#include "support/Bitmaps.h"

#include <QDir>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <limits>

using driver::FieldType;
using driver::Value;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::ThrowsMessage;
using workbook::SqliteWriter;

namespace {

// Each value of a query's rows as "TYPE value" (a blob in hexadecimal), rows joined by "|", values by ",".
std::string query(const std::filesystem::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    std::string rows;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        rows = std::string("(failed: ") + sqlite3_errmsg(db) + ")";
    while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
        if (!rows.empty()) rows += "|";
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
            if (c > 0) rows += ",";
            const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(statement, c));
            const std::string value(reinterpret_cast<const char*>(bytes), std::size_t(sqlite3_column_bytes(statement, c)));
            switch (sqlite3_column_type(statement, c)) {
            case SQLITE_NULL: rows += "NULL"; break;
            case SQLITE_INTEGER: rows += "INTEGER " + value; break;
            case SQLITE_FLOAT: {
                char number[32];
                std::snprintf(number, sizeof number, "%.17g", sqlite3_column_double(statement, c));
                rows += std::string("REAL ") + number;
                break;
            }
            case SQLITE_TEXT: rows += "TEXT " + value; break;
            case SQLITE_BLOB:
                rows += "BLOB ";
                for (const unsigned char b : value) rows += "0123456789abcdef"[b >> 4], rows += "0123456789abcdef"[b & 15];
                break;
            }
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

class Sqlite : public testing::Test {
protected:
    std::filesystem::path path() const { return folder_.filePath(QStringLiteral("out.sqlite")).toStdString(); }
    QStringList leftInFolder() const {
        return QDir(folder_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    QTemporaryDir folder_;
};

TEST_F(Sqlite, EveryKindOfValueKeepsItsTypeAndTheColumnSaysWhichParadoxTypeItWas) {
    struct Case {
        FieldType type;
        Value value;
        const char* declared;
        std::string stored;  // the value read back
    };
    // A graphic whose prefix did not check out: the picture from its signature on.
    const std::vector<std::uint8_t> picture = test_images::bitmap(2, 1, 1);
    std::vector<std::uint8_t> prefixed(8 + picture.size(), 0xEE);
    std::copy(picture.begin(), picture.end(), prefixed.begin() + 8);
    std::string pictureHex;
    for (const std::uint8_t byte : picture) pictureHex += "0123456789abcdef"[byte >> 4], pictureHex += "0123456789abcdef"[byte & 15];
    const std::vector<Case> cases = {
        {FieldType::Alpha, std::string("it's \"01067\"; --"), "ALPHA TEXT", "TEXT it's \"01067\"; --"},
        {FieldType::Memo, std::string("a\0b\nc", 5), "MEMO TEXT", "TEXT " + std::string("a\0b\nc", 5)},
        {FieldType::Short, std::int64_t{-32767}, "SHORT INTEGER", "INTEGER -32767"},
        {FieldType::AutoIncrement, std::int64_t{2147483647}, "AUTOINC INTEGER", "INTEGER 2147483647"},
        {FieldType::Logical, true, "LOGICAL INTEGER", "INTEGER 1"},
        {FieldType::Number, 0.1 + 0.2, "NUMBER REAL", "REAL 0.30000000000000004"},
        {FieldType::Number, std::numeric_limits<double>::quiet_NaN(), "NUMBER REAL", "TEXT NaN"},
        {FieldType::Money, driver::Money{-1234.5}, "MONEY REAL", "REAL -1234.5"},
        {FieldType::Bcd, driver::Decimal{"12.50"}, "BCD BLOB", "REAL 12.5"},
        {FieldType::Bcd, driver::Decimal{"0.12345678901234567890"}, "BCD BLOB", "TEXT 0.12345678901234567890"},
        {FieldType::Date, driver::Date{-1, 12, 31}, "DATE TEXT", "TEXT -0001-12-31"},
        {FieldType::Time, driver::Time{(13 * 3600 + 45 * 60 + 30) * 1000 + 250}, "TIME TEXT", "TEXT 13:45:30.250"},
        {FieldType::Timestamp, driver::Timestamp{{2021, 8, 31}, driver::Time{11 * 3600 * 1000}}, "TIMESTAMP TEXT",
         "TEXT 2021-08-31 11:00:00"},
        {FieldType::Graphic, driver::Bytes{FieldType::Graphic, {0x42, 0x4D, 0x00, 0xFF}}, "GRAPHIC BLOB", "BLOB 424d00ff"},
        {FieldType::Graphic, driver::Bytes{FieldType::Graphic, prefixed}, "GRAPHIC BLOB", "BLOB " + pictureHex},
        {FieldType::Bytes, driver::Bytes{FieldType::Bytes, {}}, "BYTES BLOB", "BLOB "},
        {FieldType::Ole, driver::ValueError{"no .MB"}, "OLE BLOB", "TEXT (unreadable: no .MB)"},
        {FieldType::Long, driver::Null{}, "LONG INTEGER", "NULL"},
    };
    SqliteWriter db(path());
    std::vector<driver::Field> fields;
    for (std::size_t i = 0; i < cases.size(); ++i) fields.push_back({"F" + std::to_string(i + 1), cases[i].type, 10});
    db.setColumns(fields);
    for (std::size_t i = 0; i < cases.size(); ++i) db.setCell(2, int(i) + 1, cases[i].value);
    db.setCell(4, 1, std::string("row 3; row 2 skipped"));
    db.finish();
    EXPECT_TRUE(db.report().rowsFromData);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string column = "F" + std::to_string(i + 1);
        EXPECT_EQ(query(path(), "SELECT \"" + column + "\" FROM out WHERE rowid = 1"), cases[i].stored) << column;
        EXPECT_EQ(query(path(), "SELECT type FROM pragma_table_info('out') WHERE name = '" + column + "'"),
                  std::string("TEXT ") + cases[i].declared);
    }
    EXPECT_EQ(query(path(), "SELECT rowid, F1, F3 FROM out WHERE rowid > 1"), "INTEGER 2,NULL,NULL|INTEGER 3,TEXT row 3; row 2 skipped,NULL");
    EXPECT_EQ(query(path(), "SELECT date(F11), time(F12), datetime(F13) FROM out WHERE rowid = 1"),
              "TEXT -0001-12-31,TEXT 13:45:30,TEXT 2021-08-31 11:00:00");  // SQLite's functions read them
}

TEST_F(Sqlite, NamesAreQuotedNeverRunAndClashesAreNumberedAndTold) {
    SqliteWriter db(path());
    const std::vector<std::string> tables = {"x\"; DROP TABLE \"T\"; --", "T", "t", "", "SQLITE_master", "select"};
    std::vector<std::vector<std::string>> notices;
    for (const std::string& table : tables) {
        db.startTable({table, {}});
        db.setText(1, 1, "Name");
        db.setText(1, 2, "NAME");
        db.setText(1, 3, "a \"b\"");
        db.setCell(2, 3, std::int64_t{7});
        notices.push_back(db.report().notices);
        db.setCell(3, 1, std::string(table));  // written: the report waits for the rows
    }
    db.finish();
    EXPECT_EQ(query(path(), "SELECT name FROM sqlite_master ORDER BY rowid"),
              "TEXT x\"; DROP TABLE \"T\"; --|TEXT T|TEXT t-2|TEXT table|TEXT _SQLITE_master|TEXT select");
    EXPECT_EQ(query(path(), "SELECT \"Name\", \"NAME-2\", \"a \"\"b\"\"\" FROM \"t-2\""), "NULL,NULL,INTEGER 7|TEXT t,NULL,NULL");
    const std::string column = "The column \"NAME\" is named \"NAME-2\" in the database: another column of the table "
                               "has that name, letter case aside.";
    EXPECT_THAT(notices[0], ElementsAre(column));
    EXPECT_THAT(notices[2], ElementsAre("The table is named \"t-2\" in the database: another table there has the name "
                                        "\"t\", letter case aside.",
                                        column));
    EXPECT_THAT(notices[3][0], HasSubstr("named \"table\" in the database: the table has no name."));
    EXPECT_THAT(notices[4][0], HasSubstr("names beginning with \"sqlite_\" are SQLite's own."));
}

TEST_F(Sqlite, AKeyBecomesThePrimaryKeyUnlessTheRowsBreakIt) {
    SqliteWriter db(path());
    const auto write = [&](const std::string& name, std::int64_t rows, std::int64_t repeated) {
        db.startTable({name, {2, 1}});
        db.setColumns({{"A", FieldType::Alpha, 5}, {"B", FieldType::Long, 4}, {"C", FieldType::Alpha, 5}});
        for (std::int64_t r = 2; r < rows + 2; ++r) {
            db.setCell(r, 1, std::string("k"));
            db.setCell(r, 2, r == repeated ? r - 1 : r);
            db.setCell(r, 3, std::to_string(r));
        }
        return db.report().notices;
    };
    EXPECT_THAT(write("Sound", 3, 0), ElementsAre());
    // Past the first batch of rows, so the table made again takes inserted rows along.
    EXPECT_THAT(write("Broken", 20'000, 15'000),
                ElementsAre("The table's key (B, A) is not its primary key in the database: row 14999 repeats the key "
                            "of a row before it."));
    db.finish();
    EXPECT_EQ(query(path(), "SELECT group_concat(name) FROM (SELECT name FROM pragma_table_info('Sound') WHERE pk > 0 ORDER BY pk)"),
              "TEXT B,A");
    EXPECT_EQ(query(path(), "SELECT count(*) FROM pragma_table_info('Broken') WHERE pk > 0"), "INTEGER 0");
    EXPECT_EQ(query(path(), "SELECT count(*), sum(rowid = CAST(C AS INTEGER) - 1) FROM Broken"), "INTEGER 20000,INTEGER 20000");
    EXPECT_EQ(query(path(), "SELECT name FROM sqlite_master"), "TEXT Sound|TEXT sqlite_autoindex_Sound_1|TEXT Broken");
}

TEST_F(Sqlite, NothingIsLeftOfAnUnfinishedDatabaseAndAnExistingOneIsOnlyReplacedWhenAsked) {
    {
        SqliteWriter db(path());
        for (std::int64_t r = 2; r < 100'000; ++r) db.setText(r, 1, "text " + std::to_string(r));
        EXPECT_FALSE(std::filesystem::exists(path()));
        EXPECT_EQ(leftInFolder().size(), 1);  // no journal beside it
    }
    EXPECT_TRUE(leftInFolder().isEmpty());
    SqliteWriter(path()).finish();
    EXPECT_THAT([&] { SqliteWriter again(path()); },
                ThrowsMessage<std::runtime_error>("Could not write the database " + path().string() +
                                                  ": the file exists, and a database is only replaced when asked."));
    SqliteWriter replacing(path(), {.replace = true});
    replacing.setText(2, 1, "new");
    replacing.finish();
    EXPECT_EQ(query(path(), "SELECT * FROM out"), "TEXT new");
    EXPECT_EQ(leftInFolder(), QStringList{"out.sqlite"});
    EXPECT_THAT([&] { replacing.setText(3, 1, "late"); }, ThrowsMessage<std::runtime_error>(HasSubstr("is finished")));
}

}  // namespace
