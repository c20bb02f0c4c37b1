#pragma once
// Read-only access to one Paradox table (.db file and its .mb blob file).
//
// Table::open validates the header before a Table exists; everything after
// that reads lazily: rows stream block by block in the order of the block
// chain, and row(n) costs one block read once the chain has been indexed.

#include "driver/Value.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace driver {

// Every failure to read a table. The message names the file and says what is
// wrong and where (byte offset, block, record, field).
class ReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Field {
    std::string name;  // UTF-8
    FieldType type;
    int size;          // bytes in the record (BCD: 17)
    int decimals = 0;  // BCD only
};

class Table {
public:
    virtual ~Table() = default;

    // Throws ReadError when the file is missing, unreadable, or not a Paradox table.
    static std::unique_ptr<Table> open(const std::filesystem::path& dbFile);

    virtual const std::filesystem::path& path() const = 0;
    virtual const std::vector<Field>& fields() const = 0;
    // Live rows along the block chain (not the header's claim).
    virtual std::int64_t rowCount() const = 0;
    // The values of row `index` (0-based, chain order). Throws ReadError for a
    // damaged row; a single unreadable blob comes back as a ValueError cell.
    virtual std::vector<Value> row(std::int64_t index) const = 0;
    // Only the listed columns of a row, in the order given.
    virtual std::vector<Value> row(std::int64_t index, const std::vector<int>& columns) const = 0;
};

}  // namespace driver
