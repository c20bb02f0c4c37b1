#include "driver/Table.h"

#include "driver/ParadoxTable.h"

namespace driver {

std::unique_ptr<Table> Table::open(const std::filesystem::path& dbFile) {
    return open(dbFile, OpenOptions{});
}

std::unique_ptr<Table> Table::open(const std::filesystem::path& dbFile, const OpenOptions& options) {
    return std::make_unique<ParadoxTable>(dbFile, options);
}

}  // namespace driver
