#pragma once
// The texts of a list's items, in order, for readable expectations.

#include "shell/ListView.h"

#include <QStringList>

namespace fakes {

inline QStringList texts(const shell::ListView& list) {
    QStringList all;
    for (int i = 1; i <= list.count(); ++i) all << list.itemText(i);
    return all;
}

}  // namespace fakes
