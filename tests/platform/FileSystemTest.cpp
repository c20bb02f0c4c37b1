#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

void expectHiddenSystemFolders() {
    const platform::LinuxFileSystem files;  // reads the mount table afresh
    for (const char* folder : {"/proc", "/sys", "/proc/sys/", "/sys/kernel"})
        EXPECT_EQ(files.attributes(folder), platform::Directory | platform::Hidden | platform::System)
            << folder << " as user " << ::getuid();
}

}  // namespace

TEST(LinuxFileSystem, KernelFoldersAreHiddenSystemFoldersForEveryUser) {
    expectHiddenSystemFolders();
    if (::geteuid() != 0) return;  // an ordinary user already
    // As an ordinary user, who may not write there; the saved id lets the test return to root.
    ASSERT_EQ(::setresuid(65534, 65534, 0), 0);
    expectHiddenSystemFolders();
    ASSERT_EQ(::setresuid(0, 0, 0), 0);
}
