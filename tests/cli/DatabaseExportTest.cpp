// Many tables into one output: a SQLite database and one workbook, as a
// script sees it, and every corpus table read back from one database.

#include "../driver/CorpusPaths.h"
#include "SampleTables.h"
#include "cli/CommandLine.h"
#include "driver/Picture.h"
#include "driver/Table.h"
#include "SpreadsheetReadBack.h"
#include "paradoxwriter/Writer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

struct Outcome {
    int status;
    std::string err;
};

Outcome run(const std::vector<std::string>& args) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* err = ::open_memstream(&text, &size);
    const int status = cli::runCommandLine(args, stdout, err);
    std::fclose(err);
    Outcome result{status, std::string(text, size)};
    std::free(text);
    return result;
}

// A database opened for reading, and one-value queries.
class Database {
public:
    explicit Database(const std::string& file) { sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr); }
    ~Database() { sqlite3_close(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    sqlite3* get() const { return db_; }
    // The query's values, "," between them, "|" between rows.
    std::string text(const std::string& sql) const {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return sqlite3_errmsg(db_);
        std::string rows;
        while (sqlite3_step(statement) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(statement); ++c) {
                if (!rows.empty()) rows += c == 0 ? "|" : ",";
                const auto* value = sqlite3_column_text(statement, c);
                rows += value != nullptr ? reinterpret_cast<const char*>(value) : "NULL";
            }
        sqlite3_finalize(statement);
        return rows;
    }

private:
    sqlite3* db_ = nullptr;
};

class DatabaseExport : public testing::Test {
protected:
    void SetUp() override { samples::writeSampleTables(s(samples)); }
    std::string s(const QString& text) { return text.toStdString(); }
    QTemporaryDir tmp;
    const QString samples = tmp.path() + "/Samples";
};

}  // namespace

