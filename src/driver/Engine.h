#pragma once
// Runs a SELECT (see Sql.h) against the Paradox tables of one folder.
// Nothing here writes: tables are only ever opened for reading.

#include "driver/Sql.h"
#include "driver/Table.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace driver {

// A well-formed query that names a table or field that is not there.
class QueryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The result of a SELECT: the chosen fields of every row of one table, read
// on demand. Holds the table open for as long as it lives.
class ResultSet {
public:
    ResultSet(std::unique_ptr<Table> table, std::vector<int> columns);

    // The result's fields in the order asked for, named as the table spells them.
    const std::vector<Field>& fields() const { return fields_; }
    std::int64_t rowCount() const { return table_->rowCount(); }
    // The values of row `index` (0-based), one per result field. Throws ReadError.
    std::vector<Value> row(std::int64_t index) const;
    // Like row(), refilling `out` and reusing its storage, so streaming
    // allocates nothing per row beyond the values.
    void readRow(std::int64_t index, std::vector<Value>& out) const;
    const Table& table() const { return *table_; }

private:
    std::unique_ptr<Table> table_;
    std::vector<int> columns_;   // table column of each result field
    bool wholeRows_;             // columns_ is 0, 1, ..., n-1
    std::vector<Field> fields_;
};

// The regular .db file (or link to one) in `folder` whose name without
// extension is `table`, letter case ignored (ASCII); when several match, the
// first in name order whose name is spelt exactly as asked, else the first in
// name order. Throws QueryError when there is none.
std::filesystem::path findTableFile(const std::filesystem::path& folder, std::string_view table);

// Table names (exactly as a query writes them) that stand for a given file of
// the folder, named by its bytes, instead of the file findTableFile would find.
using TableFiles = std::map<std::string, std::string, std::less<>>;

// Parses and runs `sql` against the tables in `folder`; a table named in
// `files` opens that file. Throws SqlSyntaxError, QueryError (unknown table or
// field, a bound name that is not a bare file name) or ReadError (the file is
// missing, not a regular file, or not a table).
std::shared_ptr<const ResultSet> executeQuery(const std::filesystem::path& folder, std::string_view sql,
                                              const TableFiles& files = {});

}  // namespace driver
