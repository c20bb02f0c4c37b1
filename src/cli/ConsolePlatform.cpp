#include "cli/ConsolePlatform.h"

#include <QFile>

#include <cstdlib>
#include <stdexcept>

namespace cli {

ConsolePlatform::ConsolePlatform(std::FILE* err)
    : messages_(err),
      platform_{messages_, settings_, process_, files_, dialogs_, spreadsheets_,
                [](QWidget*) -> std::unique_ptr<platform::Window> { throw std::logic_error("no windows here"); }} {}

platform::Answer ConsolePlatform::Messages::show(const QString& text, const QString&, platform::Buttons buttons,
                                                 platform::Icon) {
    // A report's line breaks are carriage returns and line feeds; a terminal wants line feeds.
    QString lines = text;
    lines.replace("\r\n", "\n").replace('\r', '\n');
    std::fprintf(err_, "vellomar: %s\n", lines.toStdString().c_str());
    return buttons == platform::Buttons::Ok ? platform::Answer::Ok : platform::Answer::No;
}

QString ConsolePlatform::Process::homeFolder() const { return QFile::decodeName(qgetenv("HOME")); }

void ConsolePlatform::Process::end() { std::exit(0); }

std::unique_ptr<platform::SpreadsheetApplication> ConsolePlatform::NoSpreadsheets::createNew() {
    throw std::runtime_error("The command line shows no workbooks.");
}

std::unique_ptr<platform::SpreadsheetApplication> ConsolePlatform::NoSpreadsheets::getRunning() {
    throw std::runtime_error("The command line shows no workbooks.");
}

}  // namespace cli
