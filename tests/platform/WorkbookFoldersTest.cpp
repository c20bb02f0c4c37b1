#include "platform/Spreadsheet.h"
#include "platform/WorkbookFolders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/time.h>

namespace {

void age(const QString& path, long seconds) {
    struct timeval then[2] {};
    then[0].tv_sec = then[1].tv_sec = ::time(nullptr) - seconds;
    ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), then), 0);
}

}  // namespace

TEST(WorkbookFolders, OnlyThisProgramsFoldersOlderThanTheLifetimeGo) {
    QTemporaryDir temp;
    const QString old = platform::MakeWorkbookFolder(temp.path());
    const QString young = platform::MakeWorkbookFolder(temp.path());
    const QString other = temp.path() + "/other-XXXXXX";
    ASSERT_TRUE(QDir().mkpath(old + "/inner"));
    ASSERT_TRUE(QDir().mkpath(other));
    QFile book(old + "/Book1.xlsx");
    ASSERT_TRUE(book.open(QIODevice::WriteOnly));
    book.close();
    age(old, 25 * 3600);
    age(other, 25 * 3600);

    EXPECT_EQ(platform::RemoveOldWorkbookFolders(temp.path(), platform::kWorkbookFolderLifetime), 1);
    EXPECT_FALSE(QDir(old).exists());
    EXPECT_TRUE(QDir(young).exists());
    EXPECT_TRUE(QDir(other).exists());
    EXPECT_EQ(QFile::permissions(young) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions{});
}

TEST(WorkbookFolders, ATemporaryFolderThatCannotTakeOneIsNamedWithItsCause) {
    QTemporaryDir temp;
    const auto message = [](const QString& folder) -> std::string {
        try {
            platform::CheckTemporaryFolder(folder);
        } catch (const platform::TemporaryFolderError& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_EQ(message(temp.path()), "no error");
    QFile file(temp.path() + "/file");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(message(file.fileName()).rfind("No workbook can be written: the temporary folder \"" +
                                                  file.fileName().toStdString() + "\" is not a folder.\r\n",
                                              0),
              0u);
    EXPECT_NE(message(temp.path() + "/missing").find("\" does not exist.\r\n"), std::string::npos);
}
