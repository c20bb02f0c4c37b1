#include "platform/Settings.h"

#include <QDir>
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
    try {
        store.SaveSetting("Quillmark", "Vellomar", "ParadoxFile", "x");
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Could not write the settings file " + store.fileFor("Quillmark").toStdString() + " (Not a directory).");
    }
}

TEST(IniSettingsStore, AFileOfRandomBytesGivesWhatItCanAndTakesNewValues) {
    QTemporaryDir config;
    IniSettingsStore store(config.path());
    ASSERT_TRUE(QDir().mkpath(config.path() + "/Quillmark"));
    QFile file(store.fileFor("Quillmark"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray noise;
    for (int i = 0; i < 4096; ++i) noise += char((i * 7919 + 13) % 256);
    file.write("[Vellomar]\nParadoxFile=/kept\n" + noise);
    file.close();

    EXPECT_EQ(store.GetSetting("Quillmark", "Vellomar", "ParadoxFile", "none"), "/kept");
    EXPECT_NO_THROW(store.SaveSetting("Quillmark", "Vellomar", "ParadoxFile", "/new"));
    EXPECT_EQ(IniSettingsStore(config.path()).GetSetting("Quillmark", "Vellomar", "ParadoxFile", ""), "/new");
}
