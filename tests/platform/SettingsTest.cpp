#include "platform/Settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using platform::IniSettingsStore;

TEST(IniSettingsStore, DefaultsThenWritesSeenByAFreshStore) {
    QTemporaryDir config;
    IniSettingsStore writer(config.path());
    EXPECT_EQ(writer.GetSetting("Quillmark", "Vellomar", "ParadoxFile", ""), "");
    EXPECT_EQ(writer.GetSetting("Quillmark", "Vellomar", "LastFolderDot", "none"), "none");

    writer.SaveSetting("Quillmark", "Vellomar", "ParadoxFile", "/data/Größe; x=1 [a]");
    IniSettingsStore reader(config.path());
    EXPECT_EQ(reader.GetSetting("Quillmark", "Vellomar", "ParadoxFile", ""), "/data/Größe; x=1 [a]");

    // Nothing cached: a later write by another store is seen by the first one.
    reader.SaveSetting("Quillmark", "Vellomar", "ParadoxFile", "/other");
    EXPECT_EQ(writer.GetSetting("Quillmark", "Vellomar", "ParadoxFile", ""), "/other");

    QFile file(config.path() + "/Quillmark/Quillmark.ini");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[Vellomar]"));
    EXPECT_TRUE(text.contains("ParadoxFile=/other"));
}

TEST(IniSettingsStore, UsesTheUsersConfigurationFolderByDefault) {
    IniSettingsStore store;
    EXPECT_EQ(store.fileFor("Quillmark"),
              QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + "/Quillmark/Quillmark.ini");
}

TEST(IniSettingsStore, AFailedWriteIsRaised) {
    QTemporaryDir config;
    QFile blocker(config.path() + "/Quillmark");  // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    IniSettingsStore store(config.path());
    EXPECT_THROW(store.SaveSetting("Quillmark", "Vellomar", "ParadoxFile", "x"), std::runtime_error);
}