TEST_F(DatabaseExport, AFolderGoesIntoOneDatabaseWithItsKeysAndNamesTold) {
    // A keyed table: the header's file type and key field count changed by hand.
    const std::string keyed = s(samples + "/Archive/parts.db");
    {
        paradoxwriter::Writer w(keyed, {{"Part", driver::FieldType::Alpha, 10}, {"Bin", driver::FieldType::Short},
                                        {"Count", driver::FieldType::Long}});
        for (std::int64_t i = 1; i <= 30; ++i) w.addRow({std::string("P") + char('A' + i % 3), i % 10, i});
        w.finish();
    }
    {
        std::FILE* file = std::fopen(keyed.c_str(), "r+b");
        ASSERT_NE(file, nullptr);
        const unsigned char keyedType = 0, twoKeyFields[2] = {2, 0};
        std::fseek(file, 0x04, SEEK_SET);
        std::fwrite(&keyedType, 1, 1, file);
        std::fseek(file, 0x23, SEEK_SET);
        std::fwrite(twoKeyFields, 1, 2, file);
        std::fclose(file);
    }
    const std::string database = s(tmp.path() + "/all.sqlite");
    const Outcome r = run({"export", s(samples), "-o", database});
    EXPECT_EQ(r.status, cli::kWhole) << r.err;
    EXPECT_EQ(r.err, "CUSTOMER: 300 rows -> " + database + "\nEMPLOYEE: 60 rows -> " + database +
                         "\nORDERS: 2,000 rows -> " + database + "\nPARTS (" + s(samples) + "/PARTS.DB): 250 rows -> " +
                         database + "\nORDERS1999: 365 rows -> " + database + "\nPARTS (" + keyed +
                         "): 30 rows -> " + database +
                         "\nDone.\n\nThe table is named \"PARTS-2\" in the database: another table there has the name "
                         "\"PARTS\", letter case aside.\n");
    const Database db(database);
    EXPECT_EQ(db.text("SELECT m.name, (SELECT count(*) FROM pragma_table_info(m.name) WHERE pk > 0) FROM sqlite_master m "
                      "WHERE type = 'table'"),
              "CUSTOMER,0|EMPLOYEE,0|ORDERS,0|PARTS,0|ORDERS1999,0|PARTS-2,2");
    EXPECT_EQ(db.text("SELECT \"Order No\", \"Entered\", \"Paid\" FROM ORDERS WHERE rowid = 1"),
              "20001,2003-08-05 12:13:46.897,1");

    // An existing database is only replaced when asked; with a key field left out, no key.
    const Outcome refused = run({"export", keyed, "-o", database, "--fields", "Part,Count"});
    EXPECT_EQ(refused.status, cli::kNothing);
    EXPECT_EQ(refused.err, "vellomar: " + database + ": the file exists; give --replace to replace the database\n");
    const Outcome one = run({"export", keyed, "-o", database, "--fields", "Part,Count", "--replace", "-q"});
    EXPECT_EQ(one.status, cli::kWhole) << one.err;
    EXPECT_EQ(Database(database).text("SELECT sql FROM sqlite_master"),
              "CREATE TABLE \"PARTS\" (\"Part\" ALPHA TEXT, \"Count\" LONG INTEGER)");

    // --format sqlite into a folder: a database per table.
    ASSERT_EQ(run({"export", s(samples), "--table", "employee", "--format", "sqlite", "-o", s(tmp.path() + "/dbs/"), "-q"})
                  .status,
              cli::kWhole);
    EXPECT_EQ(Database(s(tmp.path() + "/dbs/EMPLOYEE.sqlite")).text("SELECT count(*) FROM EMPLOYEE"), "60");
    EXPECT_EQ(run({"export", s(samples), "-o", s(tmp.path() + "/all.csv")}).status, cli::kNothing);  // one CSV, one table

    // The folder into one workbook: a sheet per table, named after it, each as the table's own workbook.
    const QString book = tmp.path() + "/all.xlsx";
    ASSERT_EQ(run({"export", s(samples), "-o", s(book), "-q"}).status, cli::kWhole);
    const auto sheets = spreadsheet_test::readWorkbook(book);
    const char* names[] = {"CUSTOMER", "EMPLOYEE", "ORDERS", "PARTS", "ORDERS1999", "PARTS-2"};
    const std::string files[] = {"CUSTOMER.DB", "EMPLOYEE.DB", "ORDERS.DB", "PARTS.DB", "Archive/orders1999.db", "Archive/parts.db"};
    ASSERT_EQ(sheets.size(), std::size(names));
    for (std::size_t t = 0; t < sheets.size(); ++t) {
        const QString own = tmp.path() + "/own.xlsx";
        ASSERT_EQ(run({"export", s(samples) + "/" + files[t], "-o", s(own), "-q"}).status, cli::kWhole);
        const auto alone = spreadsheet_test::readWorkbook(own);
        ASSERT_EQ(alone.size(), 1u);
        EXPECT_EQ(sheets[t].name, names[t]);
        EXPECT_TRUE(sheets[t].cells == alone[0].cells && sheets[t].widths == alone[0].widths &&
                    sheets[t].frozen == alone[0].frozen)
            << names[t];
    }
}

