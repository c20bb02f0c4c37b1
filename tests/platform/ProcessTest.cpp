#include "platform/Process.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using platform::DataFolderOf;

TEST(DataFolderOf, BesideTheProgramInABuildTreeElseUnderShareOfItsPrefix) {
    QTemporaryDir root;
    const QString prefix = root.path() + "/usr";  // an installation: bin/ and share/vellomar/
    ASSERT_TRUE(QDir().mkpath(prefix + "/bin"));
    ASSERT_TRUE(QDir().mkpath(prefix + "/share/vellomar/Samples"));
    EXPECT_EQ(DataFolderOf(prefix + "/bin"), prefix + "/share/vellomar");

    const QString build = root.path() + "/build/bin";  // a build tree: everything beside the program
    ASSERT_TRUE(QDir().mkpath(build + "/Samples"));
    EXPECT_EQ(DataFolderOf(build), build);

    // Neither: the program's folder, where the screens then find nothing.
    EXPECT_EQ(DataFolderOf(root.path()), root.path());
}
