#include "cli/TableExport.h"

#include "driver/ConnectionString.h"
#include "driver/Table.h"
#include "workbook/CsvWriter.h"
#include "workbook/SqliteWriter.h"
#include "workbook/XlsxWriter.h"

#include <algorithm>
#include <memory>

namespace cli {
namespace {

// The table's columns for the chosen names (letter case ignored, as the
// wizard's query does), or all of them.
std::vector<int> columnsFor(const driver::Table& table, const std::vector<std::string>& names) {
    const std::vector<driver::Field>& fields = table.fields();
    std::vector<int> columns;
    if (names.empty()) {
        for (std::size_t i = 0; i < fields.size(); ++i) columns.push_back(int(i));
        return columns;
    }
    for (const std::string& name : names) {
        std::size_t i = 0;
        while (i < fields.size() && !driver::equalsIgnoringCase(fields[i].name, name)) ++i;
        if (i == fields.size()) throw std::runtime_error("the table has no field \"" + name + "\"");
        columns.push_back(int(i));
    }
    return columns;
}

// The output columns of the table's key, in the key's order; none when the
// columns chosen leave out a key field.
std::vector<int> keyColumns(const driver::Table& table, const std::vector<int>& columns) {
    std::vector<int> key;
    for (int field = 0; field < table.keyFields(); ++field) {
        const auto at = std::find(columns.begin(), columns.end(), field);
        if (at == columns.end()) return {};
        key.push_back(int(at - columns.begin()) + 1);
    }
    return key;
}

}  // namespace

std::unique_ptr<workbook::TableWriter> makeWriter(Format format, const std::filesystem::path& output,
                                                  bool byteOrderMark, bool replace) {
    if (format == Format::Csv) return std::make_unique<workbook::CsvWriter>(output, byteOrderMark);
    if (format == Format::Sqlite) return std::make_unique<workbook::SqliteWriter>(output, workbook::SqliteOptions{replace});
    return std::make_unique<workbook::XlsxWriter>(output);
}

TableOutcome exportTable(const TableJob& job, ProgressMeter& progress) {
    TableOutcome outcome;
    std::unique_ptr<driver::Table> table;
    std::vector<int> columns;
    try {
        table = driver::Table::open(job.table, driver::OpenOptions{job.codePage});
        columns = columnsFor(*table, job.fields);
    } catch (const driver::ReadError& e) {
        outcome.error = e.what();
        return outcome;
    } catch (const std::exception& e) {
        outcome.error = job.table.string() + ": " + e.what();
        return outcome;
    }

    std::unique_ptr<workbook::TableWriter> own;
    workbook::TableWriter* writer = job.into;
    try {
        if (writer == nullptr) writer = (own = makeWriter(job.format, job.output, job.byteOrderMark, job.replace)).get();
        if (job.into != nullptr || job.format == Format::Sqlite)
            writer->startTable({job.tableName, keyColumns(*table, columns)});
        std::vector<driver::Field> chosen;
        std::vector<std::string> names;
        for (int column : columns) {
            chosen.push_back(table->fields()[std::size_t(column)]);
            names.push_back(chosen.back().name);
        }
        writer->setColumns(chosen);
        for (std::size_t c = 0; c < names.size(); ++c) writer->setText(1, int(c) + 1, names[c]);
        outcome.report.setColumnNames(names);
        outcome.report.noteFields(chosen);
        if (job.blobs) job.blobs->startTable(job.blobsName, names, job.output);
        outcome.report.noteDamage(table->damage(), table->rowsInDoubt());
        outcome.codePage = table->codePageEvidence();
        outcome.report.noteCodePage(outcome.codePage);

        const std::int64_t rowCount = table->rowCount();
        progress.start(job.name, rowCount);
        std::vector<driver::Value> values;
        std::int64_t sheetRow = 1;
        for (std::int64_t r = 0; r < rowCount; ++r) {
            progress.update(r);
            try {
                table->readRow(r, columns, values);
            } catch (const driver::ReadError& e) {
                outcome.report.noteUnreadableRow(r + 1, e.what());
                continue;
            }
            ++sheetRow;
            for (std::size_t c = 0; c < values.size(); ++c) {
                if (const auto* error = std::get_if<driver::ValueError>(&values[c]))
                    outcome.report.noteUnreadableValue(sheetRow, int(c) + 1, *error);
                const auto* blob = std::get_if<driver::Bytes>(&values[c]);
                if (job.blobs && blob)
                    writer->setFileCell(sheetRow, int(c) + 1, values[c], job.blobs->write(r + 1, c, *blob));
                else
                    writer->setCell(sheetRow, int(c) + 1, values[c]);
            }
        }
        if (own) own->finish();
        progress.finish();
        outcome.rows = sheetRow - 1;
        outcome.report.noteWriter(writer->report());
    } catch (const std::exception& e) {
        progress.finish();
        outcome.error = e.what();
        outcome.outputFailed = true;
    }
    return outcome;
}

}  // namespace cli
