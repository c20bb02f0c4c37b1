#include "support/FakePlatform.h"

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
    const auto it = values.find(application + "/" + section + "/" + key);
    return it == values.end() ? fallback : it->second;
}

void FakeSettingsStore::SaveSetting(const QString& application, const QString& section,
                                    const QString& key, const QString& value) {
    if (failWrites) throw std::runtime_error("Settings store is read-only");
    values[application + "/" + section + "/" + key] = value;
    writes.push_back(value);
}

FakePlatform::FakePlatform(platform::FileSystem* files)
    : platform_{messages, settings, process, files ? *files : realFiles, folderDialogs, [this](QWidget* widget) {
                    auto window = std::make_unique<FakeWindow>();
                    windows[widget] = window.get();
                    return window;
                }} {
    process.folder = programDir.path();
}

FakeWindow& FakePlatform::windowOf(const QWidget* widget) const {
    const auto it = windows.find(widget);
    if (it == windows.end()) throw std::logic_error("no window for this widget");
    return *it->second;
}

}  // namespace fakes
