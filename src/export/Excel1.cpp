#include "export/Excel1.h"

namespace exporting {

bool IsExcelRunning(platform::Spreadsheets& spreadsheets) {
    try {
        const auto running = spreadsheets.getRunning();
        return running && running->name() == platform::kSpreadsheetApplicationName;
    } catch (...) {
        return false;
    }
}

QString OpenExcelQuestion() {
    return "Excel may be open. It is recommended that you close Excel first.\r"
           "Close the spreadsheet application's windows, or end soffice.bin in the system monitor, if necessary.\r\n\r\n"
           "Would you like to proceed anyway?";
}

bool CheckExcelOpen(platform::Platform& os, const QString& title) {
    if (!IsExcelRunning(os.spreadsheets)) return false;
    return os.messages.show(OpenExcelQuestion(), title, platform::Buttons::YesNo) != platform::Answer::Yes;
}

}  // namespace exporting
