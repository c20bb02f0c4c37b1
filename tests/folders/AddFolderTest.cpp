#include "folders/AddFolder.h"
#include "support/FakePlatform.h"
#include "support/ScriptedFileSystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

using folders::GetFileList;
using folders::GetSubDirectories2016;
using folders::HasInvalidCharacters;

namespace {

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}

std::vector<QString> walk(platform::Platform& os, const QString& start, bool recurse = true) {
    std::vector<QString> list{start};
    GetSubDirectories2016(list, recurse, os);
    return list;
}

// Paths relative to `root`, for readable expectations.
std::vector<QString> relative(const std::vector<QString>& paths, const QString& root) {
    std::vector<QString> out;
    for (const QString& p : paths) out.push_back(p.mid(root.size()));
    return out;
}

constexpr std::uint32_t kDir = platform::Directory;

}  // namespace

TEST(FolderScan, RealTreeIsListedBreadthFirstEachParentByName) {
    QTemporaryDir tmp;
    QDir root(tmp.path());
    for (const char* d : {"b", "b/b2", "b/B1", "b/b_", "A", "A/a1", "A/a1/deep"}) ASSERT_TRUE(root.mkpath(d));
    fakes::FakePlatform fake;
    const QString start = tmp.path() + "/";
    auto result = relative(walk(fake.platform(), start), start);

    // Within a parent, by name with letter case ignored as a directory listing
    // reads ("_" after the letters), whatever order the folder stores them in.
    EXPECT_EQ(result, (std::vector<QString>{"", "A/", "b/", "A/a1/", "b/B1/", "b/b2/", "b/b_/", "A/a1/deep/"}));
    EXPECT_GT(fake.process.eventRounds, 6);

    auto firstLevel = relative(walk(fake.platform(), start, false), start);
    EXPECT_EQ(firstLevel.size(), 3u);

    // No subfolders: the list stays as it was.
    EXPECT_EQ(walk(fake.platform(), start + "a/a1/deep/"), std::vector<QString>{start + "a/a1/deep/"});
}

TEST(FolderScan, HiddenSystemValuesAreComparedWhole) {
    fakes::ScriptedFileSystem fs;
    fs.add("/", kDir | platform::Hidden | platform::System);  // 22, but the root
    fs.add("/data");
    fs.add("/data/sys", 22);
    fs.add("/data/sys/inner");
    fs.add("/data/junction", 1046);
    fs.add("/data/junction/inner");
    fs.add("/data/readonly-sys", 23);
    fs.add("/data/readonly-sys/inner");
    fakes::FakePlatform fake(&fs);

    EXPECT_EQ(walk(fake.platform(), "/"),
              (std::vector<QString>{"/", "/data/", "/data/readonly-sys/", "/data/readonly-sys/inner/"}));
    // A starting folder of value 22 that is not the root stays but is not searched.
    EXPECT_EQ(walk(fake.platform(), "/data/sys/"), std::vector<QString>{"/data/sys/"});
}

TEST(FolderScan, UnreadableFoldersAreLeftOutAndSiblingsWalked) {
    fakes::ScriptedFileSystem fs;
    fs.add("/");
    fs.add("/t");
    fs.add("/t/locked").listingError = platform::FileSystemError::PermissionDenied;
    fs.add("/t/locked/x");
    fs.add("/t/open");
    fs.add("/t/open/y");
    auto& partial = fs.add("/t/partial");
    fs.add("/t/partial/p1");
    fs.add("/t/partial/p2");
    partial.listingError = platform::FileSystemError::Other;
    partial.failAfter = 1;
    fakes::FakePlatform fake(&fs);

    EXPECT_EQ(walk(fake.platform(), "/t/"),
              (std::vector<QString>{"/t/", "/t/open/", "/t/partial/", "/t/open/y/", "/t/partial/p1/"}));
    EXPECT_TRUE(fake.messages.shown.empty());

    // A starting folder that cannot be listed is taken out of the list.
    EXPECT_TRUE(walk(fake.platform(), "/t/locked/").empty());
}

TEST(FolderScan, NamesTheSystemCodePageRefusesAreSkipped) {
    fakes::ScriptedFileSystem fs;
    fs.add("/");
    for (const QString& name : {QString("Café"), QString("Ærø"), QString("tab\tname"),
                                QString("euro€"), QString("latvian ā"), QString("what?"),
                                QString(259, 'n'), QString(260, 'n')})
        fs.add("/" + name);
    fakes::FakePlatform fake(&fs);
    qputenv("LC_ALL", "de_DE.UTF-8");
    const auto result = walk(fake.platform(), "/", false);
    qunsetenv("LC_ALL");
    EXPECT_EQ(result, (std::vector<QString>{"/", "/Café/", "/Ærø/", "/" + QString(259, 'n') + "/"}));
}

