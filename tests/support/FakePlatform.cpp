#include "support/FakePlatform.h"

#include <QDir>

#include <stdexcept>

namespace fakes {

platform::Answer FakeMessageBoxes::show(const QString& text, const QString& title,
                                        platform::Buttons buttons, platform::Icon icon) {
    shown.push_back({text, title, buttons, icon});
    if (!answers.empty()) {
        const platform::Answer next = answers.front();
        answers.pop_front();
        return next;
    }
    return buttons == platform::Buttons::Ok ? platform::Answer::Ok : platform::Answer::No;
}

std::vector<QString> FakeMessageBoxes::texts() const {
    std::vector<QString> all;
    for (const ShownBox& box : shown) all.push_back(box.text);
    return all;
}

QString FakeSettingsStore::GetSetting(const QString& application, const QString& section,
                                      const QString& key, const QString& fallback) const {
    if (failReads) throw std::runtime_error("Settings store cannot be read");
    const auto it = values.find(application + "/" + section + "/" + key);
    return it == values.end() ? fallback : it->second;
}

void FakeSettingsStore::SaveSetting(const QString& application, const QString& section,
                                    const QString& key, const QString& value) {
    if (failWrites) throw std::runtime_error("Settings store is read-only");
    values[application + "/" + section + "/" + key] = value;
    writes.push_back(value);
}

namespace {

// An application that only answers with its name.
class NamedApplication : public platform::SpreadsheetApplication {
public:
    explicit NamedApplication(QString name) : name_(std::move(name)) {}
    void addWorkbook() override { throw std::runtime_error("not this one"); }
    platform::Worksheet& ActiveSheet() override { throw std::runtime_error("not this one"); }
    void setVisible(bool) override {}
    QString name() const override { return name_; }
    workbook::Report report() const override { return {}; }

private:
    QString name_;
};

}  // namespace

FakeSpreadsheets::FakeSpreadsheets(const QString& temporaryFolder, std::int64_t sheetRows) {
    platform::SpreadsheetEnvironment world;
    world.findProgram = [](const QString& program) {
        return program == "soffice" ? QString("/usr/bin/soffice") : QString();
    };
    world.defaultApplication = [](const QString&) { return QString(); };
    world.processes = [] { return std::vector<platform::RunningProcess>{}; };
    world.launch = [this](const QString& program, const QStringList& arguments) {
        launches.push_back(QStringList{program} + arguments);
        return !failLaunch;
    };
    world.temporaryFolder = temporaryFolder;
    real_ = std::make_unique<platform::XlsxSpreadsheets>(world, sheetRows);
}

std::unique_ptr<platform::SpreadsheetApplication> FakeSpreadsheets::createNew() {
    if (failCreate) throw std::runtime_error("No spreadsheet application is installed");
    ++created;
    return real_->createNew();
}

std::unique_ptr<platform::SpreadsheetApplication> FakeSpreadsheets::getRunning() {
    if (runningName.isEmpty()) throw std::runtime_error("No spreadsheet application is running");
    return std::make_unique<NamedApplication>(runningName);
}

QString FakeSpreadsheets::lastWorkbook() const { return launches.empty() ? QString() : launches.back().last(); }

FakePlatform::FakePlatform(platform::FileSystem* files)
    : platform_{messages, settings, process, files ? *files : realFiles, folderDialogs, spreadsheets, [this](QWidget* widget) {
                    auto window = std::make_unique<FakeWindow>();
                    windows[widget] = window.get();
                    return window;
                }} {
    process.folder = programDir.path();
    process.data = programDir.path() + "/share/vellomar";
    QDir().mkpath(process.data);
    process.home = homeDir.path();
}

FakeWindow& FakePlatform::windowOf(const QWidget* widget) const {
    const auto it = windows.find(widget);
    if (it == windows.end()) throw std::logic_error("no window for this widget");
    return *it->second;
}

}  // namespace fakes
