#include "shell/Main.h"
#include "support/FakePlatform.h"
#include "support/ListTexts.h"
#include "support/ScriptedFileSystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace shell;

namespace {

void fill(ListView& list, const QStringList& texts) {
    for (const QString& t : texts) list.addItem(t);
}


}  // namespace

TEST(DistinctValues, KeepsTheLastOfEachGroupInPositionOrder) {
    fakes::FakeProcess process;
    EXPECT_EQ(DistinctValues(std::vector<int>{3, 1, 3, 2, 1}, process),
              (std::vector<int>{3, 2, 1}));
    EXPECT_GT(process.eventRounds, 0);
    EXPECT_TRUE(DistinctValues(std::vector<int>{}, process).empty());
    EXPECT_EQ(DistinctValues(std::vector<QString>{"a", "A", "a"}, process),
              (std::vector<QString>{"A", "a"}));
}

TEST(SubtractListItems, RemovesExactMatchesOnlyAndKeepsOrder) {
    fakes::FakeProcess process;
    ListView a, b;
    fill(a, {"NAME", "CITY", "Name", "CITY"});
    fill(b, {"CITY"});
    SubtractListItems(a, b, process);
    EXPECT_EQ(fakes::texts(a), (QStringList{"NAME", "Name"}));
    EXPECT_EQ(fakes::texts(b), QStringList{"CITY"});

    // A position matching several items of the other list is removed once.
    ListView c, d;
    fill(c, {"X", "Y", "Z"});
    fill(d, {"Z", "Y", "Z", " Y"});
    SubtractListItems(c, d, process);
    EXPECT_EQ(fakes::texts(c), QStringList{"X"});

    ListView e, empty;
    fill(e, {"A", "B"});
    SubtractListItems(e, empty, process);
    EXPECT_EQ(fakes::texts(e), (QStringList{"A", "B"}));
}

TEST(NullToDefault, OnlyNullIsReplaced) {
    EXPECT_EQ(NullToDefault(driver::Value{driver::Null{}}, driver::Value{std::string()}),
              driver::Value{std::string()});
    EXPECT_EQ(NullToDefault(driver::Value{std::int64_t{0}}, driver::Value{std::string()}),
              driver::Value{std::int64_t{0}});
    EXPECT_EQ(NullToDefault(driver::Value{std::string()}, driver::Value{std::string("x")}),
              driver::Value{std::string()});
    EXPECT_EQ(NullToDefault(QVariant(), QVariant(QString())), QVariant(QString()));
    EXPECT_EQ(NullToDefault(QVariant(0), QVariant(QString())), QVariant(0));
}

TEST(PathTests, ExistenceFolderAndFileName) {
    platform::LinuxFileSystem files;
    QTemporaryDir dir;
    const QString file = dir.filePath("ORDERS.DB");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();

    EXPECT_FALSE(PathExists(files, ""));
    EXPECT_TRUE(PathExists(files, dir.path()));
    EXPECT_TRUE(PathExists(files, file));
    EXPECT_FALSE(PathExists(files, dir.filePath("missing")));
    EXPECT_FALSE(PathExists(files, QString("bad") + QChar(0) + "path"));

    EXPECT_TRUE(IsFolder(files, dir.path()));
    EXPECT_FALSE(IsFolder(files, file));
    EXPECT_FALSE(IsFolder(files, dir.filePath("missing")));

    EXPECT_EQ(FileNameFromPath("/data/ORDERS.DB"), "ORDERS.DB");
    EXPECT_EQ(FileNameFromPath("ORDERS.DB"), "ORDERS.DB");
    EXPECT_EQ(FileNameFromPath("/data/"), "");
}

TEST(ProgramDriveRoot, IsTheHomeFolderWhenTheUserCanWriteThere) {
    fakes::ScriptedFileSystem files;
    files.add("/home");
    files.add("/home/ann");
    files.add("/home/guest", platform::Directory | platform::ReadOnly);
    fakes::FakeProcess process;
    process.folder = "/usr/bin";  // where the program lies plays no part

    process.home = "/home/ann/";
    EXPECT_EQ(ProgramDriveRoot(files, process), "/home/ann/");
    for (const QString& unusable : {QString("/home/guest"), QString("/nonexistent"), QString()}) {
        process.home = unusable;
        EXPECT_EQ(ProgramDriveRoot(files, process), "") << unusable.toStdString();
    }
}

TEST(ApplicationTitle, CutsTheLastWordThenWhileLongerThanForty) {
    EXPECT_EQ(ApplicationTitleFor("Vellomar"), "Vellomar");
    EXPECT_EQ(ApplicationTitleFor("Vellomar Paradox Exporter"), "Vellomar Paradox");
    EXPECT_EQ(ApplicationTitleFor("Short Name"), "Short");
    // 45 characters with blanks: one cut gives 36, which is short enough.
    EXPECT_EQ(ApplicationTitleFor("Vellomar Paradox to Spreadsheet Wizard Edition"),
              "Vellomar Paradox to Spreadsheet Wizard");
    EXPECT_EQ(ApplicationTitleFor("Aaaaaaaaaa Bbbbbbbbbb Cccccccccc Dddddddddd Eeeeeeeeee"),
              "Aaaaaaaaaa Bbbbbbbbbb Cccccccccc");
    // Nothing left to cut: the text stays rather than failing.
    EXPECT_EQ(ApplicationTitleFor(QString(45, 'x') + " y"), QString(45, 'x'));
}
