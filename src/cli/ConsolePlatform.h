#pragma once
// The platform a command-line run gives the discovery it shares with the
// wizard: the real file system, no window events to let through, and
// message boxes that become lines on standard error. Nothing here shows a
// window, reads or writes settings, or starts a spreadsheet application.

#include "platform/Platform.h"

#include <cstdio>

namespace cli {

class ConsolePlatform {
public:
    explicit ConsolePlatform(std::FILE* err);
    ConsolePlatform(const ConsolePlatform&) = delete;
    ConsolePlatform& operator=(const ConsolePlatform&) = delete;

    platform::Platform& platform() { return platform_; }

private:
    class Messages : public platform::MessageBoxes {
    public:
        explicit Messages(std::FILE* err) : err_(err) {}
        platform::Answer show(const QString& text, const QString& title, platform::Buttons buttons,
                              platform::Icon icon) override;

    private:
        std::FILE* err_;
    };
    class Settings : public platform::SettingsStore {
    public:
        QString GetSetting(const QString&, const QString&, const QString&, const QString& fallback) const override {
            return fallback;
        }
        void SaveSetting(const QString&, const QString&, const QString&, const QString&) override {}
    };
    class Process : public platform::Process {
    public:
        // The discovery needs neither; nothing of the program's own is read.
        QString programFolder() const override { return {}; }
        QString dataFolder() const override { return {}; }
        QString homeFolder() const override;
        void processEvents() override {}
        void end() override;
    };
    class NoDialogs : public platform::FolderDialogs {
    public:
        QString chooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    };
    class NoSpreadsheets : public platform::Spreadsheets {
    public:
        std::unique_ptr<platform::SpreadsheetApplication> createNew() override;
        std::unique_ptr<platform::SpreadsheetApplication> getRunning() override;
    };

    Messages messages_;
    Settings settings_;
    Process process_;
    platform::LinuxFileSystem files_;
    NoDialogs dialogs_;
    NoSpreadsheets spreadsheets_;
    platform::Platform platform_;
};

}  // namespace cli
