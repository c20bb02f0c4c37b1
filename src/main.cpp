#include "platform/Platform.h"
#include "screens/Wizard.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    platform::RealPlatform platform;
    screens::Wizard wizard(platform.platform());
    wizard.start();
    return app.exec();
}
