#include "workbook/SqliteWriter.h"

#include "driver/Picture.h"
#include "workbook/CellValues.h"
#include "workbook/OutputFile.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>



namespace workbook {
namespace {

// The name as an SQL identifier: in double quotes, its own doubled.
std::string identifier(std::string_view name) {
    std::string sql = "\"";
    for (const char c : name) {
        if (c == '"') sql += '"';
        sql += c;
    }
    return sql + '"';
}

// How SQLite compares identifiers: ASCII letters without their case.
std::string folded(std::string_view name) {
    std::string key(name);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

// A batch holds this many cells at most, and is handed over once its texts
// and blobs pass this many bytes.
constexpr std::size_t kBatchCells = 16384;
constexpr std::size_t kBatchBytes = std::size_t{1} << 20;
constexpr int kBatches = 3;
// Rows go in this many at a time, in one INSERT, with this many values at most.
constexpr std::size_t kRowsAtOnce = 64;
constexpr std::size_t kValuesAtOnce = 1024;

const char* declaredType(driver::FieldType type) {
    using driver::FieldType;
    switch (type) {
    case FieldType::Alpha: return "ALPHA TEXT";
    case FieldType::Memo: return "MEMO TEXT";
    case FieldType::FormattedMemo: return "FORMATTED MEMO TEXT";
    case FieldType::Short: return "SHORT INTEGER";
    case FieldType::Long: return "LONG INTEGER";
    case FieldType::AutoIncrement: return "AUTOINC INTEGER";
    case FieldType::Logical: return "LOGICAL INTEGER";
    case FieldType::Number: return "NUMBER REAL";
    case FieldType::Money: return "MONEY REAL";
    case FieldType::Bcd: return "BCD BLOB";
    case FieldType::Date: return "DATE TEXT";
    case FieldType::Time: return "TIME TEXT";
    case FieldType::Timestamp: return "TIMESTAMP TEXT";
    case FieldType::Graphic: return "GRAPHIC BLOB";
    case FieldType::Binary: return "BINARY BLOB";
    case FieldType::Ole: return "OLE BLOB";
    case FieldType::Bytes: return "BYTES BLOB";
    }
    return "";
}

}  // namespace

SqliteWriter::SqliteWriter(std::filesystem::path path, SqliteOptions options) : path_(std::move(path)) {
    std::error_code error;
    if (!options.replace && std::filesystem::exists(path_, error))
        throw std::runtime_error("Could not write the database " + path_.string() +
                                 ": the file exists, and a database is only replaced when asked.");
    // Memory statistics take a global lock at every allocation; nothing here reads them.
    static const int unused = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    (void)unused;
    file_ = std::make_unique<OutputFile>(path_, "the database");
    try {
        // The file is the empty part file OutputFile made: a new database.
        check(sqlite3_open_v2(file_->partPath().c_str(), &db_,
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE, nullptr),
              "open");
        // No journal: an unfinished database is removed, never rolled back.
        // Pages of 16 KiB: a quarter of the writes of SQLite's 4 KiB pages,
        // and a database of small tables still small.
        execute("PRAGMA page_size=16384; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; "
                "PRAGMA locking_mode=EXCLUSIVE; PRAGMA cache_size=-16384; BEGIN");
        batches_ = std::make_unique<Batch[]>(kBatches);
        for (int i = 1; i < kBatches; ++i) free_.push_back(&batches_[i]);
        filling_ = &batches_[0];
        inserter_ = std::thread([this] { insertBatches(); });
    } catch (...) {
        fail();
        throw;
    }
}

SqliteWriter::~SqliteWriter() {
    if (!finished_) fail();
}

void SqliteWriter::fail() noexcept {
    failed_ = true;
    if (inserter_.joinable()) {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = abandoned_ = true;
        }
        changed_.notify_all();
        inserter_.join();
    }
    sqlite3_finalize(insert_);
    sqlite3_finalize(insertMany_);
    insert_ = insertMany_ = nullptr;
    sqlite3_close_v2(db_);
    db_ = nullptr;
    if (file_) file_->discard();
}

void SqliteWriter::check(int code, const char* doing) {
    if (code == SQLITE_OK || code == SQLITE_DONE || code == SQLITE_ROW) return;
    std::string cause;
    const int primary = code & 0xFF;
    const int system = db_ != nullptr ? sqlite3_system_errno(db_) : 0;
    if ((primary == SQLITE_IOERR || primary == SQLITE_FULL || primary == SQLITE_CANTOPEN) && system != 0)
        cause = std::strerror(system);
    else
        cause = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
    file_->fail(cause + " (" + doing + ").");
}

void SqliteWriter::execute(const std::string& sql) {
    check(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), "SQL");
}

