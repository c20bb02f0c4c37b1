// The command line as a script sees it: arguments in, files and lines out,
// an exit status. Run in-process with both streams captured.

#include "../driver/CorpusPaths.h"
#include "../platform/SpreadsheetReadBack.h"
#include "SampleTables.h"
#include "cli/CommandLine.h"
#include "driver/Picture.h"
#include "driver/Table.h"
#include "paradoxwriter/Writer.h"
#include "support/Bitmaps.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

Outcome run(const std::vector<std::string>& args) {
    char* outText = nullptr;
    char* errText = nullptr;
    std::size_t outSize = 0, errSize = 0;
    std::FILE* out = ::open_memstream(&outText, &outSize);
    std::FILE* err = ::open_memstream(&errText, &errSize);
    const int status = cli::runCommandLine(args, out, err);
    std::fclose(out);
    std::fclose(err);
    Outcome result{status, std::string(outText, outSize), std::string(errText, errSize)};
    std::free(outText);
    std::free(errText);
    return result;
}

std::string readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "(missing)";
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override { samples::writeSampleTables(samples.toStdString()); }

    QTemporaryDir tmp;
    const QString samples = tmp.path() + "/Samples";
    const QString out = tmp.path() + "/out";
    std::string s(const QString& text) { return text.toStdString(); }
};

}  // namespace

TEST_F(CommandLine, ListGivesTheWizardsTablesAsLinesOrJson) {
    const Outcome lines = run({"list", s(samples)});
    EXPECT_EQ(lines.status, cli::kWhole);
    EXPECT_EQ(lines.out, "CUSTOMER\t" + s(samples) + "\t300\t12\n" + "EMPLOYEE\t" + s(samples) + "\t60\t8\n" +
                             "ORDERS\t" + s(samples) + "\t2000\t9\n" + "PARTS\t" + s(samples) + "\t250\t7\n" +
                             "ORDERS1999\t" + s(samples) + "/Archive\t365\t9\n");
    EXPECT_EQ(lines.err, "");

    const Outcome json = run({"list", "--json", s(samples)});
    EXPECT_EQ(json.status, cli::kWhole);
    const QJsonArray tables = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).array();
    ASSERT_EQ(tables.size(), 5) << json.out;
    const QJsonObject archived = tables[4].toObject();
    EXPECT_EQ(archived["name"], "ORDERS1999");
    EXPECT_EQ(archived["folder"], samples + "/Archive");
    EXPECT_EQ(archived["file"], "orders1999.db");
    EXPECT_EQ(archived["rows"], 365);
    EXPECT_EQ(archived["fields"].toArray()[0], (QJsonObject{{"name", "Order No"}, {"type", "Long"}, {"size", 4}}));

    // A file that is no table is listed with what is wrong, and the status says so.
    QFile bogus(samples + "/BOGUS.DB");
    ASSERT_TRUE(bogus.open(QIODevice::WriteOnly));
    bogus.write("not a table");
    bogus.close();
    const Outcome withBogus = run({"list", s(samples)});
    EXPECT_EQ(withBogus.status, cli::kLosses);
    EXPECT_NE(withBogus.out.find("BOGUS\t" + s(samples) + "\t?\t?\n"), std::string::npos);
    EXPECT_EQ(withBogus.err.rfind("vellomar: " + s(samples) + "/BOGUS.DB: ", 0), 0u) << withBogus.err;

    EXPECT_EQ(run({"list", s(tmp.path() + "/missing")}).status, cli::kNothing);
}

