#include "datasource/Paradox.h"

#include "folders/AddFolder.h"
#include "shell/ErrorReport.h"
#include "shell/Main.h"

#include <QFile>

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

void OpenTablePlace(platform::Connection& connection, const TablePlace& place) {
    connection.Open(ParadoxConnectionString(place.folder));
    if (!place.fileName.isEmpty()) connection.bindTable(place.text, place.fileName);
}

bool ParadoxFolderHasTables(platform::Platform& os, const QString& folder) {
    if (folder.isEmpty()) return false;
    if (!folders::GetFileList(os.files, folder, "*.db").empty()) return true;
    return folders::FindFolderBelow(
        folder + "/",
        [&](const QString& below) {
            try {
                return !folders::GetFileList(os.files, below, "*.db").empty();
            } catch (const std::exception&) {
                return false;  // an unreadable folder lists no tables either
            }
        },
        os);
}

namespace {

QString withoutOuterBlanks(const QString& text) {
    qsizetype first = 0, last = text.size();
    while (first < last && text[first] == ' ') ++first;
    while (last > first && text[last - 1] == ' ') --last;
    return text.mid(first, last - first);
}

// An upper-cased file name without its final ".DB" (and only that one).
QString withoutExtension(QString upperName) {
    if (upperName.endsWith(".DB")) upperName.chop(3);
    return upperName;
}

}  // namespace

void CopyDB(bool isSample, FolderBox& box, platform::Platform& os, const QString& title) {
    shell::Procedure p(os.messages, "in Vellomar2021/08/31.Paradox.CopyDB ");
    if (!p.test(100, [&] { return withoutOuterBlanks(box.folder()).contains(' '); })) return;

    QString word;
    p.step(102, [&] { word = isSample ? "sample" : "Your"; });
    QString target;
    p.step(108, [&] {
        const QString root = shell::ProgramDriveRoot(os.files, os.process);
        if (!root.isEmpty()) target = root + "TestDB";
    });
    // Nothing to offer without a place the user can write whose path is free
    // of blanks, nor when the copy would land inside the folder it copies.
    if (target.isEmpty() || target.contains(' ') || os.files.holds(box.folder(), target)) return;

    platform::Answer answer = platform::Answer::No;
    p.step(110, [&] {
        answer = os.messages.show("In some cases the software needs to use a folder without spaces.\r\n"
                                  "Is it OK to create the folder " + target + " and put " + word +
                                      " db files in it?",
                                  title, platform::Buttons::YesNo);
    });
    if (answer != platform::Answer::Yes) return;

    p.at(112);
    if (p.test(114, [&] { return !os.files.folderExists(target); }))
        p.step(116, [&] { os.files.createFolder(target); });
    if (p.test(118, [&] { return os.files.folderExists(target); })) {
        p.step(120, [&] { os.files.copyFolder(box.folder(), target); });
        p.step(122, [&] { box.setFolder(target); });
    }
    p.at(124);
}

void AddTablesToParadoxListbox(TableList& list, const QString& folder, platform::Platform& os) {
    shell::Procedure p(os.messages, "in Vellomar2021/08/31.Paradox.AddTablesToParadoxListbox ");
    p.step(100, [&] { list.clearItems(); });
    QString text;
    p.step(102, [&] { text = folder; });
    if (!p.test(104, [&] { return !text.isEmpty(); })) return;

    std::vector<QString> collection;
    p.step(106, [&] { collection.push_back(text + "/"); });
    p.step(108, [&] { folders::GetSubDirectories2016(collection, true, os); });

    for (const QString& entry : collection) {
        p.at(110);
        QString path;
        p.step(112, [&] { path = entry.left(entry.size() - 1); });
        std::vector<platform::FileName> names;
        p.step(114, [&] { names = folders::GetFileList(os.files, path, "*.db"); });
        for (const platform::FileName& name : names) {
            p.at(116);
            if (p.test(118, [&] { return name.text.startsWith('~'); })) continue;
            QString table;
            p.step(120, [&] { table = shell::FileNameFromPath(path + "/" + name.text); });
            p.step(124, [&] { table = table.toUpper(); });
            p.step(126, [&] { table = withoutExtension(table); });
            p.step(128, [&] { list.addTable(TablePlace{path, name.bytes, table}); });
        }
        p.at(130);
    }
}

std::vector<TablePlace> FindTables(const QString& folder, platform::Platform& os) {
    struct Places : TableList {
        std::vector<TablePlace> found;
        void clearItems() override { found.clear(); }
        void addTable(const TablePlace& place) override { found.push_back(place); }
    } places;
    AddTablesToParadoxListbox(places, folder, os);
    return std::move(places.found);
}

QString TableNameOf(const QByteArray& fileName) { return withoutExtension(QFile::decodeName(fileName).toUpper()); }

}  // namespace datasource
