#include "driver/Engine.h"

#include "driver/ConnectionString.h"

#include <algorithm>
#include <numeric>
#include <system_error>

namespace driver {

ResultSet::ResultSet(std::unique_ptr<Table> table, std::vector<int> columns)
    : table_(std::move(table)), columns_(std::move(columns)) {
    const std::vector<Field>& tableFields = table_->fields();
    wholeRows_ = columns_.size() == tableFields.size();
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        wholeRows_ = wholeRows_ && columns_[i] == static_cast<int>(i);
        fields_.push_back(tableFields.at(static_cast<std::size_t>(columns_[i])));
    }
}

std::vector<Value> ResultSet::row(std::int64_t index) const {
    return wholeRows_ ? table_->row(index) : table_->row(index, columns_);
}

void ResultSet::readRow(std::int64_t index, std::vector<Value>& out) const {
    if (wholeRows_)
        table_->readRow(index, out);
    else
        table_->readRow(index, columns_, out);
}

std::filesystem::path findTableFile(const std::filesystem::path& folder, std::string_view table) {
    const std::string wanted = std::string(table) + ".db";
    std::vector<std::filesystem::path> matches;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (equalsIgnoringCase(name, wanted) && it->is_regular_file(typeError)) matches.push_back(it->path());
    }
    if (error)
        throw QueryError("The folder \"" + folder.string() + "\" cannot be listed: " + error.message() + ".");
    if (matches.empty())
        throw QueryError("The table \"" + std::string(table) + "\" does not exist: there is no file " + wanted +
                         " in \"" + folder.string() + "\".");
    std::sort(matches.begin(), matches.end());
    const auto exact = std::find_if(matches.begin(), matches.end(), [&](const std::filesystem::path& p) {
        return p.filename().string().compare(0, table.size(), table) == 0;
    });
    return exact != matches.end() ? *exact : matches.front();
}

namespace {

std::filesystem::path tableFile(const std::filesystem::path& folder, const std::string& table,
                                const TableFiles& files) {
    const auto bound = files.find(table);
    if (bound == files.end()) return findTableFile(folder, table);
    const std::string& name = bound->second;
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        throw QueryError("The table \"" + table + "\" stands for \"" + name + "\", which is not a file name.");
    return folder / name;
}

}  // namespace

std::shared_ptr<const ResultSet> executeQuery(const std::filesystem::path& folder, std::string_view sql,
                                              const TableFiles& files) {
    const SelectStatement select = parseSelect(sql);
    std::unique_ptr<Table> table = Table::open(tableFile(folder, select.table, files));

    const std::vector<Field>& fields = table->fields();
    std::vector<int> columns;
    if (select.allColumns) {
        columns.resize(fields.size());
        std::iota(columns.begin(), columns.end(), 0);
    }
    for (const std::string& name : select.columns) {
        const auto field = std::find_if(fields.begin(), fields.end(),
                                        [&](const Field& f) { return equalsIgnoringCase(f.name, name); });
        if (field == fields.end())
            throw QueryError("The table \"" + select.table + "\" has no field \"" + name + "\".");
        columns.push_back(static_cast<int>(field - fields.begin()));
    }
    return std::make_shared<const ResultSet>(std::move(table), std::move(columns));
}

}  // namespace driver
