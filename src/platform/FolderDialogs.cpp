#include "platform/FolderDialogs.h"

#include <QFileDialog>

namespace platform {

QString QtFolderDialogs::chooseFolder(QWidget* owner, const QString& title, const QString& startFolder) {
    return QFileDialog::getExistingDirectory(owner, title, startFolder,
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

}  // namespace platform
