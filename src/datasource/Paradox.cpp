#include "datasource/Paradox.h"

#include "folders/AddFolder.h"
#include "shell/ErrorReport.h"
#include "shell/Main.h"

namespace datasource {

QString ParadoxConnectionString(const QString& folder) {
    QString value = folder;
    if (value.contains(';') || value.contains('{') || value.contains('}'))
        value = "{" + value.replace("}", "}}") + "}";
    return "Driver={Microsoft Paradox Driver (*.db )};DriverID=538;Fil=Paradox 5.X;DefaultDir=" +
           value + ";Dbq=" + value + ";CollatingSequence=ASCII;";
}

platform::Connection OpenParadoxConnection(const QString& folder, int cursorLocation) {
    platform::Connection connection;
    connection.CursorLocation(cursorLocation);
    connection.Open(ParadoxConnectionString(folder));
    return connection;
}

bool ParadoxFolderHasTables(const platform::FileSystem& files, const QString& folder) {
    if (folder.isEmpty()) return false;
    return !folders::GetFileList(files, folder, "*.db").empty();
}

void AddTablesToParadoxListbox(shell::ListView& list, const QString& folder, platform::Platform& os) {
    shell::Procedure p(os.messages, "in Vellomar2021/08/31.Paradox.AddTablesToParadoxListbox ");
    p.step(100, [&] { list.clearItems(); });
    QString text;
    p.step(102, [&] { text = folder; });
    if (!p.test(104, [&] { return !text.isEmpty(); })) return;

    std::vector<QString> collection;
    p.step(106, [&] { collection.push_back(text + "/"); });
    p.step(108, [&] { folders::GetSubDirectories2016(collection, true, os); });

    for (const QString& entry : collection) {
        p.step(110, [] {});
        QString path;
        p.step(112, [&] { path = entry.left(entry.size() - 1); });
        std::vector<QString> names;
        p.step(114, [&] { names = folders::GetFileList(os.files, path, "*.db"); });
        for (const QString& name : names) {
            p.step(116, [] {});
            if (p.test(118, [&] { return name.startsWith('~'); })) continue;
            QString table;
            p.step(120, [&] { table = shell::FileNameFromPath(path + "/" + name); });
            p.step(124, [&] { table = table.toUpper(); });
            p.step(126, [&] { table.replace(".DB", ""); });
            p.step(128, [&] { list.addItem(table); });
        }
        p.step(130, [] {});
    }
}

}  // namespace datasource
