#include "datasource/TableListView.h"
#include "support/FakePlatform.h"
#include "support/ListTexts.h"
#include "support/ScriptedFileSystem.h"
#include "support/WrittenTables.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

using namespace datasource;

namespace {

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}

}  // namespace

TEST(ConnectionString, IsTheDriversTextWithTheFolderTwice) {
    EXPECT_EQ(ParadoxConnectionString("/home/ann/Data"),
              "Driver={Microsoft Paradox Driver (*.db )};DriverID=538;Fil=Paradox 5.X;"
              "DefaultDir=/home/ann/Data;Dbq=/home/ann/Data;CollatingSequence=ASCII;");
    EXPECT_EQ(ParadoxConnectionString("/data/"),
              "Driver={Microsoft Paradox Driver (*.db )};DriverID=538;Fil=Paradox 5.X;"
              "DefaultDir=/data/;Dbq=/data/;CollatingSequence=ASCII;");
    // A folder that could be read as further keys goes in braces.
    EXPECT_EQ(ParadoxConnectionString("/d;Driver={x}"),
              "Driver={Microsoft Paradox Driver (*.db )};DriverID=538;Fil=Paradox 5.X;"
              "DefaultDir={/d;Driver={x}}};Dbq={/d;Driver={x}}};CollatingSequence=ASCII;");
}

TEST(OpenParadoxConnection, OpensFoldersWhoseNamesHoldSeparatorsAndBraces) {
    QTemporaryDir tmp;
    for (const QString& name : {QString("a;b"), QString("c}d{e"), QString("with blank ")}) {
        const QString folder = tmp.filePath(name);
        testsupport::writeCountry((folder + "/country.db").toStdString());

        platform::Connection connection = OpenParadoxConnection(folder, platform::adUseServer);
        EXPECT_EQ(connection.CursorLocation(), platform::adUseServer);
        platform::Recordset rs;
        rs.Open("SELECT * FROM [COUNTRY];", connection, platform::adOpenDynamic, platform::adLockOptimistic);
        EXPECT_EQ(rs.RecordCount(), 18) << name.toStdString();
    }
    EXPECT_THROW(OpenParadoxConnection(tmp.filePath("missing"), platform::adUseClient), std::exception);
}

TEST(ParadoxFolderHasTables, LooksBelowTheFolderToo) {
    QTemporaryDir tmp;
    fakes::FakePlatform fake;
    EXPECT_FALSE(ParadoxFolderHasTables(fake.platform(), ""));
    EXPECT_FALSE(ParadoxFolderHasTables(fake.platform(), tmp.filePath("missing")));

    ASSERT_TRUE(QDir(tmp.path()).mkpath("sub/deeper"));
    EXPECT_FALSE(ParadoxFolderHasTables(fake.platform(), tmp.path()));
    touch(tmp.filePath("sub/deeper/orders.db"));
    EXPECT_TRUE(ParadoxFolderHasTables(fake.platform(), tmp.path()));
    EXPECT_TRUE(ParadoxFolderHasTables(fake.platform(), tmp.path() + "/"));

    QTemporaryDir own;
    touch(own.filePath("~lock.db"));  // the folder's own files count whatever their names
    EXPECT_TRUE(ParadoxFolderHasTables(fake.platform(), own.path()));
}

TEST(ParadoxFolderHasTables, KeepsToTheScansRulesAndStopsAtTheFirstTable) {
    // Records which folders are listed for their subfolders.
    struct RecordingFileSystem : fakes::ScriptedFileSystem {
        void forEachSubFolder(const QString& folder, const std::function<void(const QString&)>& visit) const override {
            listed.push_back(folder);
            ScriptedFileSystem::forEachSubFolder(folder, visit);
        }
        mutable std::vector<QString> listed;
    } fs;
    fs.add("/");
    fs.add("/data");
    fs.add("/data/sys", platform::Directory | platform::Hidden | platform::System).files = {"hidden.db"};
    fs.add("/data/a").files = {"orders.db"};
    fs.add("/data/b");
    fs.add("/data/b/deep").files = {"items.db"};
    fakes::FakePlatform fake(&fs);

    EXPECT_TRUE(ParadoxFolderHasTables(fake.platform(), "/data"));
    EXPECT_EQ(fs.listed, std::vector<QString>{"/data/"});  // "a" holds a table: "b" is never opened

    fs.folders["/data/a"].files.clear();
    fs.folders["/data/b/deep"].files.clear();
    EXPECT_FALSE(ParadoxFolderHasTables(fake.platform(), "/data"));  // a hidden system folder does not count
}

