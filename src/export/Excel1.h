#pragma once
// The check before every import that no spreadsheet application is open already.

#include "platform/Platform.h"

#include <QString>

namespace exporting {

// True when a spreadsheet application already runs for this user and answers
// with the expected name. Any failure counts as not running.
bool IsExcelRunning(platform::Spreadsheets& spreadsheets);

// The question asked when one runs.
QString OpenExcelQuestion();

// False: go on with the import. True: stop (one runs and the user did not
// answer Yes to going on anyway).
bool CheckExcelOpen(platform::Platform& os, const QString& title);

}  // namespace exporting