TEST_F(CommandLine, ExportWritesEachTableAfterItsNameBelowTheFolder) {
    const Outcome r = run({"export", s(samples), "-o", s(out), "--table", "parts", "--table", "ORDERS1999"});
    EXPECT_EQ(r.status, cli::kWhole) << r.err;
    EXPECT_EQ(r.err, "PARTS: 250 rows -> " + s(out) + "/PARTS.xlsx\n" + "ORDERS1999: 365 rows -> " + s(out) +
                         "/Archive/ORDERS1999.xlsx\n");
    EXPECT_EQ(r.out, "");
    const auto sheets = spreadsheet_test::readWorkbook(out + "/Archive/ORDERS1999.xlsx");
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].rows, 366);
    EXPECT_EQ(sheets[0].cells.at("A2").value, "10001");
    EXPECT_EQ(sheets[0].cells.at("C2").type, "datetime");
    EXPECT_TRUE(QFile::exists(out + "/PARTS.xlsx"));
    EXPECT_FALSE(QFile::exists(out + "/CUSTOMER.xlsx"));

    // Quiet: nothing said of tables that arrive whole; an unknown name is an error.
    const Outcome quiet = run({"export", s(samples), "-o", s(out), "--quiet", "--table", "NOPE", "--table", "Parts"});
    EXPECT_EQ(quiet.status, cli::kLosses);
    EXPECT_EQ(quiet.err, "vellomar: no table named NOPE\n");
}

TEST_F(CommandLine, ExportToOneCsvFileWithChosenFields) {
    const QString file = out + ".csv";
    const Outcome r = run({"export", s(samples + "/ORDERS.DB"), "--fields", "order no,Paid,Entered", "-o", s(file), "-q"});
    EXPECT_EQ(r.status, cli::kWhole) << r.err;
    EXPECT_EQ(readText(file).rfind("Order No,Paid,Entered\r\n20001,TRUE,2003-08-05T12:13:46.897\r\n20002,FALSE,", 0), 0u);

    // One file cannot take several tables; a format that contradicts the name is refused.
    EXPECT_EQ(run({"export", s(samples), "-o", s(file)}).status, cli::kNothing);
    const Outcome clash = run({"export", s(samples + "/ORDERS.DB"), "--format", "xlsx", "-o", s(file)});
    EXPECT_EQ(clash.status, cli::kNothing);
    EXPECT_EQ(clash.err.rfind("vellomar: --format xlsx does not fit the file name " + s(file) + "\n\nUsage:", 0), 0u);
    // A field the table lacks: nothing written, and the file and the field are named.
    const Outcome lacking = run({"export", s(samples + "/ORDERS.DB"), "--fields", "Nope", "-o", s(out + "2.csv")});
    EXPECT_EQ(lacking.status, cli::kNothing);
    EXPECT_EQ(lacking.err, "vellomar: " + s(samples) + "/ORDERS.DB: the table has no field \"Nope\"\n");
    EXPECT_FALSE(QFile::exists(out + "2.csv"));
}