std::string SqliteWriter::uniqueName(std::string wanted, std::set<std::string>& taken) {
    std::string name = wanted;
    for (int n = 2; taken.count(folded(name)) != 0; ++n) name = wanted + "-" + std::to_string(n);
    taken.insert(folded(name));
    return name;
}

const Report& SqliteWriter::report() const {
    try {
        drain();
    } catch (const std::exception&) {
        // Told by the next call that writes.
    }
    return report_;
}

void SqliteWriter::submit() {
    std::unique_lock lock(mutex_);
    if (filling_->rows > 0) {
        queued_.push_back(filling_);
        filling_ = nullptr;
        changed_.notify_all();
    }
    changed_.wait(lock, [&] { return filling_ != nullptr || !free_.empty() || error_; });
    if (error_) std::rethrow_exception(error_);
    if (filling_ == nullptr) {
        filling_ = free_.back();
        free_.pop_back();
    }
    filling_->rows = 0;
    filling_->bytes.clear();
}

void SqliteWriter::drain() const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return (queued_.empty() && !inserting_) || error_; });
    if (error_) std::rethrow_exception(error_);
}

void SqliteWriter::insertBatches() {
    for (;;) {
        Batch* batch = nullptr;
        bool insert = false;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || !queued_.empty(); });
            if (queued_.empty()) return;
            batch = queued_.front();
            queued_.pop_front();
            inserting_ = true;
            insert = !abandoned_ && !error_;
        }
        std::exception_ptr failure;
        if (insert) {
            try {
                insertBatch(*batch);
            } catch (...) {
                failure = std::current_exception();
            }
        }
        {
            const std::lock_guard lock(mutex_);
            if (failure) error_ = failure;
            free_.push_back(batch);
            inserting_ = false;
        }
        changed_.notify_all();
    }
}

void SqliteWriter::bindRow(sqlite3_stmt* statement, const Batch& batch, std::size_t row, int first) {
    const std::size_t columns = columnNames_.size();
    const Cell* cells = batch.cells.data() + row * columns;
    for (std::size_t c = 0; c < columns; ++c) {
        const Cell& cell = cells[c];
        const int at = first + static_cast<int>(c);
        const char* bytes = batch.bytes.data() + cell.offset;
        int bound = SQLITE_OK;
        switch (cell.kind) {
        case Cell::Kind::Null: bound = sqlite3_bind_null(statement, at); break;
        case Cell::Kind::Integer: bound = sqlite3_bind_int64(statement, at, cell.integer); break;
        case Cell::Kind::Real: bound = sqlite3_bind_double(statement, at, cell.real); break;
        case Cell::Kind::Text:
            bound = sqlite3_bind_text64(statement, at, bytes, cell.size, SQLITE_STATIC, SQLITE_UTF8);
            break;
        case Cell::Kind::Blob: bound = sqlite3_bind_blob64(statement, at, bytes, cell.size, SQLITE_STATIC); break;
        }
        if (bound != SQLITE_OK) check(bound, "a value");
    }
}

void SqliteWriter::insertBatch(const Batch& batch) {
    const int columns = static_cast<int>(columnNames_.size());
    std::size_t r = 0;
    for (; insertMany_ != nullptr && r + manyRows_ <= batch.rows; r += manyRows_) {
        for (std::size_t k = 0; k < manyRows_; ++k) bindRow(insertMany_, batch, r + k, 1 + static_cast<int>(k) * columns);
        const int stepped = sqlite3_step(insertMany_);
        sqlite3_reset(insertMany_);
        if (stepped == SQLITE_CONSTRAINT_PRIMARYKEY && !key_.empty()) {
            // Without a journal the rows before the one that broke the key
            // stay: they go again, one at a time, to find it.
            execute("DELETE FROM " + identifier(table_) + " WHERE " + rowid_ + " > " + std::to_string(inserted_));
            break;
        }
        if (stepped != SQLITE_DONE) check(stepped, "rows");
        inserted_ += static_cast<std::int64_t>(manyRows_);
    }
    for (; r < batch.rows; ++r) {
        bindRow(insert_, batch, r, 1);
        int stepped = sqlite3_step(insert_);
        sqlite3_reset(insert_);
        if (stepped == SQLITE_CONSTRAINT_PRIMARYKEY && !key_.empty()) {
            dropKey(batch.firstRow + static_cast<std::int64_t>(r));
            bindRow(insert_, batch, r, 1);
            stepped = sqlite3_step(insert_);
            sqlite3_reset(insert_);
        }
        if (stepped != SQLITE_DONE) check(stepped, "a row");
        ++inserted_;
    }
}

