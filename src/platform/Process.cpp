#include "platform/Process.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace platform {

QString QtProcess::programFolder() const { return QCoreApplication::applicationDirPath(); }

namespace {
constexpr qint64 kEventInterval = 15;  // milliseconds
}

QtProcess::QtProcess() { sinceEvents_.start(); }

void QtProcess::processEvents() {
    if (sinceEvents_.elapsed() < kEventInterval) return;
    QCoreApplication::processEvents();
    sinceEvents_.restart();
}

void QtProcess::end() {
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace platform