TEST_F(CommandLine, LossesAreToldAndTurnIntoTheExitStatus) {
    QDir().mkpath(out);
    const QString table = tmp.path() + "/cut/CUT.DB";
    QDir().mkpath(tmp.path() + "/cut");
    {
        paradoxwriter::Writer w(table.toStdString(), {{"Id", driver::FieldType::Long}, {"Label", driver::FieldType::Alpha, 100}});
        for (std::int64_t i = 1; i <= 100; ++i) w.addRow({i, "row " + std::to_string(i)});
        w.finish();
    }
    QFile cut(table);
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
    ASSERT_TRUE(cut.resize(2048 + 2 * 2048 + 1024));  // inside the third block
    cut.close();
    const Outcome r = run({"export", s(table), s(samples + "/PARTS.DB"), "-o", s(out), "--format", "csv"});
    EXPECT_EQ(r.status, cli::kLosses);
    EXPECT_NE(r.err.find("CUT: 47 rows -> " + s(out) + "/CUT.csv\nDone, but not everything arrived as it is in the "
                         "table:\n\nThe table is damaged:\n" + s(table) + ": the header says 100 rows"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("PARTS: 250 rows -> " + s(out) + "/PARTS.csv\n"), std::string::npos);

    // Nothing readable at all: status 2.
    EXPECT_EQ(run({"export", s(tmp.path() + "/nothing.db"), "-o", s(out)}).status, cli::kNothing);
}

TEST_F(CommandLine, ACodePageGivenOverridesTheTables) {
    const QString table = tmp.path() + "/CP.DB";
    {
        paradoxwriter::Writer w(table.toStdString(), {{"Name", driver::FieldType::Alpha, 20}});
        w.addRow({std::string("Müller")});  // 0xFC in code page 1252
        w.finish();
    }
    ASSERT_EQ(run({"export", s(table), "-o", s(out + "/a.csv")}).status, cli::kWhole);
    EXPECT_EQ(readText(out + "/a.csv"), "Name\r\nMüller\r\n");
    ASSERT_EQ(run({"export", s(table), "--code-page", "437", "-o", s(out + "/b.csv")}).status, cli::kWhole);
    EXPECT_EQ(readText(out + "/b.csv"), "Name\r\nM\u207fller\r\n");  // 0xFC is "ⁿ" in 437
}

TEST_F(CommandLine, BlobsGoIntoFilesUnderTheirFolderWhateverTheNames) {
    using driver::FieldType;
    const auto image = test_images::bitmap(40, 30);
    const std::vector<std::uint8_t> binary(3000, 0xA5), bytes = {0, 1, 0xFE, 0xFF}, object = {'O', 'L', 'E'};
    const auto table = [&](const QString& file) {
        QDir().mkpath(QFileInfo(file).path());
        paradoxwriter::Writer w(file.toStdString(), {{"Photo", FieldType::Graphic}, {"a/b", FieldType::Binary},
                                                     {"a_b", FieldType::Bytes, 4}, {"..", FieldType::Ole}});
        w.addRow({driver::Bytes{FieldType::Graphic, image}, driver::Bytes{FieldType::Binary, binary},
                  driver::Bytes{FieldType::Bytes, bytes}, driver::Bytes{FieldType::Ole, object}});
        w.addRow({driver::Null{}, driver::Null{}, driver::Null{}, driver::Null{}});
        w.finish();
    };
    table(tmp.path() + "/data/a/T.DB");
    table(tmp.path() + "/data/b/T.DB");  // the same name again
    table(tmp.path() + "/other/x\x01:y.DB");
    // A link planted where the first table's folder would go is not followed.
    QDir().mkpath(tmp.path() + "/elsewhere");
    QDir().mkpath(out + "/blobs");
    ASSERT_TRUE(QFile::link(tmp.path() + "/elsewhere", out + "/blobs/T"));

    const Outcome r = run({"export", s(tmp.path() + "/data"), s(tmp.path() + "/other/x\x01:y.DB"), "-o", s(out),
                           "--blobs", s(out + "/blobs"), "-q"});
    EXPECT_EQ(r.status, cli::kWhole) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(QDir(tmp.path() + "/elsewhere").isEmpty());
    // Each value byte for byte, the picture from its signature on, named by table, row and field.
    const std::map<std::string, std::vector<std::uint8_t>> files = {
        {"row1-Photo.bmp", image}, {"row1-a_b.bin", binary}, {"row1-a_b-3.bin", bytes}, {"row1-__.bin", object}};
    for (const char* folder : {"T-2", "T-3", "X__Y"})
        for (const auto& [name, content] : files) {
            const QString path = out + "/blobs/" + folder + "/" + QString::fromStdString(name);
            EXPECT_TRUE(readText(path) == std::string(content.begin(), content.end())) << s(path);
        }
    EXPECT_EQ(QDir(out + "/blobs/T-2").count(), 4u + 2u);  // and "." and ".."
    const auto sheets = spreadsheet_test::readWorkbook(out + "/a/T.xlsx");
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].cells.at("B2").value, "../blobs/T-2/row1-a_b.bin");
    EXPECT_EQ(sheets[0].links.at("B2"), "../blobs/T-2/row1-a_b.bin");
    ASSERT_EQ(sheets[0].pictures.size(), 1u);
    EXPECT_EQ(sheets[0].pictures[0].bytes, image);
    EXPECT_EQ(sheets[0].cells.count("B3"), 0u);  // NULL stays empty, and no file

    // Without --blobs the bytes are hex, in a workbook and a CSV file alike.
    std::string binaryHex = "0x";
    for (int i = 0; i < 3000; ++i) binaryHex += "a5";
    ASSERT_EQ(run({"export", s(tmp.path() + "/data/a/T.DB"), "-o", s(out + "/T.csv")}).status, cli::kWhole);
    EXPECT_EQ(readText(out + "/T.csv").substr(0, 24), "Photo,a/b,a_b,..\r\n0x424d");
    EXPECT_NE(readText(out + "/T.csv").find("," + binaryHex + ",0x0001feff,0x4f4c45\r\n,,,\r\n"), std::string::npos);
    ASSERT_EQ(run({"export", s(tmp.path() + "/data/a/T.DB"), "-o", s(out + "/T.xlsx")}).status, cli::kWhole);
    const auto plain = spreadsheet_test::readWorkbook(out + "/T.xlsx");
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0].cells.at("B2").value, binaryHex);
    EXPECT_EQ(plain[0].cells.at("D2").value, "0x4f4c45");
}

