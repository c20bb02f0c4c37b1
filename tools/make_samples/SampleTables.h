#pragma once
// The sample database that ships beside the program (<program folder>/Samples):
// fictional customers, orders, parts and employees of a small trading house,
// with accented Western European text in code page 1252, NULLs in every
// type, memos short enough for the record, long enough for the .MB, and
// dates before 1900. Output is deterministic: the same bytes on every run.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace samples {

struct WrittenTable {
    std::filesystem::path file;  // relative to the output folder
    std::int64_t rows;
};

// Table files, relative to the output folder. One sits in a subfolder and
// one has a lower-case name, as tables in the field do.
inline const std::filesystem::path kCustomer = "CUSTOMER.DB";
inline const std::filesystem::path kOrders = "ORDERS.DB";
inline const std::filesystem::path kParts = "PARTS.DB";
inline const std::filesystem::path kEmployee = "EMPLOYEE.DB";
inline const std::filesystem::path kArchivedOrders = std::filesystem::path("Archive") / "orders1999.db";

inline constexpr int kCustomerRows = 300;
inline constexpr int kOrderRows = 2000;
inline constexpr int kPartRows = 250;
inline constexpr int kEmployeeRows = 60;
inline constexpr int kArchivedOrderRows = 365;

// Writes every sample table into `folder` (created if needed), replacing
// files of the same name. Throws paradoxwriter::WriteError or
// std::filesystem::filesystem_error.
std::vector<WrittenTable> writeSampleTables(const std::filesystem::path& folder);

}  // namespace samples
