#include "platform/Database.h"

#include "driver/ConnectionString.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace platform {
namespace {

// Runs `work`, turning the driver's errors into DatabaseError with the same words.
template <typename Work>
decltype(auto) translatingErrors(Work&& work) {
    try {
        return work();
    } catch (const driver::ConnectionError& e) {
        throw DatabaseError(e.what());
    } catch (const driver::SqlSyntaxError& e) {
        throw DatabaseError(e.what());
    } catch (const driver::QueryError& e) {
        throw DatabaseError(e.what());
    } catch (const driver::ReadError& e) {
        throw DatabaseError(e.what());
    }
}

const char* blobKind(driver::FieldType type) {
    switch (type) {
        case driver::FieldType::Graphic: return "graphic";
        case driver::FieldType::Ole: return "OLE object";
        case driver::FieldType::FormattedMemo: return "formatted memo";
        case driver::FieldType::Bytes: return "bytes";
        default: return "binary";
    }
}

void appendDate(std::string& out, const driver::Date& d) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, d.year < 0 ? "-%04d-%02d-%02d" : "%04d-%02d-%02d",
                                std::abs(d.year), d.month, d.day);
    out.append(text, static_cast<std::size_t>(n));
}

void appendTime(std::string& out, const driver::Time& t) {
    const std::int64_t ms = t.milliseconds;
    char text[48];
    int n = std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(ms / 3600000),
                          static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60));
    if (ms % 1000 != 0)
        n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), ".%03lld",
                           static_cast<long long>(ms % 1000));
    out.append(text, static_cast<std::size_t>(n));
}

}  // namespace

void appendValueText(std::string& out, const driver::Value& value) {
    char text[64];
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, driver::Null>) {
            } else if constexpr (std::is_same_v<T, bool>) {
                out += v ? "True" : "False";
            } else if constexpr (std::is_same_v<T, std::int64_t> || std::is_same_v<T, double>) {
                out.append(text, std::to_chars(text, text + sizeof text, v).ptr);
            } else if constexpr (std::is_same_v<T, driver::Money>) {
                const char* end = std::to_chars(text, text + sizeof text, v.value, std::chars_format::fixed, 2).ptr;
                const std::string_view written(text, static_cast<std::size_t>(end - text));
                out += written == "-0.00" ? std::string_view("0.00") : written;
            } else if constexpr (std::is_same_v<T, driver::Decimal>) {
                out += v.text;
            } else if constexpr (std::is_same_v<T, driver::Date>) {
                appendDate(out, v);
            } else if constexpr (std::is_same_v<T, driver::Time>) {
                appendTime(out, v);
            } else if constexpr (std::is_same_v<T, driver::Timestamp>) {
                appendDate(out, v.date);
                out += ' ';
                appendTime(out, v.time);
            } else if constexpr (std::is_same_v<T, std::string>) {
                out += v;
            } else if constexpr (std::is_same_v<T, driver::Bytes>) {
                const std::size_t size = v.data.size();
                out += '(';
                out += blobKind(v.type);
                out += ", ";
                out.append(text, std::to_chars(text, text + sizeof text, size).ptr);
                out += size == 1 ? " byte)" : " bytes)";
            } else if constexpr (std::is_same_v<T, driver::ValueError>) {
                out += "(unreadable: " + v.message + ")";
            }
        },
        value);
}

std::string valueText(const driver::Value& value) {
    std::string text;
    appendValueText(text, value);
    return text;
}

void Connection::CursorLocation(int location) {
    if (location != adUseServer && location != adUseClient)
        throw DatabaseError("Cursor location " + std::to_string(location) +
                            " is not supported; use 2 (server) or 3 (client).");
    cursorLocation_ = location;
}

void Connection::Open(const QString& connectionString) {
    if (isOpen()) throw DatabaseError("The connection is already open.");
    folder_ = translatingErrors(
        [&] { return driver::resolveParadoxSource(connectionString.toStdString()).folder; });
}

const std::filesystem::path& Connection::folder() const {
    if (!isOpen()) throw DatabaseError("The connection is not open.");
    return *folder_;
}

void Connection::bindTable(const QString& table, const QByteArray& fileName) {
    tables_[table.toStdString()] = fileName.toStdString();
}

const driver::Value& Field::Value() const { return recordset_->value(index_); }

Field& FieldCollection::Item(int index) {
    if (index < 0 || index >= Count())
        throw DatabaseError("There is no field number " + std::to_string(index) + "; the fields are numbered 0 to " +
                            std::to_string(Count() - 1) + ".");
    return fields_[static_cast<std::size_t>(index)];
}

void Recordset::Open(const QString& source, const Connection& activeConnection, int cursorType, int lockType) {
    if (isOpen()) throw DatabaseError("The recordset is already open.");
    if (cursorType < adOpenUnspecified || cursorType > adOpenStatic)
        throw DatabaseError("Cursor type " + std::to_string(cursorType) + " is not supported.");
    if (lockType < adLockUnspecified || lockType == 0 || lockType > adLockBatchOptimistic)
        throw DatabaseError("Lock type " + std::to_string(lockType) + " is not supported.");
    if (!activeConnection.isOpen()) throw DatabaseError("The connection is not open.");

    std::shared_ptr<const driver::ResultSet> result = translatingErrors([&] {
        return driver::executeQuery(activeConnection.folder(), source.toStdString(), activeConnection.boundTables());
    });
    recordCount_ = translatingErrors([&] { return result->rowCount(); });

    const std::vector<driver::Field>& fields = result->fields();
    fields_.fields_.reserve(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i)
        fields_.fields_.push_back(Field(*this, static_cast<int>(i), fields[i]));
    result_ = std::move(result);
}

void Recordset::requireOpen() const {
    if (!isOpen()) throw DatabaseError("The recordset is not open.");
}

std::int64_t Recordset::RecordCount() const {
    requireOpen();
    return recordCount_;
}

void Recordset::MoveNext() {
    if (Eof()) throw DatabaseError("There is no next record: the end of the records has been reached.");
    ++position_;
}

bool Recordset::Eof() const {
    requireOpen();
    return position_ >= recordCount_;
}

const driver::Value& Recordset::value(int index) {
    if (loadedPosition_ != position_) {
        if (Eof()) throw DatabaseError("There is no current record: the end of the records has been reached.");
        loadedPosition_ = position_;
        rowError_.reset();
        try {
            result_->readRow(position_, row_);
        } catch (const driver::ReadError& e) {
            rowError_ = e.what();
        }
    }
    if (rowError_) throw DatabaseError(*rowError_);
    return row_[static_cast<std::size_t>(index)];
}

std::string Recordset::Damage() const {
    requireOpen();
    return result_->table().damage();
}

bool Recordset::RowsInDoubt() const {
    requireOpen();
    return result_->table().rowsInDoubt();
}

driver::CodePageEvidence Recordset::CodePageEvidence() const {
    requireOpen();
    return result_->table().codePageEvidence();
}

std::unique_ptr<RecordsetModel> Recordset::DataSource() const {
    requireOpen();
    return std::make_unique<RecordsetModel>(result_);
}

}  // namespace platform
