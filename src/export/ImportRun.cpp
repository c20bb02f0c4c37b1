#include "export/ImportRun.h"

#include "datasource/Paradox.h"
#include "export/Excel1.h"
#include "shell/ErrorReport.h"

#include <cmath>
#include <set>

namespace exporting {
namespace {

QString quoted(const QString& name) { return "`" + QString(name).replace("`", "``") + "`"; }

QString truncationMessage(const platform::TruncationReport& cut, const QStringList& headers) {
    QStringList columns;
    for (int column : cut.columns)
        columns << (column >= 1 && column <= headers.size() ? headers[column - 1]
                                                             : QString("column %1").arg(column));
    return QString("%1 %2 longer than a cell holds (32,767 characters) and %3 cut to fit, in: %4.")
        .arg(cut.cells)
        .arg(cut.cells == 1 ? "text was" : "texts were")
        .arg(cut.cells == 1 ? "was" : "were")
        .arg(columns.join(", "));
}

}  // namespace

QString FieldListFor(const QStringList& fields) {
    QString list;
    for (const QString& field : fields) list += quoted(field) + ", ";
    list.chop(2);
    return list;
}

QString ImportQuery(const QString& fieldList, const QString& table) {
    return "SELECT " + fieldList + " FROM " + quoted(table);
}

int ProgressValue(std::int64_t row, std::int64_t rowCount) {
    return int(std::nearbyint(double(row) / double(rowCount) * 100.0));  // ties to even
}

QString PushButton9_Click(ImportScreen& screen, platform::Platform& os) {
    shell::Procedure p(os.messages, "in Vellomar2021/08/31.Form3.PushButton9_Click ");
    const QString title = screen.applicationTitle();
    platform::Connection connection;
    platform::Recordset recordset;

    if (p.test(104, [&] { return screen.buttonCaption() == "Exit"; })) {
        p.step(106, [&] { os.process.end(); });
        return {};
    }
    if (p.test(108, [&] { return CheckExcelOpen(os, title); })) return {};
    QStringList fields;
    if (p.test(110, [&] {
            fields = screen.chosenFields();
            return fields.isEmpty();
        })) {
        p.step(184, [&] { os.messages.show("Please choose fields.", title, platform::Buttons::Ok); });
        return {};
    }
    p.step(112, [&] { screen.window().setMousePointer(platform::BusyPointer); });
    const auto stop = [&] { screen.window().setMousePointer(platform::DefaultPointer); };

    QString fieldList;
    p.step(114, [&] { fieldList = FieldListFor(fields); });

    // Without a connection and a result there is nothing to import.
    bool opened = p.step(124, [&] { connection.CursorLocation(platform::adUseServer); });
    opened = p.step(126, [&] { datasource::OpenTablePlace(connection, screen.selectedPlace()); }) && opened;
    opened = p.step(128, [&] {
                 recordset.Open(ImportQuery(fieldList, screen.selectedTable()), connection,
                                platform::adOpenStatic, platform::adLockReadOnly);
             }) && opened;
    if (!opened) {
        stop();
        return fieldList;
    }

    std::unique_ptr<platform::SpreadsheetApplication> sheetApp;
    platform::Worksheet* sheet = nullptr;
    const bool started = p.step(130, [&] { sheetApp = os.spreadsheets.createNew(); }) &&
                         p.step(132, [&] { sheetApp->addWorkbook(); }) &&
                         p.step(134, [&] { sheet = &sheetApp->ActiveSheet(); });
    if (!started) {
        stop();
        return fieldList;
    }

    std::int64_t rowCount = 0;
    p.step(142, [&] { rowCount = recordset.RecordCount(); });

    // A failure while writing stops the run with one report, rather than one
    // report for every cell that follows.
    QStringList headers;
    bool written = p.step(144, [&] {
        const int count = recordset.Fields().Count();
        for (int i = 0; i < count; ++i) {
            p.at(146);
            os.process.processEvents();
            p.at(148);
            headers << recordset.Fields()[i].Name();
            sheet->setCell(1, i + 1, headers.back());
        }
    });
    for (std::int64_t j = 1; written && j <= rowCount; ++j) {
        written = p.step(152, [&] {
            p.at(154);
            os.process.processEvents();
            p.at(156);
            screen.setProgress(ProgressValue(j, rowCount));
            p.at(158);
            platform::FieldCollection& columns = recordset.Fields();
            const int count = columns.Count();
            for (int i = 0; i < count; ++i) {
                p.at(160);
                os.process.processEvents();
                p.at(162);
                sheet->setCell(j + 1, i + 1, columns[i].Value());  // a Null leaves the cell empty
            }
            p.at(166);
            recordset.MoveNext();
        });
    }

    if (!written) {
        // Show what was written so far, but do not claim the run succeeded.
        p.step(174, [&] { sheetApp->setVisible(true); });
        stop();
        return fieldList;
    }

    p.step(170, [&] { screen.setButtonCaption("Exit"); });
    p.step(172, [&] {
        if (screen.window().isMinimized()) screen.window().setMinimized(false);
    });
    const bool shown = p.step(174, [&] { sheetApp->setVisible(true); });
    p.step(176, [&] { screen.window().setMousePointer(platform::DefaultPointer); });
    if (!shown) return fieldList;
    p.step(182, [&] { os.messages.show("Done.", title, platform::Buttons::Ok); });

    const platform::TruncationReport cut = sheetApp->truncations();
    if (cut.any()) os.messages.show(truncationMessage(cut, headers), title, platform::Buttons::Ok);
    return fieldList;
}

}  // namespace exporting
