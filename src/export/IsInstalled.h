#pragma once
// The start-up check that a spreadsheet can be made and shown at all.

#include "platform/Platform.h"

#include <QString>

namespace exporting {

// The advice shown when no spreadsheet can be started.
QString InstallationMessage();

// Returns when a new spreadsheet application can be created; otherwise shows
// the installation advice (titled `title`), or what is wrong with the
// temporary folder when that is the cause, and ends the program.
void CheckExcelInstalled(platform::Platform& os, const QString& title);

}  // namespace exporting
