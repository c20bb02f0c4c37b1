#pragma once
// The folder-selection dialog.

#include <QString>

class QWidget;

namespace platform {

class FolderDialogs {
public:
    virtual ~FolderDialogs() = default;
    // Shows a modal folder dialog over `owner` with `title`, opened at
    // `startFolder` when that is not empty. Returns the chosen folder's full
    // path, or "" when the user cancels.
    virtual QString chooseFolder(QWidget* owner, const QString& title, const QString& startFolder) = 0;
};

class QtFolderDialogs : public FolderDialogs {
public:
    QString chooseFolder(QWidget* owner, const QString& title, const QString& startFolder) override;
};

}  // namespace platform
