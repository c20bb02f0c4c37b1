#pragma once
// Small helpers shared by the screens and modules.

#include "driver/Value.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"

#include <QString>
#include <QVariant>

#include <vector>

namespace shell {

class ListView;

// Settings live under this application and section.
inline const QString kSettingsApplication = QStringLiteral("Quillmark");
inline const QString kSettingsSection = QStringLiteral("Vellomar");

// `value`, or `fallback` when `value` is the database's missing value. An
// empty text is not missing.
driver::Value NullToDefault(const driver::Value& value, const driver::Value& fallback);
QVariant NullToDefault(const QVariant& value, const QVariant& fallback);

// True when the path's modification time can be read: files and folders count,
// anything that fails (empty, missing, malformed) answers false.
bool PathExists(const platform::FileSystem& files, const QString& path);

// True when the path carries the directory attribute; false on any failure.
bool IsFolder(const platform::FileSystem& files, const QString& path);

// What follows the last "/" (the whole path when there is none).
QString FileNameFromPath(const QString& path);

// Where the blank-free copy of a folder goes: the user's home folder, ending
// in "/", when it is a folder the user can write; "" when there is none (no
// home, or one the user cannot write, as for system accounts).
QString ProgramDriveRoot(const platform::FileSystem& files, const platform::Process& process);

// Of each group of equal values only the last survives; order is kept. Lets
// pending events run before each comparison.
template <class T>
std::vector<T> DistinctValues(const std::vector<T>& values, platform::Process& process) {
    std::vector<T> result;
    for (size_t i = 0; i < values.size(); ++i) {
        bool duplicate = false;
        for (size_t j = i + 1; j < values.size() && !duplicate; ++j) {
            process.processEvents();
            duplicate = values[j] == values[i];
        }
        if (!duplicate) result.push_back(values[i]);
    }
    return result;
}

// Removes from `shrink` every item whose text (exactly) also stands in
// `compare`; the rest keep their order and `compare` is not changed. Lets
// pending events run before each comparison.
void SubtractListItems(ListView& shrink, const ListView& compare, platform::Process& process);

// The application title for a product name: the name cut at its last blank,
// and again while longer than 40 characters. A name without a blank is kept whole.
QString ApplicationTitleFor(const QString& productName);

}  // namespace shell