// Every value the reader reads, as the database holds it: blobs byte for
// byte, numbers as the same double, every keyed table with its key.
TEST_F(DatabaseExport, EveryCorpusTableReadsBackValueForValue) {
    VELLOMAR_NEEDS_CORPUS();
    std::vector<std::string> args = {"export"};
    for (const std::string& table : driver::test::corpusTables()) args.push_back(driver::test::corpus(table).string());
    const std::string database = s(tmp.path() + "/corpus.sqlite");
    args.insert(args.end(), {"-o", database, "-q"});
    const Outcome r = run(args);
    ASSERT_NE(r.status, cli::kNothing) << r.err;

    const Database db(database);
    const std::string tables = "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid";
    std::vector<std::string> names;
    for (std::string list = db.text(tables) + "|"; !list.empty(); list.erase(0, list.find('|') + 1))
        names.push_back(list.substr(0, list.find('|')));
    ASSERT_EQ(names.size(), args.size() - 4);  // in the order given
    std::int64_t values = 0, keyed = 0;
    for (std::size_t t = 0; t < names.size(); ++t) {
        const auto table = driver::Table::open(args[t + 1]);
        SCOPED_TRACE(args[t + 1]);
        const std::string name = "\"" + names[t] + "\"";
        EXPECT_EQ(db.text("SELECT count(*) FROM pragma_table_info('" + names[t] + "') WHERE pk > 0"),
                  std::to_string(table->keyFields()));
        keyed += table->keyFields() > 0;
        sqlite3_stmt* statement = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db.get(), ("SELECT * FROM " + name + " ORDER BY rowid").c_str(), -1, &statement,
                                     nullptr),
                  SQLITE_OK);
        for (std::int64_t row = 0; row < table->rowCount(); ++row) {
            ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW) << "row " << row;
            const std::vector<driver::Value> expected = table->row(row);
            for (std::size_t c = 0; c < expected.size(); ++c, ++values) {
                const int column = int(c);
                const int type = sqlite3_column_type(statement, column);
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
                const std::string stored(bytes == nullptr ? "" : bytes, std::size_t(sqlite3_column_bytes(statement, column)));
                const double real = sqlite3_column_double(statement, column);
                const std::int64_t integer = sqlite3_column_int64(statement, column);
                const auto where = [&] { return "row " + std::to_string(row) + ", column " + std::to_string(c); };
                std::visit(
                    [&](const auto& v) {
                        using T = std::decay_t<decltype(v)>;
                        char text[64];
                        if constexpr (std::is_same_v<T, driver::Null>) {
                            EXPECT_EQ(type, SQLITE_NULL) << where();
                        } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, std::int64_t>) {
                            EXPECT_TRUE(type == SQLITE_INTEGER && integer == std::int64_t(v)) << where();
                        } else if constexpr (std::is_same_v<T, double> || std::is_same_v<T, driver::Money>) {
                            double d;
                            if constexpr (std::is_same_v<T, double>) d = v;
                            else d = v.value;
                            EXPECT_TRUE(std::isnan(d) ? stored == "NaN" : type == SQLITE_FLOAT && real == d) << where();
                        } else if constexpr (std::is_same_v<T, driver::Decimal>) {
                            EXPECT_TRUE(type == SQLITE_TEXT ? stored == v.text
                                                            : type == SQLITE_FLOAT && real == std::strtod(v.text.c_str(), nullptr))
                                << where() << ": " << v.text;
                        } else if constexpr (std::is_same_v<T, driver::Date>) {
                            std::snprintf(text, sizeof text, "%s%04d-%02d-%02d", v.year < 0 ? "-" : "", std::abs(v.year),
                                          v.month, v.day);
                            EXPECT_EQ(stored, text) << where();
                        } else if constexpr (std::is_same_v<T, driver::Time> || std::is_same_v<T, driver::Timestamp>) {
                            driver::Time time;
                            if constexpr (std::is_same_v<T, driver::Timestamp>) time = v.time;
                            else time = v;
                            const std::int64_t ms = time.milliseconds;
                            std::snprintf(text, sizeof text, ms % 1000 != 0 ? "%02lld:%02lld:%02lld.%03lld" : "%02lld:%02lld:%02lld",
                                          (long long)(ms / 3'600'000), (long long)(ms / 60'000 % 60),
                                          (long long)(ms / 1000 % 60), (long long)(ms % 1000));
                            std::string expectedText = text;
                            if constexpr (std::is_same_v<T, driver::Timestamp>) {
                                std::snprintf(text, sizeof text, "%s%04d-%02d-%02d ", v.date.year < 0 ? "-" : "",
                                              std::abs(v.date.year), v.date.month, v.date.day);
                                expectedText = text + expectedText;
                            }
                            EXPECT_EQ(stored, expectedText) << where();
                        } else if constexpr (std::is_same_v<T, std::string>) {
                            EXPECT_TRUE(type == SQLITE_TEXT && stored == v) << where();
                        } else if constexpr (std::is_same_v<T, driver::Bytes>) {
                            const driver::BlobContent content = driver::blobContent(v);  // a picture from its signature on
                            EXPECT_TRUE(type == SQLITE_BLOB &&
                                        stored == std::string(content.data, content.data + content.size))
                                << where();
                        } else if constexpr (std::is_same_v<T, driver::ValueError>) {
                            EXPECT_EQ(stored, "(unreadable: " + v.message + ")") << where();
                        }
                    },
                    expected[c]);
            }
        }
        EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE);
        sqlite3_finalize(statement);
    }
    EXPECT_EQ(keyed, 88);
    EXPECT_GT(values, 100'000);
}
