#include "driver/Engine.h"
#include "support/WrittenTables.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

namespace fs = std::filesystem;
using driver::executeQuery;
using driver::QueryError;
using driver::ReadError;
using driver::SqlSyntaxError;

namespace {

// A folder of tables written once per test program: country.db, TypSammlung.DB
// (every type) and OF.db (a 3.5 table in code page 866 with Cyrillic names).
const fs::path& data() {
    static const QTemporaryDir dir;
    static const fs::path folder = [] {
        const fs::path folder = fs::path(dir.path().toStdString()) / "data";
        testsupport::writeCountry(folder / "country.db");
        testsupport::writeTypSammlung(folder / "TypSammlung.DB");
        paradoxwriter::Options cyrillic;
        cyrillic.version = 4;
        cyrillic.codePage = 866;
        testsupport::writeTable(folder / "OF.db",
                                {{"Инвентарный номер", driver::FieldType::Alpha, 12},
                                 {"Норма износа %", driver::FieldType::Number}},
                                {{std::string("001370009"), 12.5}}, cyrillic);
        return folder;
    }();
    return folder;
}

std::vector<std::string> namesOf(const driver::ResultSet& result) {
    std::vector<std::string> names;
    for (const driver::Field& f : result.fields()) names.push_back(f.name);
    return names;
}

template <typename Error>
std::string messageOf(const fs::path& folder, std::string_view sql, const driver::TableFiles& files = {}) {
    try {
        executeQuery(folder, sql, files);
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(ExecuteQuery, StarGivesEveryFieldInTableOrderAndEveryRow) {
    const auto result = executeQuery(data(), "SELECT * FROM [TYPSAMMLUNG];");
    EXPECT_EQ(namesOf(*result), (std::vector<std::string>{"Alpha", "Numerisch", "Währung", "Integer kurz",
                                                          "Integer lang", "BCD", "Datum", "Zeit", "Datum/Zeit", "Memo",
                                                          "Logisch", "Zähler", "Binär", "Bytes"}));
    EXPECT_EQ(result->rowCount(), 5);
    const std::vector<driver::Value> first = result->row(0);
    EXPECT_EQ(first[0], driver::Value(std::string("AAA Irgendein Text")));
    EXPECT_EQ(first[1], driver::Value(40.0));
}

TEST(ExecuteQuery, FieldListKeepsTheAskedOrderAndTheTablesSpelling) {
    const auto result = executeQuery(data(), "SELECT `alpha`, `NUMERISCH`, `Alpha` FROM `typsammlung`");
    EXPECT_EQ(namesOf(*result), (std::vector<std::string>{"Alpha", "Numerisch", "Alpha"}));
    EXPECT_EQ(result->row(1),
              (std::vector<driver::Value>{std::string("Erste Zeile"), 23.0, std::string("Erste Zeile")}));

    // readRow gives the same values, whole rows or not.
    std::vector<driver::Value> row;
    result->readRow(1, row);
    EXPECT_EQ(row, result->row(1));
    const auto whole = executeQuery(data(), "SELECT * FROM typsammlung");
    whole->readRow(4, row);
    EXPECT_EQ(row, whole->row(4));
}

TEST(ExecuteQuery, MatchesNamesThatNeedQuotingAndNonAsciiNames) {
    const auto result = executeQuery(data(), "SELECT `Норма износа %`, [Инвентарный номер] FROM `OF`");
    EXPECT_EQ(namesOf(*result), (std::vector<std::string>{"Норма износа %", "Инвентарный номер"}));
    EXPECT_EQ(result->row(0)[1], driver::Value(std::string("001370009")));
}

TEST(FindTableFile, IgnoresLetterCaseButPrefersTheExactSpelling) {
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    for (const char* name : {"League.DB", "a_League.DB", "orders.db", "COUNTRY.DB", "Country.db", "country.db"})
        testsupport::writeNumbered(folder / name, 1);
    for (const auto& [asked, found] : {std::pair{"LEAGUE", "League.DB"}, {"a_league", "a_League.DB"},
                                       {"Orders", "orders.db"}, {"Country", "Country.db"}, {"COUNTRY", "COUNTRY.DB"},
                                       {"CounTry", "COUNTRY.DB"}})  // the last: first in name order
        EXPECT_EQ(driver::findTableFile(folder, asked).filename(), found) << asked;
}

TEST(ExecuteQuery, NamesAMissingTableOrField) {
    EXPECT_EQ(messageOf<QueryError>(data(), "SELECT * FROM [MYASE];"),
              "The table \"MYASE\" does not exist: there is no file MYASE.db in \"" + data().string() + "\".");
    EXPECT_EQ(messageOf<QueryError>(data(), "SELECT `Name`, `Town` FROM `COUNTRY`"),
              "The table \"COUNTRY\" has no field \"Town\".");
    // Names are not paths.
    EXPECT_THROW(executeQuery(data(), "SELECT * FROM [../data/country]"), QueryError);
    EXPECT_THROW(executeQuery(data().parent_path(), "SELECT * FROM [data/country]"), QueryError);
}

TEST(ExecuteQuery, PassesOnTheReadersAndTheParsersErrors) {
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    std::ofstream(folder / "notes.db") << "This is not a Paradox table, just some text that is long enough.";
    fs::create_directory(folder / "folder.db");

    EXPECT_THROW(executeQuery(folder, "SELECT * FROM [NOTES];"), ReadError);
    EXPECT_THROW(executeQuery(folder, "SELECT * FROM [FOLDER];"), QueryError);
    EXPECT_THROW(executeQuery(folder, "SELECT * FROM [A]B];"), SqlSyntaxError);
}

TEST(ExecuteQuery, ABoundNameOpensItsOwnFileWhateverItsSpelling) {
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    const std::string latin1 = "caf\xe9.db";  // not UTF-8: a name only its bytes reach
    testsupport::writeCountry(folder / "Straße.db");
    testsupport::writeNumbered(folder / "cafe.db", 55);
    fs::rename(folder / "cafe.db", folder / latin1);
    testsupport::writeNumbered(folder / "STRASSE.DB", 205);

    const driver::TableFiles files{{"STRASSE", "Straße.db"}, {"CAF\xef\xbf\xbd", latin1}};
    EXPECT_EQ(executeQuery(folder, "SELECT * FROM [STRASSE];", files)->rowCount(), 18);
    EXPECT_EQ(executeQuery(folder, "SELECT * FROM [CAF\xef\xbf\xbd];", files)->rowCount(), 55);
    // Unbound, the name is looked up as before.
    EXPECT_EQ(executeQuery(folder, "SELECT * FROM [STRASSE];")->rowCount(), 205);
    // A bound name is a file of the folder and nothing else.
    EXPECT_THROW(executeQuery(folder, "SELECT * FROM [X];", {{"X", "../x.db"}}), QueryError);
    EXPECT_THROW(executeQuery(folder, "SELECT * FROM [X];", {{"X", "gone.db"}}), ReadError);
    fs::remove(folder / latin1);  // a name QTemporaryDir cannot remove
}

TEST(ExecuteQuery, OnlyRegularFilesAreTablesAndAFifoNeverBlocks) {
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    ASSERT_EQ(::mkfifo((folder / "PIPE.db").c_str(), 0600), 0);
    fs::create_symlink(data() / "country.db", folder / "LINKED.db");

    EXPECT_EQ(messageOf<QueryError>(folder, "SELECT * FROM [PIPE];"),
              "The table \"PIPE\" does not exist: there is no file PIPE.db in \"" + folder.string() + "\".");
    EXPECT_EQ(executeQuery(folder, "SELECT * FROM [LINKED];")->rowCount(), 18);
    EXPECT_EQ(messageOf<ReadError>(folder, "SELECT * FROM [P];", {{"P", "PIPE.db"}}),
              (folder / "PIPE.db").string() + ": is not a regular file");
}

}  // namespace
