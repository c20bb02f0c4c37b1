#include "SpreadsheetReadBack.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace spreadsheet_test {

namespace {

const char* const kReader = R"PY(
import datetime, json, re, sys, zipfile
import xml.etree.ElementTree as ET
import openpyxl

path = sys.argv[1]
main = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
archive = zipfile.ZipFile(path)
if archive.testzip() is not None:
    sys.exit('damaged zip member')
book = openpyxl.load_workbook(path)
sheets = []
for index, sheet in enumerate(book.worksheets, 1):
    stored = {}
    root = ET.fromstring(archive.read('xl/worksheets/sheet%d.xml' % index))
    for c in root.iter(main + 'c'):
        v = c.find(main + 'v')
        t = c.find(main + 'is/' + main + 't')
        stored[c.get('r')] = v.text if v is not None else (t.text if t is not None else '')
    cells = []
    for row in sheet.iter_rows():
        for cell in row:
            value = cell.value
            if value is None:
                continue
            if isinstance(value, bool):
                text = 'TRUE' if value else 'FALSE'
            elif isinstance(value, (datetime.datetime, datetime.date, datetime.time)):
                text = value.isoformat()
            elif isinstance(value, float):
                text = repr(value)
            elif isinstance(value, str):
                text = re.sub('_x([0-9A-Fa-f]{4})_', lambda m: chr(int(m.group(1), 16)), value)
            else:
                text = str(value)
            cells.append([cell.coordinate, type(value).__name__, cell.number_format, text,
                          stored.get(cell.coordinate) or ''])
    widths = {key: d.width for key, d in sheet.column_dimensions.items() if d.customWidth}
    sheets.append({'name': sheet.title, 'rows': sheet.max_row, 'cells': cells,
                   'frozen': sheet.freeze_panes or '', 'widths': widths})
print(json.dumps(sheets))
)PY";

}  // namespace

std::vector<ReadSheet> readWorkbook(const QString& path) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(kReader), path});
    if (!python.waitForFinished(120'000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        ADD_FAILURE() << "openpyxl could not read " << path.toStdString() << ": "
                      << python.readAllStandardError().toStdString();
        return {};
    }
    const QJsonDocument document = QJsonDocument::fromJson(python.readAllStandardOutput());
    std::vector<ReadSheet> sheets;
    for (const QJsonValue& sheetValue : document.array()) {
        const QJsonObject sheetObject = sheetValue.toObject();
        ReadSheet sheet;
        sheet.name = sheetObject[QStringLiteral("name")].toString().toStdString();
        sheet.rows = sheetObject[QStringLiteral("rows")].toInt();
        sheet.frozen = sheetObject[QStringLiteral("frozen")].toString().toStdString();
        const QJsonObject widths = sheetObject[QStringLiteral("widths")].toObject();
        for (auto it = widths.begin(); it != widths.end(); ++it) sheet.widths[it.key().toStdString()] = it.value().toDouble();
        for (const QJsonValue& cellValue : sheetObject[QStringLiteral("cells")].toArray()) {
            const QJsonArray c = cellValue.toArray();
            sheet.cells[c[0].toString().toStdString()] = {c[1].toString().toStdString(), c[2].toString().toStdString(),
                                                          c[3].toString().toStdString(), c[4].toString().toStdString()};
        }
        sheets.push_back(std::move(sheet));
    }
    return sheets;
}

}  // namespace spreadsheet_test