TEST(AddTablesToParadoxListbox, ListsTablesFolderFirstThenSubfolders) {
    QTemporaryDir tmp;
    QDir root(tmp.path());
    ASSERT_TRUE(root.mkpath("sub/deeper"));
    for (const char* f : {"orders.db", "Parts.DB", "~tmp.db", "my.dbase.db", "notes.txt", ".hidden.db",
                          "sub/orders.DB", "sub/deeper/ITEMS.db"})
        touch(tmp.filePath(f));
    fakes::FakePlatform fake;
    shell::ListView list;
    list.addItem("stale");

    AddTablesToParadoxListbox(list, tmp.path(), fake.platform());
    // The folder's own tables first, in listing order (by name, case ignored), then each level below.
    EXPECT_EQ(fakes::texts(list), (QStringList{".HIDDEN", "MY.DBASE", "ORDERS", "PARTS", "ORDERS", "ITEMS"}));
    EXPECT_TRUE(fake.messages.shown.empty());

    // A second run replaces the list rather than doubling it.
    AddTablesToParadoxListbox(list, tmp.path(), fake.platform());
    EXPECT_EQ(list.count(), 6);

    AddTablesToParadoxListbox(list, "", fake.platform());
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(fake.messages.shown.empty());
}

TEST(AddTablesToParadoxListbox, EachEntryOpensItsOwnFile) {
    QTemporaryDir tmp;
    const QString top = tmp.path();
    const std::filesystem::path root = top.toStdString();
    const QByteArray latin1 = QFile::encodeName(top) + "/caf\xe9.db";  // not UTF-8
    testsupport::writeCountry(root / "Straße.db");
    for (const auto& [file, rows] : {std::pair{"Café Menü.db", 55}, {"cafe.db", 205}, {"my.dbase.db", 23},
                                     {"A/same.db", 59}, {"b/same.db", 945}})
        testsupport::writeNumbered(root / file, rows);
    std::filesystem::rename(root / "cafe.db", latin1.toStdString());
    ASSERT_EQ(::mkfifo(QFile::encodeName(top + "/PIPE.db").constData(), 0600), 0);  // never listed
    ASSERT_TRUE(QFile::link(top + "/Café Menü.db", top + "/link.db"));
    ASSERT_TRUE(QFile::link(top + "/gone", top + "/dangling.db"));

    fakes::FakePlatform fake;
    shell::ListView list;
    AddTablesToParadoxListbox(list, top, fake.platform());
    EXPECT_EQ(fakes::texts(list), (QStringList{"CAFÉ MENÜ", "CAF\uFFFD", "LINK", "MY.DBASE", "STRASSE", "SAME", "SAME"}));
    EXPECT_EQ(PlaceOfEntry(list, 2).fileName, "caf\xe9.db");
    EXPECT_EQ(PlaceOfEntry(list, 5).fileName, "Straße.db");
    EXPECT_EQ(PlaceOfEntry(list, 7).folder, top + "/b");
    EXPECT_EQ(list.topLevelItem(6)->toolTip(0), top + "/b");

    // Each entry opens its own file by its own text: the row counts tell them apart.
    std::vector<std::int64_t> rows;
    for (int i = 1; i <= list.count(); ++i) {
        platform::Connection connection;
        OpenTablePlace(connection, PlaceOfEntry(list, i));
        platform::Recordset rs;
        rs.Open("SELECT * FROM [" + list.itemText(i) + "];", connection);
        rows.push_back(rs.RecordCount());
    }
    EXPECT_EQ(rows, (std::vector<std::int64_t>{55, 205, 55, 23, 18, 59, 945}));
    EXPECT_TRUE(fake.messages.shown.empty());
    std::filesystem::remove(latin1.toStdString());  // a name QTemporaryDir cannot remove
}
