#pragma once
// The Paradox data source: the connection string for a folder of tables, the
// quick folder test, opening connections, and the list of tables under a folder.

#include "datasource/TablePlace.h"
#include "platform/Database.h"
#include "platform/Platform.h"

#include <QString>

#include <vector>

namespace datasource {

// The ODBC connection string for a folder of Paradox tables. The folder goes in
// as it is typed; one holding ";", "{" or "}" is put in braces ("}" doubled),
// so it cannot be read as further keys.
QString ParadoxConnectionString(const QString& folder);

// An open connection to the folder, with the cursor location set before it is
// opened. Throws (platform::DatabaseError) when it cannot be opened.
platform::Connection OpenParadoxConnection(const QString& folder, int cursorLocation);

// Opens `connection` on the folder `place` lies in (the connection string of
// ParadoxConnectionString), with the place's entry text standing for the
// place's own file: the query texts name the table by that text, and it opens
// the file the listing found, whatever letters or bytes its name holds.
// Throws (platform::DatabaseError) when the folder cannot be opened.
void OpenTablePlace(platform::Connection& connection, const TablePlace& place);

// True when the folder, or a folder below it that the folder scan admits,
// holds at least one "*.db" file; false for an empty folder text or a folder
// that does not exist. Walks breadth first and stops at the first such folder.
// Throws when the folder itself exists but cannot be listed.
bool ParadoxFolderHasTables(platform::Platform& os, const QString& folder);

// The folder box the data source reads and may switch.
class FolderBox {
public:
    virtual ~FolderBox() = default;
    virtual QString folder() const = 0;
    // Sets the box as typing would, so the change is remembered at once.
    virtual void setFolder(const QString& folder) = 0;
};

// When the folder box's path holds a blank, offers to copy the folder into
// "TestDB" in the user's home folder (ProgramDriveRoot) and, on Yes, copies it
// there (replacing files of the same name) and points the box at the copy.
// Offers nothing when there is no writable home, when its path holds a blank
// too, or when the target is the folder itself or lies inside it.
// `isSample` only chooses the prompt's word. Reports its own failures.
void CopyDB(bool isSample, FolderBox& box, platform::Platform& os, const QString& title);

// The list the discovery fills: the wizard's table list (TableListView.h),
// or a plain list of places for the command line.
class TableList {
public:
    virtual ~TableList() = default;
    virtual void clearItems() = 0;
    // Appends an entry that reads place.text and remembers the place.
    virtual void addTable(const TablePlace& place) = 0;
};

// Fills `list` with the tables of `folder` and all its subfolders, breadth
// first and each folder's files in listing order: each regular "*.db" file's
// name in upper case without its final ".DB", files whose names begin with "~"
// left out, duplicates kept. Reports its own failures.
void AddTablesToParadoxListbox(TableList& list, const QString& folder, platform::Platform& os);

// The tables AddTablesToParadoxListbox lists for `folder`, in its order.
std::vector<TablePlace> FindTables(const QString& folder, platform::Platform& os);

// A table's name as the list shows it, from its file's name: upper case,
// without the final ".DB" (bytes that are not UTF-8 show as U+FFFD).
QString TableNameOf(const QByteArray& fileName);

}  // namespace datasource
