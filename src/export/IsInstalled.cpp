#include "export/IsInstalled.h"

namespace exporting {

QString InstallationMessage() {
    const QString gap = "\r\n\r\n";
    return "Error 842001. A normal instance of Excel could not be created." + gap +
           "1. Please make sure Excel is installed on this computer." + gap +
           "2. Please open Excel normally and make sure a blank spreadsheet opens immediately without "
           "any interrupting window (such as an Excel file recovery window)." + gap +
           "3. Please make sure that when you double-click on a XLS or XLSX file that Excel opens "
           "normally without any interrupting messages." + gap +
           "4. All versions of Excel are supported by this software except for the rare Excel Starter "
           "and Student editions.";
}

void CheckExcelInstalled(platform::Platform& os, const QString& title) {
    QString message = InstallationMessage();
    try {
        // Only a test: the instance is let go at once and never shown.
        if (os.spreadsheets.createNew()) return;
    } catch (const platform::TemporaryFolderError& e) {
        // Installing a spreadsheet application would not help.
        message = QString::fromUtf8(e.what());
    } catch (const std::exception&) {
    }
    os.messages.show(message, title, platform::Buttons::Ok);
    os.process.end();
}

}  // namespace exporting
