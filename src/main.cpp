#include "cli/CommandLine.h"
#include "platform/Platform.h"
#include "screens/Wizard.h"

#include <QApplication>

// Without arguments the wizard starts; with any, the command line runs, with
// no display and no window.
int main(int argc, char** argv) {
    if (argc > 1) return cli::runCommandLine(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(VELLOMAR_APP_ID));
    platform::RealPlatform platform;
    screens::Wizard wizard(platform.platform());
    wizard.start();
    return app.exec();
}
