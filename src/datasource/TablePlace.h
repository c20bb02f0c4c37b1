#pragma once
// Where a listed table lies: what opens it, whatever its entry in the table
// list reads.

#include <QByteArray>
#include <QMetaType>
#include <QString>

namespace datasource {

struct TablePlace {
    QString folder;       // the folder the file lies in, as the walk reached it, without a trailing "/"
    QByteArray fileName;  // the file's name exactly as the file system spells it
    QString text;         // the table list entry's text: the name queries use for it
};

}  // namespace datasource

Q_DECLARE_METATYPE(datasource::TablePlace)