void SqliteWriter::dropKey(std::int64_t row) {
    std::string names;
    for (std::size_t k = 0; k < key_.size(); ++k)
        names += (k == 0 ? "" : ", ") + columnNames_[static_cast<std::size_t>(key_[k]) - 1];
    sqlite3_finalize(insert_);
    sqlite3_finalize(insertMany_);
    insert_ = insertMany_ = nullptr;
    // The table as it is, under a name no table has, then again without the key.
    std::set<std::string> taken = tableNames_;
    const std::string old = uniqueName(table_ + "-keyed", taken);
    execute("ALTER TABLE " + identifier(table_) + " RENAME TO " + identifier(old));
    execute(createStatement(table_, false));
    execute("INSERT INTO " + identifier(table_) + " SELECT * FROM " + identifier(old) + " NOT INDEXED");
    execute("DROP TABLE " + identifier(old));
    key_.clear();
    prepareInsert();
    report_.notices.push_back("The table's key (" + names + ") is not its primary key in the database: row " +
                              std::to_string(row - 1) + " repeats the key of a row before it.");
}

void SqliteWriter::startTable(const TableStart& table) {
    if (finished_) throw std::runtime_error("The database " + path_.string() + " is finished.");
    if (failed_) throw std::runtime_error("The database " + path_.string() + " could not be written.");
    try {
        endTable();
    } catch (...) {
        fail();
        throw;
    }
    report_ = Report{};
    report_.rowsFromData = true;

    std::string wanted = table.name;
    std::string why;
    if (wanted.empty()) {
        wanted = "table";
        why = "the table has no name";
    } else if (folded(wanted).rfind("sqlite_", 0) == 0) {
        wanted = "_" + wanted;
        why = "names beginning with \"sqlite_\" are SQLite's own";
    }
    table_ = uniqueName(wanted, tableNames_);
    if (table_ != wanted) why = "another table there has the name \"" + wanted + "\", letter case aside";
    if (!why.empty()) report_.notices.push_back("The table is named \"" + table_ + "\" in the database: " + why + ".");

    key_ = table.keyColumns;
    columns_.clear();
    columnNames_.clear();
    row_ = 1;
    column_ = 0;
    created_ = false;
    tableOpen_ = true;
}

void SqliteWriter::setColumns(const std::vector<driver::Field>& fields) {
    if (!tableOpen_ && !finished_ && !failed_) startTable({path_.stem().string(), {}});
    if (finished_ || failed_ || created_)
        throw std::runtime_error("The columns of " + path_.string() + " can only be set before its first data row.");
    columns_.resize(std::max(columns_.size(), fields.size()));
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        columns_[i].type = i < fields.size() ? declaredType(fields[i].type) : "";
        columns_[i].fieldName = i < fields.size() ? fields[i].name : "";
    }
}