// Every picture of the corpus at its cell, decoded to the same pixels as the
// stored bitmap; every blob value the same bytes in the workbook, the CSV
// file and its own file.
TEST_F(CommandLine, EveryCorpusPictureAndBlobArrivesWhole) {
    VELLOMAR_NEEDS_CORPUS();
    using driver::FieldType;
    const auto hex = [](const driver::Bytes& value) {
        std::string text = "0x";
        for (const std::uint8_t b : value.data) text += "0123456789abcdef"[b >> 4], text += "0123456789abcdef"[b & 15];
        return text;
    };
    int tables = 0, pictures = 0, blobs = 0;
    for (const std::string& name : driver::test::corpusTables()) {
        const std::string path = driver::test::corpus(name).string();
        const auto table = driver::Table::open(path);
        bool hasBlobs = false, hasHex = false;
        for (const driver::Field& field : table->fields()) {
            const FieldType t = field.type;
            hasBlobs = hasBlobs || t == FieldType::Graphic || t == FieldType::Binary || t == FieldType::Ole || t == FieldType::Bytes;
            hasHex = hasHex || t == FieldType::Binary || t == FieldType::Ole || t == FieldType::Bytes;
        }
        if (!hasBlobs || table->rowCount() == 0) continue;
        SCOPED_TRACE(name);
        const QString folder = out + "/" + QString::number(++tables);
        const Outcome linked = run({"export", path, "-o", s(folder + "/t.xlsx"), "--blobs", s(folder + "/blobs"), "-q"});
        EXPECT_EQ(linked.status, name == "teverett-paradoxReader/MEMBRE.DB" ? cli::kLosses : cli::kWhole) << linked.err;
        EXPECT_EQ(run({"export", path, "-o", s(folder + "/t.csv")}).status, linked.status);
        const std::string csv = readText(folder + "/t.csv");
        const auto withLinks = spreadsheet_test::readWorkbook(folder + "/t.xlsx");
        std::vector<spreadsheet_test::ReadSheet> withHex;
        int hexStatus = cli::kWhole;
        if (hasHex) {
            hexStatus = run({"export", path, "-o", s(folder + "/hex.xlsx")}).status;
            withHex = spreadsheet_test::readWorkbook(folder + "/hex.xlsx");
            ASSERT_EQ(withHex.size(), 1u);
        }
        ASSERT_EQ(withLinks.size(), 1u);
        for (std::int64_t r = 0; r < table->rowCount(); ++r) {
            const std::vector<driver::Value> row = table->row(r);
            for (std::size_t c = 0; c < row.size(); ++c) {
                const auto* value = std::get_if<driver::Bytes>(&row[c]);
                if (!value) continue;
                const std::string cell = std::string(1, char('A' + c % 26)) + (c >= 26 ? "?" : "") + std::to_string(r + 2);
                if (c >= 26) continue;  // no blob field sits that far right in the corpus
                const driver::BlobContent content = driver::blobContent(*value);
                const std::string stored(content.data, content.data + content.size);
                const std::string file = s(folder) + "/" + withLinks[0].cells.at(cell).value;
                EXPECT_TRUE(readText(QString::fromStdString(file)) == stored) << file;
                EXPECT_NE(csv.find(hex(*value)), std::string::npos) << cell;
                if (value->type == FieldType::Graphic) {
                    const auto at = std::find_if(withLinks[0].pictures.begin(), withLinks[0].pictures.end(),
                                                 [&](const auto& p) { return p.cell == cell; });
                    ASSERT_NE(at, withLinks[0].pictures.end()) << cell;
                    const QImage shown = QImage::fromData(at->bytes.data(), int(at->bytes.size()));
                    const QImage original = QImage::fromData(reinterpret_cast<const uchar*>(stored.data()), int(stored.size()));
                    EXPECT_FALSE(shown.isNull()) << cell;
                    EXPECT_EQ(shown, original) << cell;
                    ++pictures;
                } else {
                    // Whole where a cell holds it, else cut and told.
                    const std::string& text = withHex[0].cells.at(cell).value;
                    EXPECT_EQ(text, hex(*value).substr(0, 32'766)) << cell;
                    if (value->data.size() > 16'382) {
                        EXPECT_EQ(hexStatus, cli::kLosses);
                    }
                    ++blobs;
                }
            }
        }
    }
    EXPECT_EQ(pictures, 121);
    EXPECT_EQ(blobs, 8);
}

TEST_F(CommandLine, HelpVersionAndBadArguments) {
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.status, cli::kWhole);
    EXPECT_EQ(help.out.rfind("Usage:\n  vellomar  ", 0), 0u);
    const Outcome version = run({"--version"});
    EXPECT_EQ(version.status, cli::kWhole);
    EXPECT_EQ(version.out.rfind("vellomar ", 0), 0u);
    const Outcome bad = run({"export", "--nope"});
    EXPECT_EQ(bad.status, cli::kNothing);
    EXPECT_EQ(bad.err.rfind("vellomar: unknown option --nope\n\nUsage:\n", 0), 0u);
    EXPECT_EQ(bad.out, "");
}

TEST_F(CommandLine, TextKeepsItsLettersAndAHeaderThatLiesIsTold) {
    // Hebrew and Vietnamese (whose tone marks 1258 stores as combining marks), each in its own page.
    const std::pair<int, std::string> texts[] = {{1255, "שלום עולם"}, {1258, "Ti\u00EA\u0301ng Vi\u00EA\u0323t"}};
    for (const auto& [page, text] : texts) {
        const QString table = tmp.path() + "/CP" + QString::number(page) + ".DB";
        paradoxwriter::Options options;
        options.codePage = page;
        paradoxwriter::Writer w(table.toStdString(), {{"Name", driver::FieldType::Alpha, 40}}, options);
        w.addRow({text});
        w.finish();
        const QString csv = out + "/" + QString::number(page) + ".csv";  // the workbook: ImportRunTest
        ASSERT_EQ(run({"export", s(table), "-o", s(csv)}).status, cli::kWhole);
        EXPECT_EQ(readText(csv), "Name\r\n" + text + "\r\n");
    }

    // Russian text (1251) under a header that says 1252.
    const QString table = tmp.path() + "/RU.DB";
    {
        paradoxwriter::Options options;
        options.codePage = 1251;
        paradoxwriter::Writer w(table.toStdString(), {{"Город", driver::FieldType::Alpha, 40}}, options);
        for (const char* city : {"Москва", "Санкт-Петербург", "Новосибирск", "Екатеринбург"}) w.addRow({std::string(city)});
        w.finish();
    }
    QFile header(table);
    ASSERT_TRUE(header.open(QIODevice::ReadWrite) && header.seek(0x6A) && header.write("\xE4\x04", 2) == 2);
    header.close();
    const Outcome told = run({"export", s(table), "-o", s(out + "/ru.csv")});
    EXPECT_EQ(told.status, cli::kLosses);
    EXPECT_NE(told.err.find("\nThe text looks like code page 1251, not 1252 as the table says"), std::string::npos)
        << told.err;
    const Outcome followed = run({"export", s(table), "--code-page", "auto", "-o", s(out + "/ru.csv")});
    EXPECT_EQ(followed.status, cli::kWhole);
    EXPECT_EQ(followed.err, "vellomar: RU: its text is read as code page 1251, the page it shows\n" + s("RU: 4 rows -> ") +
                                s(out) + "/ru.csv\n");
    EXPECT_EQ(readText(out + "/ru.csv"), "Город\r\nМосква\r\nСанкт-Петербург\r\nНовосибирск\r\nЕкатеринбург\r\n");
    const QJsonArray listed =
        QJsonDocument::fromJson(QByteArray::fromStdString(run({"list", "--json", s(tmp.path())}).out)).array();
    const auto ru = std::find_if(listed.begin(), listed.end(), [](const QJsonValue& t) { return t["name"] == "RU"; });
    ASSERT_NE(ru, listed.end());
    EXPECT_EQ(ru->toObject()["codePage"].toInt(), 1252);
    EXPECT_EQ(ru->toObject()["textCodePage"].toInt(), 1251);

    // A header naming a page the reader does not know; an unknown page asked for.
    ASSERT_TRUE(header.open(QIODevice::ReadWrite) && header.seek(0x6A) && header.write("\xE9\xFD", 2) == 2);
    header.close();
    const Outcome unknown = run({"export", s(table), "-o", s(out + "/ru.csv")});
    EXPECT_EQ(unknown.status, cli::kLosses);
    EXPECT_NE(unknown.err.find("The table's header names code page 65001, which Vellomar does not know; its text was "
                               "read as code page 1252, so letters may be wrong."),
              std::string::npos)
        << unknown.err;
    const Outcome refused = run({"export", s(table), "--code-page", "65001"});
    EXPECT_EQ(refused.status, cli::kNothing);
    EXPECT_EQ(refused.err.rfind("vellomar: --code-page 65001 is not a code page Vellomar knows; it knows 437, 737, 775,",
                                0),
              0u)
        << refused.err;
}

TEST_F(CommandLine, NamesThatDoNotTellTablesApartAreSaid) {
    const QString empty = tmp.path() + "/empty", odd = tmp.path() + "/odd";
    QDir().mkpath(empty);
    QDir().mkpath(odd);
    const Outcome none = run({"list", s(empty)});
    EXPECT_EQ(none.status, cli::kWhole);
    EXPECT_EQ(none.err, "vellomar: no tables found in " + s(empty) + "\n");

    for (const char* name : {".db", "t.db", "T.DB"}) ASSERT_TRUE(QFile::copy(samples + "/PARTS.DB", odd + "/" + name));
    const Outcome listed = run({"list", s(odd)});
    EXPECT_EQ(listed.err, "vellomar: " + s(odd) + "/.db: the file has no name before .db, so its table is listed "
                          "with an empty name\nvellomar: T.DB and t.db in " + s(odd) +
                              " differ only in letter case and are both listed as T\n");
    // Exported, each line names the file; a table without a name cannot name its file.
    const Outcome exported = run({"export", s(odd), "-o", s(out)});
    EXPECT_EQ(exported.status, cli::kLosses);
    EXPECT_EQ(exported.err, "vellomar: " + s(odd) + "/.db: the table has no name to name a file after; export it "
                            "alone with -o FILE\nT (" + s(odd) + "/T.DB): 250 rows -> " + s(out) + "/T.xlsx\nT (" +
                                s(odd) + "/t.db): 250 rows -> " + s(out) + "/T-2.xlsx\n");
}

TEST_F(CommandLine, OutputIsAFolderOnlyWhenItIsOneEndsInASlashOrTakesSeveralTables) {
    const std::string parts = s(samples + "/PARTS.DB");
    const Outcome txt = run({"export", parts, "-o", s(out + "/c.txt")});
    EXPECT_EQ(txt.status, cli::kNothing);
    EXPECT_EQ(txt.err.rfind("vellomar: -o " + s(out) + "/c.txt names neither a .xlsx, a .csv nor a .sqlite file: give --format, "
                            "or end a folder's name with /\n", 0), 0u) << txt.err;
    EXPECT_FALSE(QFile::exists(out + "/c.txt"));

    ASSERT_EQ(run({"export", parts, "-o", s(out + "/c.txt"), "--format", "CSV", "--bom", "-q"}).status, cli::kWhole);
    EXPECT_EQ(readText(out + "/c.txt").rfind("\xEF\xBB\xBFPart No,", 0), 0u);
    EXPECT_EQ(run({"export", parts, "-o", s(out + "/p.xlsx"), "--bom"}).status, cli::kNothing);  // CSV only
    EXPECT_EQ(run({"export", parts, "-o", s(out + "/new/"), "-q"}).status, cli::kWhole);
    EXPECT_TRUE(QFile::exists(out + "/new/PARTS.xlsx"));
    EXPECT_EQ(run({"export", s(samples), "--table", "parts", "--table", "employee", "-o", s(out + "/two.d"), "-q"}).status,
              cli::kWhole);
    EXPECT_TRUE(QFile::exists(out + "/two.d/EMPLOYEE.xlsx"));

    // A link is written through; a file replaced keeps its permissions; only a
    // regular file is replaced.
    ASSERT_TRUE(QFile::link("new/PARTS.csv", out + "/link.csv"));
    ASSERT_EQ(run({"export", parts, "-o", s(out + "/link.csv"), "-q"}).status, cli::kWhole);
    EXPECT_TRUE(QFileInfo(out + "/link.csv").isSymLink());
    EXPECT_EQ(readText(out + "/new/PARTS.csv").rfind("Part No,", 0), 0u);
    ASSERT_EQ(::chmod(QFile::encodeName(out + "/c.txt").constData(), 0600), 0);
    ASSERT_EQ(run({"export", parts, "-o", s(out + "/c.txt"), "--format", "csv", "-q"}).status, cli::kWhole);
    struct stat replaced {};
    ASSERT_EQ(::stat(QFile::encodeName(out + "/c.txt").constData(), &replaced), 0);
    EXPECT_EQ(replaced.st_mode & 0777, 0600u);
    ASSERT_EQ(::mkfifo(QFile::encodeName(out + "/fifo.csv").constData(), 0600), 0);
    const Outcome fifo = run({"export", parts, "-o", s(out + "/fifo.csv")});
    EXPECT_EQ(fifo.err, "vellomar: Could not write the file " + s(out) + "/fifo.csv: it is not a regular file.\n");
}

TEST_F(CommandLine, ASignalRemovesTheUnfinishedFileAndEndsTheProgramByIt) {
    const QString big = tmp.path() + "/BIG.DB";
    {
        paradoxwriter::Options options;
        options.blockKiB = 32;
        paradoxwriter::Writer w(big.toStdString(), {{"Id", driver::FieldType::Long}, {"Name", driver::FieldType::Alpha, 30}},
                                options);
        for (std::int64_t i = 0; i < 400'000; ++i) w.addRow({i, "name " + std::to_string(i)});
        w.finish();
    }
    QDir().mkpath(out);
    const std::string program = s(QCoreApplication::applicationDirPath() + "/vellomar");
    const auto partFiles = [&] { return QDir(out).entryList(QDir::Files | QDir::Hidden).size(); };
    // The real program, signalled while it writes (a closed pipe: its first progress line).
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        int pipeEnds[2];
        ASSERT_EQ(::pipe(pipeEnds), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            for (const int each : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) ::signal(each, SIG_DFL);
            ::dup2(pipeEnds[1], STDERR_FILENO);
            ::close(pipeEnds[0]);
            ::execl(program.c_str(), program.c_str(), "export", s(big).c_str(), "-o",
                    s(out + (signal == SIGTERM ? "/big.sqlite" : "/big.xlsx")).c_str(),
                    signal == SIGPIPE ? "--progress" : "--quiet", nullptr);
            ::_exit(127);
        }
        ::close(pipeEnds[1]);
        if (signal == SIGPIPE) {
            ::close(pipeEnds[0]);
        } else {
            for (int waited = 0; partFiles() == 0 && waited < 10'000; ++waited) ::usleep(1000);
            ASSERT_EQ(partFiles(), 1);
            ::kill(child, signal);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << ": " << status;
        EXPECT_EQ(partFiles(), 0) << signal;
        if (signal != SIGPIPE) ::close(pipeEnds[0]);
    }
}
