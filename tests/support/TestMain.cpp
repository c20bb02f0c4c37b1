// Every test process gets Qt's offscreen platform and its own runtime and
// configuration folders, so no test touches the real user's settings or display.

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

int main(int argc, char** argv) {
    QTemporaryDir home;
    const QByteArray root = home.path().toUtf8();
    const QByteArray runtime = root + "/runtime";
    const QByteArray config = root + "/config";
    ::mkdir(runtime.constData(), 0700);
    ::mkdir(config.constData(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.constData(), 1);
    ::setenv("XDG_CONFIG_HOME", config.constData(), 1);
    ::setenv("HOME", root.constData(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