void SqliteWriter::locate(std::int64_t row, int column) {
    const auto where = [&] { return "row " + std::to_string(row) + ", column " + std::to_string(column); };
    if (finished_)
        throw std::runtime_error("The database " + path_.string() + " is finished; " + where() +
                                 " can no longer be written.");
    if (failed_)
        throw std::runtime_error("The database " + path_.string() + " could not be written; " + where() +
                                 " is not written.");
    if (row < 1 || column < 1) throw std::runtime_error("There is no cell at " + where() + ": rows and columns start at 1.");
    if (!tableOpen_) startTable({path_.stem().string(), {}});
    if (row == 1) {
        if (created_) throw std::runtime_error("Could not write the cell at " + where() + ": data rows have begun.");
        if (static_cast<std::size_t>(column) > columns_.size()) columns_.resize(static_cast<std::size_t>(column));
        return;
    }
    if (row < row_ || (row == row_ && column <= column_))
        throw std::runtime_error("Could not write the cell at " + where() +
                                 ": rows, and the cells of a row, are written in ascending order, and row " +
                                 std::to_string(row_) + ", column " + std::to_string(column_) + " is already written.");
    const std::size_t columns = std::max<std::size_t>(columns_.size(), 1);
    if (static_cast<std::size_t>(column) > columns)
        throw std::runtime_error("Could not write the cell at " + where() + ": the table has " +
                                 std::to_string(columns) + " columns.");
    try {
        if (!created_) createTable();
        // Skipped rows are rows of NULLs.
        while (row_ < row) beginRow();
        column_ = column;
    } catch (...) {
        fail();
        throw;
    }
}

// Row row_ + 1 in the batch being filled, its cells NULL.
void SqliteWriter::beginRow() {
    if (filling_->rows == batchRows_ || filling_->bytes.size() >= kBatchBytes) submit();
    if (filling_->rows == 0) filling_->firstRow = row_ + 1;
    const std::size_t columns = columnNames_.size();
    Cell* cells = filling_->cells.data() + filling_->rows * columns;
    std::fill(cells, cells + columns, Cell{});
    ++filling_->rows;
    ++row_;
    column_ = 0;
}

std::string SqliteWriter::createStatement(const std::string& name, bool withKey) const {
    std::string sql = "CREATE TABLE " + identifier(name) + " (";
    for (std::size_t i = 0; i < columnNames_.size(); ++i) {
        if (i > 0) sql += ", ";
        sql += identifier(columnNames_[i]);
        if (!columns_[i].type.empty()) sql += " " + columns_[i].type;
    }
    if (withKey) {
        sql += ", PRIMARY KEY (";
        for (std::size_t k = 0; k < key_.size(); ++k)
            sql += (k > 0 ? ", " : "") + identifier(columnNames_[static_cast<std::size_t>(key_[k]) - 1]);
        sql += ")";
    }
    return sql + ")";
}

void SqliteWriter::createTable() {
    if (columns_.empty()) columns_.resize(1);
    for (const int k : key_)
        if (k < 1 || static_cast<std::size_t>(k) > columns_.size() || std::count(key_.begin(), key_.end(), k) != 1)
            throw std::logic_error("The key of the table " + table_ + " names column " + std::to_string(k) +
                                   ", which is not one of its " + std::to_string(columns_.size()) + " columns.");
    std::set<std::string> taken;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const Column& column = columns_[i];
        const std::string wanted = !column.header.empty()      ? column.header
                                   : !column.fieldName.empty() ? column.fieldName
                                                               : "column " + std::to_string(i + 1);
        columnNames_.push_back(uniqueName(wanted, taken));
        if (columnNames_.back() != wanted)
            report_.notices.push_back("The column \"" + wanted + "\" is named \"" + columnNames_.back() +
                                      "\" in the database: another column of the table has that name, letter "
                                      "case aside.");
    }
    execute(createStatement(table_, !key_.empty()));
    inserted_ = 0;
    prepareInsert();
    batchRows_ = std::max<std::size_t>(kBatchCells / columnNames_.size(), 1);
    for (int i = 0; i < kBatches; ++i) batches_[i].cells.resize(batchRows_ * columnNames_.size());
    created_ = true;
}

void SqliteWriter::prepareInsert() {
    const std::size_t columns = columnNames_.size();
    const auto prepare = [&](std::size_t rows, sqlite3_stmt** statement) {
        std::string sql = "INSERT INTO " + identifier(table_) + " VALUES ";
        for (std::size_t r = 0; r < rows; ++r) {
            sql += r == 0 ? "(" : ", (";
            for (std::size_t i = 0; i < columns; ++i) sql += i == 0 ? "?" : ", ?";
            sql += ")";
        }
        check(sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size() + 1), SQLITE_PREPARE_PERSISTENT,
                                 statement, nullptr),
              "SQL");
    };
    prepare(1, &insert_);
    manyRows_ = std::min(kRowsAtOnce, kValuesAtOnce / columns);
    // A keyed table needs a name for the rowid no column has (to take out the
    // rows of an INSERT that broke the key).
    rowid_.clear();
    for (const char* name : {"rowid", "_rowid_", "oid"})
        if (rowid_.empty() && std::none_of(columnNames_.begin(), columnNames_.end(),
                                           [&](const std::string& column) { return folded(column) == name; }))
            rowid_ = name;
    if (manyRows_ > 1 && (key_.empty() || !rowid_.empty())) prepare(manyRows_, &insertMany_);
}

