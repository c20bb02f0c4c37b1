#include "platform/Process.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace platform {

QString QtProcess::programFolder() const { return QCoreApplication::applicationDirPath(); }

void QtProcess::processEvents() { QCoreApplication::processEvents(); }

void QtProcess::end() {
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace platform
