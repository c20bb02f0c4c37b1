#include "export/ImportRun.h"

#include "datasource/Paradox.h"
#include "export/Excel1.h"
#include "export/ExportReport.h"
#include "shell/ErrorReport.h"

#include <cmath>

namespace exporting {
namespace {

QString quoted(const QString& name) { return "`" + QString(name).replace("`", "``") + "`"; }

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

    // What did not arrive as it is in the table, told once at the end.
    ExportReport report;
    std::int64_t rowCount = 0;
    p.step(142, [&] {
        report.noteDamage(recordset.Damage(), recordset.RowsInDoubt());
        rowCount = recordset.RecordCount();
    });

    // The user closed the window: the run stops and the program ends once the
    // unfinished workbook is gone.
    const auto ending = [&] {
        if (!screen.endRequested()) return false;
        sheetApp.reset();
        stop();
        os.process.end();
        return true;
    };

    // A failure to write stops the run with one report, rather than one report
    // for every cell that follows. A row or value that cannot be read does not:
    // it is noted, and the run goes on with the next.
    std::vector<std::string> headers;
    bool written = p.step(144, [&] {
        const int count = recordset.Fields().Count();
        std::vector<driver::Field> definitions;
        for (int i = 0; i < count; ++i) definitions.push_back(recordset.Fields()[i].Definition());
        sheet->setColumns(definitions);  // the column widths, known before any row
        report.noteFields(definitions);
        for (int i = 0; i < count; ++i) {
            p.at(146);
            os.process.processEvents();
            if (screen.endRequested()) return;
            p.at(148);
            const QString name = recordset.Fields()[i].Name();
            headers.push_back(name.toStdString());
            sheet->setCell(1, i + 1, name);
        }
    });
    if (ending()) return fieldList;
    report.setColumnNames(headers);

    std::int64_t sheetRow = 1;
    std::vector<const driver::Value*> values;
    for (std::int64_t j = 1; written && j <= rowCount; ++j) {
        written = p.step(152, [&] {
            p.at(154);
            os.process.processEvents();
            if (screen.endRequested()) return;
            p.at(156);
            screen.setProgress(ProgressValue(j, rowCount));
            p.at(158);
            platform::FieldCollection& columns = recordset.Fields();
            const int count = columns.Count();
            // The whole row is read before any of it is written, so a row that
            // cannot be read leaves no trace but its note.
            values.clear();
            try {
                for (int i = 0; i < count; ++i) values.push_back(&columns[i].Value());
                ++sheetRow;
            } catch (const platform::DatabaseError& e) {
                report.noteUnreadableRow(j, e.what());
                values.clear();
            }
            for (int i = 0; i < int(values.size()); ++i) {
                p.at(160);
                os.process.processEvents();
                p.at(162);
                const driver::Value& value = *values[std::size_t(i)];  // a Null leaves the cell empty
                if (const auto* error = std::get_if<driver::ValueError>(&value))
                    report.noteUnreadableValue(sheetRow, i + 1, *error);
                sheet->setCell(sheetRow, i + 1, value);
            }
            p.at(166);
            recordset.MoveNext();
        });
        if (ending()) return fieldList;
    }

    if (!written) {
        // Show what was written so far, but do not claim the run succeeded.
        // When the file itself failed (a full disk) there is nothing to show,
        // and the report above has said why: no second report.
        p.at(174);
        try {
            sheetApp->setVisible(true);
        } catch (const std::exception&) {
        }
        stop();
        return fieldList;
    }

    p.step(170, [&] { screen.setButtonCaption("Exit"); });
    p.step(172, [&] {
        if (screen.window().isMinimized()) screen.window().setMinimized(false);
    });
    const bool shown = p.step(174, [&] { sheetApp->setVisible(true); });
    p.step(176, [&] { screen.window().setMousePointer(platform::DefaultPointer); });
    if (!shown) {
        // The workbook could not be finished or shown (the report said why):
        // the run did not complete, so it can be started again.
        screen.setButtonCaption("Start Importing");
        return fieldList;
    }
    // Above the spreadsheet window that has just been opened.
    p.step(182, [&] {
        // The text's code page last: its sample reads no row before the run does.
        report.noteCodePage(recordset.CodePageEvidence());
        report.noteWriter(sheetApp->report());
        os.messages.showInFront(QString::fromStdString(report.summary()), title);
    });
    return fieldList;
}

}  // namespace exporting
