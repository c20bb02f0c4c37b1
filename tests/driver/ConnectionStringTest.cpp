#include "driver/ConnectionString.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using driver::ConnectionAttribute;
using driver::ConnectionError;
using driver::parseConnectionString;
using driver::resolveParadoxSource;

namespace driver {
bool operator==(const ConnectionAttribute& a, const ConnectionAttribute& b) {
    return a.key == b.key && a.value == b.value;
}
void PrintTo(const ConnectionAttribute& a, std::ostream* os) { *os << a.key << "=" << a.value; }
}  // namespace driver

namespace {

using Attributes = std::vector<ConnectionAttribute>;

std::string programString(const std::string& folder) {
    return "Driver={Microsoft Paradox Driver (*.db )};DriverID=538;Fil=Paradox 5.X;DefaultDir=" + folder +
           ";Dbq=" + folder + ";CollatingSequence=ASCII;";
}

std::string messageOf(std::string_view connectionString) {
    try {
        resolveParadoxSource(connectionString);
    } catch (const ConnectionError& e) {
        return e.what();
    }
    return "(no error)";
}

std::string parseMessageOf(std::string_view connectionString) {
    try {
        parseConnectionString(connectionString);
    } catch (const ConnectionError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(ParseConnectionString, SplitsTheProgramsStringIntoItsPairs) {
    EXPECT_EQ(parseConnectionString(programString("/data/old tables")),
              (Attributes{{"Driver", "Microsoft Paradox Driver (*.db )"},
                          {"DriverID", "538"},
                          {"Fil", "Paradox 5.X"},
                          {"DefaultDir", "/data/old tables"},
                          {"Dbq", "/data/old tables"},
                          {"CollatingSequence", "ASCII"}}));
}

TEST(ParseConnectionString, BracedValuesHoldSeparatorsAndDoubledClosingBraces) {
    EXPECT_EQ(parseConnectionString("Dbq={/a;b=c};x=1"), (Attributes{{"Dbq", "/a;b=c"}, {"x", "1"}}));
    EXPECT_EQ(parseConnectionString("Dbq={a}}b}"), (Attributes{{"Dbq", "a}b"}}));
    EXPECT_EQ(parseConnectionString("Dbq={}}}}}"), (Attributes{{"Dbq", "}}"}}));
    EXPECT_EQ(parseConnectionString("Dbq={a{b}"), (Attributes{{"Dbq", "a{b"}}));
    EXPECT_EQ(parseConnectionString("Dbq={}"), (Attributes{{"Dbq", ""}}));
    EXPECT_EQ(parseConnectionString("Dbq={ a }  ;x=1"), (Attributes{{"Dbq", " a "}, {"x", "1"}}));
}

TEST(ParseConnectionString, TrimsBlanksAroundKeysButKeepsUnbracedValuesVerbatim) {
    EXPECT_EQ(parseConnectionString("  Dbq \t= /a b ; Fil=x"), (Attributes{{"Dbq", " /a b "}, {"Fil", "x"}}));
    EXPECT_EQ(parseConnectionString("Dbq=a{b}c"), (Attributes{{"Dbq", "a{b}c"}}));
    EXPECT_EQ(parseConnectionString("Dbq=a=b"), (Attributes{{"Dbq", "a=b"}}));
    EXPECT_EQ(parseConnectionString("Dbq="), (Attributes{{"Dbq", ""}}));
}

TEST(ParseConnectionString, SkipsEmptyPairsAndATrailingSemicolon) {
    EXPECT_EQ(parseConnectionString(""), Attributes{});
    EXPECT_EQ(parseConnectionString(";;  ;"), Attributes{});
    EXPECT_EQ(parseConnectionString(";a=1;;b=2;"), (Attributes{{"a", "1"}, {"b", "2"}}));
}

TEST(ParseConnectionString, RejectsMalformedPairsNamingTheCharacter) {
    EXPECT_EQ(parseMessageOf("a=1;Dbq;b=2"), "Connection string: expected \"=\" after \"Dbq\" at character 8.");
    EXPECT_EQ(parseMessageOf("a=1; Dbq "), "Connection string: expected \"=\" after \"Dbq\" at character 10.");
    EXPECT_EQ(parseMessageOf("a=1; =x"), "Connection string: expected a key before \"=\" at character 5.");
    EXPECT_EQ(parseMessageOf("a=1;Dbq={/x;b=2"),
              "Connection string: the \"{\" has no closing \"}\" at character 9.");
    EXPECT_EQ(parseMessageOf("Dbq={a}}"), "Connection string: the \"{\" has no closing \"}\" at character 5.");
    EXPECT_EQ(parseMessageOf("Dbq={a}b;"),
              "Connection string: expected \";\" after the closing \"}\" at character 8.");
    // Positions count characters, not UTF-8 bytes.
    EXPECT_EQ(parseMessageOf("Dbq=/dätä;x"), "Connection string: expected \"=\" after \"x\" at character 12.");
}

class ResolveParadoxSource : public ::testing::Test {
protected:
    std::string makeFolder(const std::string& name) {
        const std::filesystem::path path = std::filesystem::path(root.path().toStdString()) / name;
        std::filesystem::create_directory(path);
        return path.string();
    }
    QTemporaryDir root;
};

TEST_F(ResolveParadoxSource, OpensTheFolderOfTheProgramsString) {
    const std::string folder = makeFolder("tables");
    EXPECT_EQ(resolveParadoxSource(programString(folder)).folder, folder);
    // A trailing separator is carried through as given.
    EXPECT_EQ(resolveParadoxSource(programString(folder + "/")).folder, folder + "/");
}

TEST_F(ResolveParadoxSource, OpensAFolderWithSeparatorsAndBracesGivenInBraces) {
    const std::string folder = makeFolder("a;b{c}d=e f");
    std::string braced = "{";
    for (char c : folder) braced += c == '}' ? std::string("}}") : std::string(1, c);
    braced += "}";
    EXPECT_EQ(resolveParadoxSource(programString(braced)).folder, folder);
}

TEST_F(ResolveParadoxSource, IgnoresLetterCaseOfKeysAndDriverAndTakesTheFirstOfARepeatedKey) {
    const std::string folder = makeFolder("tables");
    EXPECT_EQ(resolveParadoxSource("DRIVER={microsoft paradox driver (*.DB )};dbq=" + folder + ";DBQ=/nowhere")
                  .folder,
              folder);
}

TEST_F(ResolveParadoxSource, RejectsOtherDriversAndKeys) {
    const std::string folder = makeFolder("tables");
    EXPECT_EQ(messageOf("Driver={Microsoft Paradox Driver (*.db)};Dbq=" + folder),
              "The driver \"Microsoft Paradox Driver (*.db)\" is not available; the only driver is "
              "\"Microsoft Paradox Driver (*.db )\".");
    EXPECT_EQ(messageOf("Driver={SQL Server};Dbq=" + folder),
              "The driver \"SQL Server\" is not available; the only driver is "
              "\"Microsoft Paradox Driver (*.db )\".");
    EXPECT_EQ(messageOf("Dbq=" + folder),
              "The connection string names no driver; expected Driver={Microsoft Paradox Driver (*.db )}.");
    EXPECT_EQ(messageOf(programString(folder) + "UID=admin"),
              "The connection string holds the key \"UID\", which the Paradox driver does not know.");
}

TEST_F(ResolveParadoxSource, RejectsAMissingOrUnusableFolder) {
    const std::string driver = "Driver={Microsoft Paradox Driver (*.db )};";
    EXPECT_EQ(messageOf(driver + "DefaultDir=/tmp"),
              "The connection string names no folder of tables (Dbq=...).");
    EXPECT_EQ(messageOf(driver + "Dbq="), "The connection string names no folder of tables (Dbq=...).");

    const std::string missing = root.path().toStdString() + "/missing";
    EXPECT_EQ(messageOf(programString(missing)), "The folder \"" + missing + "\" does not exist.");

    const std::string file = root.path().toStdString() + "/file.db";
    std::ofstream(file) << "x";
    EXPECT_EQ(messageOf(programString(file)), "\"" + file + "\" is not a folder.");

    // An unbraced folder holding ';' turns its tail into a pair without '='.
    EXPECT_THROW(resolveParadoxSource(programString(makeFolder("a;b"))), ConnectionError);
}

}  // namespace
