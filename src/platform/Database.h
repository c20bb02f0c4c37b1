#pragma once
// The database objects the screens use, shaped like ADO's Connection and
// Recordset so the screens read like their event procedures: a Connection
// opened with an ODBC connection string, a Recordset opened with SQL over it,
// its Fields, RecordCount, MoveNext and end-of-records test, and a DataSource
// for the preview grid.
//
// Everything is read-only whatever cursor or lock type is asked for: tables
// are opened for reading only and rows are read from the file on demand, so a
// recordset holds one row in memory at a time.

#include "driver/Engine.h"
#include "driver/Value.h"
#include "platform/RecordsetModel.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

// Every failure of a Connection or Recordset; what() is the description the
// error report shows (driver errors are passed through word for word).
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ADO's values for CursorLocation, CursorType and LockType.
inline constexpr int adUseServer = 2;
inline constexpr int adUseClient = 3;
inline constexpr int adOpenUnspecified = -1;
inline constexpr int adOpenForwardOnly = 0;
inline constexpr int adOpenKeyset = 1;
inline constexpr int adOpenDynamic = 2;
inline constexpr int adOpenStatic = 3;
inline constexpr int adLockUnspecified = -1;
inline constexpr int adLockReadOnly = 1;
inline constexpr int adLockPessimistic = 2;
inline constexpr int adLockOptimistic = 3;
inline constexpr int adLockBatchOptimistic = 4;

class Connection {
public:
    // adUseServer (the default) or adUseClient. Both behave alike here: rows
    // are always read on demand and RecordCount is always exact. Throws
    // DatabaseError for any other value.
    int CursorLocation() const { return cursorLocation_; }
    void CursorLocation(int location);

    // Opens the folder an ODBC connection string names (see
    // driver::resolveParadoxSource). Throws DatabaseError when the string, the
    // driver or the folder is not usable, or when already open.
    void Open(const QString& connectionString);

    bool isOpen() const { return folder_.has_value(); }
    // The folder of tables; only while open.
    const std::filesystem::path& folder() const;

    // From now on a query that names the table `table` (exactly as written)
    // opens the file `fileName` of the connection's folder, named by its bytes
    // as the file system spells it, instead of the file found by the name.
    void bindTable(const QString& table, const QByteArray& fileName);
    const driver::TableFiles& boundTables() const { return tables_; }

private:
    int cursorLocation_ = adUseServer;
    std::optional<std::filesystem::path> folder_;
    driver::TableFiles tables_;
};

class Recordset;

// One column of a recordset.
class Field {
public:
    // The field's name as the table spells it.
    const QString& Name() const { return name_; }
    // The field's value in the current row (Null for an empty cell). Valid
    // until the next MoveNext. Throws DatabaseError at the end of the records
    // or when the row cannot be read.
    const driver::Value& Value() const;
    // The field as the table declares it: name, type, size (ADO's Type and
    // DefinedSize in one).
    const driver::Field& Definition() const { return definition_; }

private:
    friend class Recordset;
    Field(Recordset& recordset, int index, driver::Field definition)
        : recordset_(&recordset), index_(index), name_(QString::fromStdString(definition.name)),
          definition_(std::move(definition)) {}

    Recordset* recordset_;
    int index_;
    QString name_;
    driver::Field definition_;
};

// The columns of a recordset, numbered from 0 in the order the query asked for.
class FieldCollection {
public:
    int Count() const { return static_cast<int>(fields_.size()); }
    // Throws DatabaseError for an index outside 0..Count()-1.
    Field& Item(int index);
    Field& operator[](int index) { return Item(index); }

private:
    friend class Recordset;
    std::vector<Field> fields_;
};

class Recordset {
public:
    Recordset() = default;
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Runs `source` (SQL) over an open connection; the first row becomes the
    // current one. Cursor and lock type take ADO's values and change nothing:
    // the result is always a read-only static cursor. The recordset keeps what
    // it needs, so it may outlive the connection. Throws DatabaseError.
    void Open(const QString& source, const Connection& activeConnection, int cursorType = adOpenForwardOnly,
              int lockType = adLockReadOnly);
    bool isOpen() const { return result_ != nullptr; }

    // The result's fields; none while closed.
    FieldCollection& Fields() { return fields_; }
    // The number of rows of the result. Throws DatabaseError while closed.
    std::int64_t RecordCount() const;
    // Makes the next row current. Throws DatabaseError at the end or while closed.
    void MoveNext();
    // ADO's EOF: no current row because the records have run out. Throws
    // DatabaseError while closed.
    bool Eof() const;
    // What the reader found wrong with the table behind the result (a broken
    // block chain, rows the header counts but the file does not hold); empty
    // for a sound table. Throws DatabaseError while closed.
    std::string Damage() const;
    // Whether, on a damaged table, the rows may not be exactly the table's
    // rows in its order (see driver::Table::rowsInDoubt). Throws DatabaseError
    // while closed.
    bool RowsInDoubt() const;
    // The reader's word on the code page of the table behind the result (see
    // driver::Table::codePageEvidence). Throws DatabaseError while closed.
    driver::CodePageEvidence CodePageEvidence() const;

    // A new read-only model over the same rows for a grid to show, owned by
    // the caller; it keeps the rows readable after this recordset is gone.
    // Throws DatabaseError while closed.
    std::unique_ptr<RecordsetModel> DataSource() const;

private:
    friend class Field;
    const driver::Value& value(int index);
    void requireOpen() const;

    std::shared_ptr<const driver::ResultSet> result_;
    FieldCollection fields_;
    std::int64_t recordCount_ = 0;
    std::int64_t position_ = 0;
    std::int64_t loadedPosition_ = -1;  // the row that row_ holds
    std::vector<driver::Value> row_;
    std::optional<std::string> rowError_;  // why loadedPosition_ could not be read
};

// The text a value shows as in the grid: Null empty, numbers as written,
// money with two decimals, dates YYYY-MM-DD, times HH:MM:SS[.mmm], logicals
// True/False, binary values as "(graphic, 1234 bytes)".
void appendValueText(std::string& out, const driver::Value& value);
std::string valueText(const driver::Value& value);

}  // namespace platform
