#pragma once
// Test doubles for every piece of the platform, wired together.

#include "platform/Platform.h"
#include "support/Printers.h"

#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace fakes {

// How a box was shown: waiting for the user (show), waiting and kept above
// every other window (showInFront), or without waiting and without taking
// the keyboard (notify).
enum class BoxKind { Modal, InFront, Notice };

struct ShownBox {
    QString text;
    QString title;
    platform::Buttons buttons;
    platform::Icon icon;
    BoxKind kind = BoxKind::Modal;
};

// Records every box and answers from a script; with the script used up, OK
// boxes answer Ok and Yes/No boxes answer No.
class FakeMessageBoxes : public platform::MessageBoxes {
public:
    platform::Answer show(const QString& text, const QString& title, platform::Buttons buttons,
                          platform::Icon icon) override;
    void showInFront(const QString& text, const QString& title) override {
        shown.push_back({text, title, platform::Buttons::Ok, platform::Icon::None, BoxKind::InFront});
    }
    void notify(const QString& text, const QString& title) override {
        shown.push_back({text, title, platform::Buttons::Ok, platform::Icon::None, BoxKind::Notice});
    }

    std::vector<ShownBox> shown;
    std::deque<platform::Answer> answers;

    std::vector<QString> texts() const;
};

class FakeSettingsStore : public platform::SettingsStore {
public:
    QString GetSetting(const QString& application, const QString& section, const QString& key,
                       const QString& fallback) const override;
    void SaveSetting(const QString& application, const QString& section, const QString& key,
                     const QString& value) override;

    std::map<QString, QString> values;  // "application/section/key"
    std::vector<QString> writes;        // every value saved, in order
    bool failWrites = false;
    bool failReads = false;
};

class FakeProcess : public platform::Process {
public:
    QString programFolder() const override { return folder; }
    QString dataFolder() const override { return data; }
    QString homeFolder() const override { return home; }
    void processEvents() override {
        ++eventRounds;
        if (onEvents) onEvents();
    }
    void end() override { ++ends; }

    QString folder;
    QString data;  // FakePlatform makes it a folder apart from `folder`
    QString home;
    int eventRounds = 0;
    std::function<void()> onEvents;  // what "the user" does while events run
    int ends = 0;
};

// Answers from a script ("" = cancel when the script is used up) and records each call.
class FakeFolderDialogs : public platform::FolderDialogs {
public:
    struct Call {
        QWidget* owner;
        QString title;
        QString startFolder;
    };
    QString chooseFolder(QWidget* owner, const QString& title, const QString& startFolder) override {
        calls.push_back({owner, title, startFolder});
        if (answers.empty()) return {};
        QString next = answers.front();
        answers.pop_front();
        return next;
    }
    std::vector<Call> calls;
    std::deque<QString> answers;
};

// The real xlsx writer in a world where LibreOffice is installed but never
// started: launches are recorded. Can be told that creating fails, or that an
// application is already running.
class FakeSpreadsheets : public platform::Spreadsheets {
public:
    explicit FakeSpreadsheets(const QString& temporaryFolder, std::int64_t sheetRows = platform::kSheetRows);

    std::unique_ptr<platform::SpreadsheetApplication> createNew() override;
    std::unique_ptr<platform::SpreadsheetApplication> getRunning() override;

    // The workbook file of the last launch ("" when nothing was shown).
    QString lastWorkbook() const;

    bool failCreate = false;
    bool failLaunch = false;  // the viewer does not start
    QString runningName;  // empty: nothing runs
    int created = 0;
    std::vector<QStringList> launches;  // program, then arguments

private:
    std::unique_ptr<platform::XlsxSpreadsheets> real_;
};

class FakeWindow : public platform::Window {
public:
    void show() override { visible = true; ++shows; }
    void hide() override { visible = false; }
    bool isVisible() const override { return visible; }
    void setCaption(const QString& text) override { caption_ = text; }
    QString caption() const override { return caption_; }
    void setIcon(const QIcon& value) override { icon = value; }
    void loadMouseIcon(const QString& file) override { mouseIcon = file; }
    void setMousePointer(int shape) override { pointer = shape; }
    int mousePointer() const override { return pointer; }
    bool isMinimized() const override { return minimized; }
    void setMinimized(bool value) override { minimized = value; }
    void setEnabled(bool value) override { enabled = value; }

    bool visible = false;
    int shows = 0;
    QString caption_;
    QIcon icon;
    QString mouseIcon;
    int pointer = platform::DefaultPointer;
    bool minimized = false;
    bool enabled = true;
};

// All doubles and a program folder of its own; the real file system unless a
// test brings its own.
class FakePlatform {
public:
    explicit FakePlatform(platform::FileSystem* files = nullptr);

    platform::Platform& platform() { return platform_; }
    // The double behind a screen's window.
    FakeWindow& windowOf(const QWidget* widget) const;

    FakeMessageBoxes messages;
    FakeSettingsStore settings;
    FakeProcess process;
    platform::LinuxFileSystem realFiles;
    FakeFolderDialogs folderDialogs;
    QTemporaryDir sheetDir;
    FakeSpreadsheets spreadsheets{sheetDir.path()};
    QTemporaryDir programDir;
    QTemporaryDir homeDir;
    std::map<const QWidget*, FakeWindow*> windows;

private:
    platform::Platform platform_;
};

}  // namespace fakes
