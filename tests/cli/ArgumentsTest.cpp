#include "cli/Arguments.h"
#include "cli/ProgressMeter.h"

#include <gtest/gtest.h>

using namespace cli;

namespace {

std::string refusal(const std::vector<std::string>& args) {
    try {
        parseArguments(args);
    } catch (const UsageError& e) {
        return e.what();
    }
    return "accepted";
}

}  // namespace

TEST(Arguments, TheDoorIsChosenByTheFirstArgument) {
    EXPECT_EQ(parseArguments({}).command, Command::Wizard);
    EXPECT_EQ(parseArguments({"--help"}).command, Command::Help);
    EXPECT_EQ(parseArguments({"-h"}).command, Command::Help);
    EXPECT_EQ(parseArguments({"--version"}).command, Command::Version);

    const Arguments list = parseArguments({"list", "--json", "/data"});
    EXPECT_EQ(list.command, Command::List);
    EXPECT_TRUE(list.json);
    EXPECT_EQ(list.inputs, std::vector<std::string>{"/data"});
}

TEST(Arguments, ExportTakesItsOptionsInAnyOrderAndBothSpellings) {
    const Arguments a = parseArguments({"export", "--table", "ORDERS", "/data", "--fields=Id,Name,Ort Nr",
                                        "-o", "out", "--table=PARTS", "--format", "csv", "--code-page", "850",
                                        "--quiet", "--blobs=files", "--", "-odd.db"});
    EXPECT_EQ(a.command, Command::Export);
    EXPECT_EQ(a.inputs, (std::vector<std::string>{"/data", "-odd.db"}));
    EXPECT_EQ(a.tables, (std::vector<std::string>{"ORDERS", "PARTS"}));
    EXPECT_EQ(a.fields, (std::vector<std::string>{"Id", "Name", "Ort Nr"}));
    EXPECT_EQ(a.output, "out");
    EXPECT_EQ(a.format, Format::Csv);
    EXPECT_EQ(a.codePage, 850);
    EXPECT_EQ(a.progress, Progress::Never);
    EXPECT_EQ(a.blobs, "files");

    const Arguments b = parseArguments({"export", "t.db", "--progress", "--fields", " Company , Customer No", "--format=XLSX",
                                        "--bom"});
    EXPECT_EQ(b.fields, (std::vector<std::string>{"Company", "Customer No"}));  // blanks around names trimmed
    EXPECT_EQ(b.format, Format::Xlsx);
    EXPECT_TRUE(b.byteOrderMark);
    EXPECT_EQ(parseArguments({"export", "t.db"}).format, Format::FromOutput);
    EXPECT_EQ(b.progress, Progress::Always);
    EXPECT_EQ(b.output, "");
}

TEST(Arguments, BadArgumentsSayWhatIsWrong) {
    EXPECT_EQ(refusal({"--bogus"}), "unknown option --bogus");
    EXPECT_EQ(refusal({"lsit", "/data"}), "unknown command \"lsit\"");
    EXPECT_EQ(refusal({"list"}), "list needs a folder");
    EXPECT_EQ(refusal({"list", "a", "b"}), "list takes one folder");
    EXPECT_EQ(refusal({"list", "--table", "X", "a"}), "--table is an option of export, not of list");
    EXPECT_EQ(refusal({"export"}), "export needs a folder or a table file");
    EXPECT_EQ(refusal({"export", "a", "--json"}), "--json is an option of list, not of export");
    EXPECT_EQ(refusal({"export", "a", "-o"}), "-o needs a value");
    EXPECT_EQ(refusal({"export", "a", "--format", "xls"}), "--format is xlsx, csv or sqlite, not \"xls\"");
    EXPECT_EQ(refusal({"export", "a", "--code-page", "12x"}),
              "--code-page needs a code page number such as 1252 or 437, or auto, not \"12x\"");
    EXPECT_EQ(refusal({"export", "a", "--fields", "A,,B"}),
              "--fields needs names separated by commas, without empty ones");
    EXPECT_EQ(refusal({"export", "a", "--fields", "Id,Name, id"}), "--fields names the field \"id\" twice");
    EXPECT_EQ(refusal({"list", "a", "--bom"}), "--bom is an option of export, not of list");
    EXPECT_EQ(refusal({"export", "a", "--quiet", "--progress"}), "--quiet and --progress exclude each other");
    EXPECT_EQ(refusal({"export", "a", "-o", "x", "--output", "y"}), "--output is given twice");
    EXPECT_EQ(refusal({"export", "a", "--blobs", "x", "--blobs", "y"}), "--blobs is given twice");
    EXPECT_EQ(refusal({"export", "a", "--blobs="}), "--blobs needs a folder name");
    EXPECT_EQ(refusal({"--help", "list"}), "--help takes no arguments");
}

TEST(ProgressMeter, TheLineShowsBarRowsRateAndTimeLeft) {
    EXPECT_EQ(progressLine("ORDERS", 250'000, 1'000'000, 2.0),
              "ORDERS  [#####---------------]  250,000 / 1,000,000 rows  125,000 rows/s  0:06 left");
    EXPECT_EQ(progressLine("T", 0, 10, 0.0), "T  [--------------------]  0 / 10 rows");
    EXPECT_EQ(progressLine("BIG", 1, 7201, 1.0).substr(29), "1 / 7,201 rows  1 rows/s  2:00:00 left");
    EXPECT_EQ(progressLine("ORDERS", 5, 10, 1.0, 10), "ORDERS  [#");
}