void SqliteWriter::endTable() {
    if (!tableOpen_) return;
    if (!created_) createTable();
    submit();
    drain();
    sqlite3_finalize(insert_);
    sqlite3_finalize(insertMany_);
    insert_ = insertMany_ = nullptr;
    tableOpen_ = false;
}

void SqliteWriter::setText(std::int64_t row, int column, std::string_view text) {
    setCell(row, column, driver::Value(std::string(text)));
}

void SqliteWriter::setFileCell(std::int64_t row, int column, const driver::Value& value, std::string_view) {
    setCell(row, column, value);
}

void SqliteWriter::setCell(std::int64_t row, int column, const driver::Value& value) {
    locate(row, column);
    if (row == 1) {
        const auto* text = std::get_if<std::string>(&value);
        columns_[static_cast<std::size_t>(column) - 1].header = text != nullptr ? *text : std::string();
        return;
    }
    Batch& batch = *filling_;
    Cell& cell = batch.cells[(batch.rows - 1) * columnNames_.size() + static_cast<std::size_t>(column) - 1];
    const auto bytes = [&](Cell::Kind kind, const void* data, std::size_t size) {
        cell.kind = kind;
        cell.offset = batch.bytes.size();
        cell.size = size;
        batch.bytes.append(static_cast<const char*>(data), size);
    };
    const auto text = [&](std::string_view text) { bytes(Cell::Kind::Text, text.data(), text.size()); };
    const auto real = [&](double number) {
        if (std::isnan(number)) return text(nonFiniteText(number));
        cell.kind = Cell::Kind::Real;
        cell.real = number;
    };
    char buffer[2 * kMaxNumberText];
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, driver::Null>) {
                cell.kind = Cell::Kind::Null;
            } else if constexpr (std::is_same_v<T, bool>) {
                cell.kind = Cell::Kind::Integer;
                cell.integer = v ? 1 : 0;
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                cell.kind = Cell::Kind::Integer;
                cell.integer = v;
            } else if constexpr (std::is_same_v<T, double>) {
                real(v);
            } else if constexpr (std::is_same_v<T, driver::Money>) {
                real(v.value);
            } else if constexpr (std::is_same_v<T, driver::Decimal>) {
                const DecimalNumber number = decimalNumber(v.text);
                if (number.exact) real(number.value);
                else text(v.text);
            } else if constexpr (std::is_same_v<T, driver::Date>) {
                text(std::string_view(buffer, static_cast<std::size_t>(appendIsoDate(buffer, v) - buffer)));
            } else if constexpr (std::is_same_v<T, driver::Time>) {
                text(std::string_view(buffer, static_cast<std::size_t>(appendIsoTime(buffer, v) - buffer)));
            } else if constexpr (std::is_same_v<T, driver::Timestamp>) {
                const char* end = appendIsoTimestamp(buffer, v, ' ');
                text(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
            } else if constexpr (std::is_same_v<T, std::string>) {
                text(v);
            } else if constexpr (std::is_same_v<T, driver::Bytes>) {
                const driver::BlobContent content = driver::blobContent(v);
                bytes(Cell::Kind::Blob, content.data, content.size);
            } else if constexpr (std::is_same_v<T, driver::ValueError>) {
                text("(unreadable: " + v.message + ")");
            } else {
                static_assert(!sizeof(T), "every kind of value needs a column value");
            }
        },
        value);
}

void SqliteWriter::finish() {
    if (finished_) return;
    if (failed_) throw std::runtime_error("The database " + path_.string() + " could not be written.");
    try {
        endTable();
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        inserter_.join();
        execute("COMMIT");
        const int closed = sqlite3_close(db_);
        check(closed, "close");
        db_ = nullptr;
        file_->commit();
        finished_ = true;
    } catch (...) {
        fail();
        throw;
    }
}

}  // namespace workbook
