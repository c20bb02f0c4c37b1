#include "datasource/Paradox.h"
#include "support/Corpus.h"
#include "support/FakePlatform.h"
#include "support/ListTexts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace datasource;

namespace {

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}


const QString kCorpus = QString::fromStdString(testsupport::corpusFolder());

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
    VELLOMAR_NEEDS_CORPUS();
    QTemporaryDir tmp;
    for (const QString& name : {QString("a;b"), QString("c}d{e"), QString("with blank ")}) {
        const QString folder = tmp.filePath(name);
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(QFile::copy(kCorpus + "/flrizzato-DelphiAcademy/country.db", folder + "/country.db"));

        platform::Connection connection = OpenParadoxConnection(folder, platform::adUseServer);
        EXPECT_EQ(connection.CursorLocation(), platform::adUseServer);
        platform::Recordset rs;
        rs.Open("SELECT * FROM [COUNTRY];", connection, platform::adOpenDynamic, platform::adLockOptimistic);
        EXPECT_EQ(rs.RecordCount(), 18) << name.toStdString();
    }
    EXPECT_THROW(OpenParadoxConnection(tmp.filePath("missing"), platform::adUseClient), std::exception);
}

TEST(ParadoxFolderHasTables, LooksAtTheFolderItselfOnly) {
    platform::LinuxFileSystem files;
    QTemporaryDir tmp;
    EXPECT_FALSE(ParadoxFolderHasTables(files, ""));
    EXPECT_FALSE(ParadoxFolderHasTables(files, tmp.filePath("missing")));

    ASSERT_TRUE(QDir(tmp.path()).mkpath("sub"));
    touch(tmp.filePath("sub/orders.db"));
    EXPECT_FALSE(ParadoxFolderHasTables(files, tmp.path()));

    touch(tmp.filePath("~lock.db"));
    EXPECT_TRUE(ParadoxFolderHasTables(files, tmp.path()));
    EXPECT_TRUE(ParadoxFolderHasTables(files, tmp.path() + "/"));
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
    QStringList got = fakes::texts(list);
    ASSERT_EQ(got.size(), 6);
    // The folder's own tables first (in listing order), then each level below.
    QStringList own = got.mid(0, 4);
    own.sort();
    EXPECT_EQ(own, (QStringList{".HIDDEN", "MYASE", "ORDERS", "PARTS"}));
    EXPECT_EQ(got.mid(4), (QStringList{"ORDERS", "ITEMS"}));
    EXPECT_TRUE(fake.messages.shown.empty());

    // A second run replaces the list rather than doubling it.
    AddTablesToParadoxListbox(list, tmp.path(), fake.platform());
    EXPECT_EQ(list.count(), 6);

    AddTablesToParadoxListbox(list, "", fake.platform());
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(fake.messages.shown.empty());
}
