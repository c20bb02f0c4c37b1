#pragma once
// The import run behind "Start Importing": the chosen fields of the chosen
// table, row by row, into a new workbook, a header row of field names first.

#include "datasource/TablePlace.h"
#include "platform/Platform.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace exporting {

// What the run reads from and shows on the screens.
class ImportScreen {
public:
    virtual ~ImportScreen() = default;
    virtual QStringList chosenFields() const = 0;  // in column order
    virtual QString selectedTable() const = 0;
    // Where the selected table lies: what the run opens.
    virtual datasource::TablePlace selectedPlace() const = 0;
    virtual QString buttonCaption() const = 0;
    virtual void setButtonCaption(const QString& caption) = 0;
    virtual void setProgress(int percent) = 0;
    virtual platform::Window& window() = 0;
    virtual QString applicationTitle() const = 0;
    // The user closed a window while the run was going: it stops, leaves no
    // unfinished workbook behind, and ends the program.
    virtual bool endRequested() const = 0;
};

// "`A`, `B`": each name between backticks (a backtick inside doubled).
QString FieldListFor(const QStringList& fields);
// "SELECT `A`, `B` FROM `T`".
QString ImportQuery(const QString& fieldList, const QString& table);
// Row `row` of `rowCount` as a whole percentage, halves to the even neighbour.
int ProgressValue(std::int64_t row, std::int64_t rowCount);

// Runs the import, reporting failures with the "Start Importing" context.
// A run whose connection or query fails, or whose spreadsheet cannot be
// started or written, reports once and stops without claiming success. Rows
// and values that cannot be read do not stop it: every readable row is
// written, and the closing message (above the spreadsheet window) says what
// did not arrive as it is in the table, or "Done." when everything did.
// Returns the field list it built.
QString PushButton9_Click(ImportScreen& screen, platform::Platform& os);

}  // namespace exporting
