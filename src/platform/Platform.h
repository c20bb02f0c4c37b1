#pragma once
// Everything the program needs from the outside world, in one place. The
// program wires the real pieces; tests wire doubles.

#include "platform/FileSystem.h"
#include "platform/FolderDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/Process.h"
#include "platform/Settings.h"
#include "platform/Spreadsheet.h"
#include "platform/Window.h"

#include <memory>

namespace platform {

struct Platform {
    MessageBoxes& messages;
    SettingsStore& settings;
    Process& process;
    FileSystem& files;
    FolderDialogs& folderDialogs;
    Spreadsheets& spreadsheets;
    WindowFactory windows;
};

// The real pieces, owned together.
class RealPlatform {
public:
    RealPlatform();
    Platform& platform() { return platform_; }

private:
    QtMessageBoxes messages_;
    IniSettingsStore settings_;
    QtProcess process_;
    LinuxFileSystem files_;
    QtFolderDialogs folderDialogs_;
    XlsxSpreadsheets spreadsheets_;
    Platform platform_;
};

}  // namespace platform
