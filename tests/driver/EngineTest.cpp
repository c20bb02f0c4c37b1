#include "driver/Engine.h"
#include "support/Corpus.h"

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

const fs::path academy = testsupport::corpusPath("flrizzato-DelphiAcademy");

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
    VELLOMAR_NEEDS_CORPUS();
    const auto result = executeQuery(academy, "SELECT * FROM [CUSTOMER];");
    EXPECT_EQ(namesOf(*result), (std::vector<std::string>{"CustNo", "Company", "Addr1", "Addr2", "City", "State",
                                                          "Zip", "Country", "Phone", "FAX", "TaxRate", "Contact",
                                                          "LastInvoiceDate"}));
    EXPECT_EQ(result->rowCount(), 55);
    const std::vector<driver::Value> first = result->row(0);
    EXPECT_EQ(first[0], driver::Value(1221.0));
    EXPECT_EQ(first[1], driver::Value(std::string("Kauai Dive Shoppe")));
}

TEST(ExecuteQuery, FieldListKeepsTheAskedOrderAndTheTablesSpelling) {
    VELLOMAR_NEEDS_CORPUS();
    const auto result = executeQuery(academy, "SELECT `company`, `CUSTNO`, `Company` FROM `customer`");
    EXPECT_EQ(namesOf(*result), (std::vector<std::string>{"Company", "CustNo", "Company"}));
    EXPECT_EQ(result->row(1), (std::vector<driver::Value>{std::string("Unisco"), 1231.0, std::string("Unisco")}));

    // readRow gives the same values, whole rows or not.
    std::vector<driver::Value> row;
    result->readRow(1, row);
    EXPECT_EQ(row, result->row(1));
    const auto whole = executeQuery(academy, "SELECT * FROM customer");
    whole->readRow(54, row);
    EXPECT_EQ(row, whole->row(54));
}

TEST(ExecuteQuery, MatchesNamesThatNeedQuotingAndNonAsciiNames) {
    VELLOMAR_NEEDS_CORPUS();
    const fs::path folder = testsupport::corpusPath("cran-Rparadox");
    const auto result = executeQuery(folder, "SELECT `Норма износа %`, [Инвентарный номер] FROM `OF`");
    EXPECT_EQ(namesOf(*result), (std::vector<std::string>{"Норма износа %", "Инвентарный номер"}));
    EXPECT_EQ(result->row(0)[1], driver::Value(std::string("001370009")));
}

TEST(FindTableFile, IgnoresLetterCaseOfNameAndExtension) {
    VELLOMAR_NEEDS_CORPUS();
    const fs::path league = testsupport::corpusPath("gazlappy-Wdplapp");
    EXPECT_EQ(driver::findTableFile(league, "LEAGUE").filename(), "League.DB");
    EXPECT_EQ(driver::findTableFile(league, "a_league").filename(), "a_League.DB");
    EXPECT_EQ(driver::findTableFile(academy, "Orders").filename(), "orders.db");
}

TEST(FindTableFile, PrefersTheExactSpellingAmongSeveralMatches) {
    VELLOMAR_NEEDS_CORPUS();
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    for (const char* name : {"COUNTRY.DB", "Country.db", "country.db"})
        fs::copy_file(academy / "country.db", folder / name);
    EXPECT_EQ(driver::findTableFile(folder, "Country").filename(), "Country.db");
    EXPECT_EQ(driver::findTableFile(folder, "COUNTRY").filename(), "COUNTRY.DB");
    EXPECT_EQ(driver::findTableFile(folder, "CounTry").filename(), "COUNTRY.DB");  // first in name order
}

TEST(ExecuteQuery, NamesAMissingTableOrField) {
    VELLOMAR_NEEDS_CORPUS();
    EXPECT_EQ(messageOf<QueryError>(academy, "SELECT * FROM [MYASE];"),
              "The table \"MYASE\" does not exist: there is no file MYASE.db in \"" + academy.string() + "\".");
    EXPECT_EQ(messageOf<QueryError>(academy, "SELECT `Company`, `Town` FROM `CUSTOMER`"),
              "The table \"CUSTOMER\" has no field \"Town\".");
    // Names are not paths.
    EXPECT_THROW(executeQuery(academy, "SELECT * FROM [../flrizzato-DelphiAcademy/customer]"), QueryError);
    EXPECT_THROW(executeQuery(academy.parent_path(), "SELECT * FROM [flrizzato-DelphiAcademy/customer]"), QueryError);
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
    VELLOMAR_NEEDS_CORPUS();
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    const std::string latin1 = "caf\xe9.db";  // not UTF-8: a name only its bytes reach
    fs::copy_file(academy / "country.db", folder / "Straße.db");
    fs::copy_file(academy / "customer.db", folder / latin1);
    fs::copy_file(academy / "orders.db", folder / "STRASSE.DB");

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
    VELLOMAR_NEEDS_CORPUS();
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    ASSERT_EQ(::mkfifo((folder / "PIPE.db").c_str(), 0600), 0);
    fs::create_symlink(academy / "country.db", folder / "LINKED.db");

    EXPECT_EQ(messageOf<QueryError>(folder, "SELECT * FROM [PIPE];"),
              "The table \"PIPE\" does not exist: there is no file PIPE.db in \"" + folder.string() + "\".");
    EXPECT_EQ(executeQuery(folder, "SELECT * FROM [LINKED];")->rowCount(), 18);
    EXPECT_EQ(messageOf<ReadError>(folder, "SELECT * FROM [P];", {{"P", "PIPE.db"}}),
              (folder / "PIPE.db").string() + ": is not a regular file");
}

}  // namespace
