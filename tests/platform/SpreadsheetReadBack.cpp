#include "SpreadsheetReadBack.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace spreadsheet_test {

namespace {

const char* const kReader = R"PY(
import base64, datetime, json, posixpath, re, sys, zipfile
import xml.etree.ElementTree as ET
import openpyxl

path = sys.argv[1]
main = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
rel = '{http://schemas.openxmlformats.org/officeDocument/2006/relationships}'
pkg = '{http://schemas.openxmlformats.org/package/2006/relationships}'
xdr = '{http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing}'
drawingml = '{http://schemas.openxmlformats.org/drawingml/2006/main}'
archive = zipfile.ZipFile(path)
if archive.testzip() is not None:
    sys.exit('damaged zip member')
types = ET.fromstring(archive.read('[Content_Types].xml'))
defaults = {d.get('Extension') for d in types if d.tag.endswith('Default')}
overrides = {o.get('PartName') for o in types if o.tag.endswith('Override')}

def relations(part):
    name = posixpath.join(posixpath.dirname(part), '_rels', posixpath.basename(part) + '.rels')
    if name not in archive.namelist():
        return {}
    found = {}
    for r in ET.fromstring(archive.read(name)):
        target = r.get('Target')
        if r.get('TargetMode') != 'External':
            target = posixpath.normpath(posixpath.join(posixpath.dirname(part), target))
        found[r.get('Id')] = target
    return found

def cellName(col, row):
    return openpyxl.utils.get_column_letter(int(col) + 1) + str(int(row) + 1)

def attachments(index, root):
    part = 'xl/worksheets/sheet%d.xml' % index
    targets = relations(part)
    links = {h.get('ref'): targets[h.get(rel + 'id')] for h in root.iter(main + 'hyperlink')}
    pictures = []
    for d in root.iter(main + 'drawing'):
        drawing = targets[d.get(rel + 'id')]
        if '/' + drawing not in overrides:
            sys.exit('no content type for ' + drawing)
        images = relations(drawing)
        for anchor in ET.fromstring(archive.read(drawing)).iter(xdr + 'twoCellAnchor'):
            f, t = anchor.find(xdr + 'from'), anchor.find(xdr + 'to')
            ext = anchor.find('.//' + drawingml + 'ext')
            media = images[anchor.find('.//' + drawingml + 'blip').get(rel + 'embed')]
            if media.rsplit('.', 1)[1] not in defaults:
                sys.exit('no content type for ' + media)
            pictures.append({'cell': cellName(f.find(xdr + 'col').text, f.find(xdr + 'row').text),
                             'to': cellName(t.find(xdr + 'col').text, t.find(xdr + 'row').text),
                             'width': int(ext.get('cx')) // 9525, 'height': int(ext.get('cy')) // 9525,
                             'media': media, 'bytes': base64.b64encode(archive.read(media)).decode()})
    heights = {r.get('r'): float(r.get('ht')) for r in root.iter(main + 'row') if r.get('ht')}
    return links, pictures, heights

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
    links, pictures, heights = attachments(index, root)
    sheets.append({'name': sheet.title, 'rows': sheet.max_row, 'cells': cells,
                   'frozen': sheet.freeze_panes or '', 'widths': widths,
                   'links': links, 'pictures': pictures, 'heights': heights})
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
        const QJsonObject links = sheetObject[QStringLiteral("links")].toObject();
        for (auto it = links.begin(); it != links.end(); ++it)
            sheet.links[it.key().toStdString()] = it.value().toString().toStdString();
        const QJsonObject heights = sheetObject[QStringLiteral("heights")].toObject();
        for (auto it = heights.begin(); it != heights.end(); ++it) sheet.heights[it.key().toInt()] = it.value().toDouble();
        for (const QJsonValue& pictureValue : sheetObject[QStringLiteral("pictures")].toArray()) {
            const QJsonObject p = pictureValue.toObject();
            const QByteArray bytes = QByteArray::fromBase64(p[QStringLiteral("bytes")].toString().toLatin1());
            sheet.pictures.push_back({p[QStringLiteral("cell")].toString().toStdString(),
                                      p[QStringLiteral("to")].toString().toStdString(), p[QStringLiteral("width")].toInt(),
                                      p[QStringLiteral("height")].toInt(), p[QStringLiteral("media")].toString().toStdString(),
                                      std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
        }
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