TEST(FolderScan, ALinkBackToAParentIsWalkedOnce) {
    QTemporaryDir tmp;
    QDir root(tmp.path());
    ASSERT_TRUE(root.mkpath("a/b"));
    ASSERT_EQ(::symlink("..", QFile::encodeName(tmp.path() + "/a/b/up").constData()), 0);
    ASSERT_EQ(::symlink(".", QFile::encodeName(tmp.path() + "/a/self").constData()), 0);
    fakes::FakePlatform fake;
    const QString start = tmp.path() + "/";
    EXPECT_EQ(relative(walk(fake.platform(), start), start), (std::vector<QString>{"", "a/", "a/b/"}));
}

TEST(HasInvalidCharacters, FollowsTheAnsiCodePage) {
    EXPECT_FALSE(HasInvalidCharacters("", 1252));
    EXPECT_FALSE(HasInvalidCharacters("Orders 2024 (copy)", 1252));
    EXPECT_FALSE(HasInvalidCharacters("Größe_é", 1252));
    EXPECT_FALSE(HasInvalidCharacters(QString(QChar(0xA0)), 1252));  // 160 is fine
    EXPECT_TRUE(HasInvalidCharacters(QString(QChar(0x7F)), 1252));
    EXPECT_TRUE(HasInvalidCharacters("€", 1252));       // 128
    EXPECT_TRUE(HasInvalidCharacters("ŸES", 1252));     // 159
    EXPECT_TRUE(HasInvalidCharacters("ž", 1252));       // 158
    EXPECT_TRUE(HasInvalidCharacters("Ω", 1252));       // not in the page
    EXPECT_TRUE(HasInvalidCharacters("a?", 1252));
    EXPECT_TRUE(HasInvalidCharacters("😀", 1252));
    EXPECT_FALSE(HasInvalidCharacters("Łódka", 1250));
    EXPECT_TRUE(HasInvalidCharacters("Łódź", 1250));  // ź is 159 there
    EXPECT_TRUE(HasInvalidCharacters("Łódź", 1252));
    EXPECT_FALSE(HasInvalidCharacters("Москва", 1251));
    EXPECT_TRUE(HasInvalidCharacters("中文", 936));     // double-byte codes are negative
    EXPECT_FALSE(HasInvalidCharacters("abc", 932));
}

TEST(HasInvalidCharacters, CodePageFromTheLocale) {
    EXPECT_EQ(folders::AnsiCodePageForLocale("de_DE.UTF-8"), 1252);
    EXPECT_EQ(folders::AnsiCodePageForLocale("C"), 1252);
    EXPECT_EQ(folders::AnsiCodePageForLocale("pl_PL.UTF-8"), 1250);
    EXPECT_EQ(folders::AnsiCodePageForLocale("ru_RU.UTF-8"), 1251);
    EXPECT_EQ(folders::AnsiCodePageForLocale("el_GR"), 1253);
    EXPECT_EQ(folders::AnsiCodePageForLocale("th_TH.UTF-8"), 874);
    EXPECT_EQ(folders::AnsiCodePageForLocale("ja_JP.UTF-8"), 932);
    EXPECT_EQ(folders::AnsiCodePageForLocale("zh_CN.UTF-8"), 936);
    EXPECT_EQ(folders::AnsiCodePageForLocale("zh_TW.UTF-8"), 950);
    EXPECT_EQ(folders::AnsiCodePageForLocale("ko_KR.UTF-8"), 949);
    EXPECT_EQ(folders::AnsiCodePageForLocale("sr_RS@latin"), 1251);
}

TEST(GetFileList, MatchesLetterCaseIgnoredWithHiddenFilesAndWithoutFolders) {
    QTemporaryDir tmp;
    for (const char* f : {"orders.db", "PARTS.DB", ".hidden.Db", "notes.txt", "x.dbf"})
        touch(tmp.filePath(f));
    ASSERT_TRUE(QDir(tmp.path()).mkdir("folder.db"));
    platform::LinuxFileSystem files;
    const auto texts = [](const std::vector<platform::FileName>& names) {
        std::vector<QString> all;
        for (const platform::FileName& name : names) all.push_back(name.text);
        return all;
    };

    const auto plain = texts(GetFileList(files, tmp.path(), "*.db"));
    EXPECT_EQ(plain, (std::vector<QString>{".hidden.Db", "orders.db", "PARTS.DB"}));
    EXPECT_EQ(plain, texts(GetFileList(files, tmp.path() + "/", "*.db")));

    ASSERT_TRUE(QDir(tmp.path()).mkdir("empty"));
    EXPECT_TRUE(GetFileList(files, tmp.filePath("empty"), "*.db").empty());
    EXPECT_TRUE(GetFileList(files, tmp.filePath("missing"), "*.db").empty());
    EXPECT_FALSE(folders::IsExistingFile(files, tmp.filePath("folder.db")));
    EXPECT_TRUE(folders::IsExistingFile(files, tmp.filePath("orders.db")));
}
