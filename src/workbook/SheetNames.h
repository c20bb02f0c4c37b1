#pragma once
// Worksheet names a workbook can hold, as Excel takes them: at most 31
// characters (UTF-16 units), none of the characters [ ] : * ? / \ nor a
// control character (each becomes "_"), no apostrophe at either end (it
// becomes "_"), not empty ("Sheet"), not "History" (Excel's own), and each
// unlike every other without regard to letter case.

#include <set>
#include <string>
#include <string_view>

namespace workbook {

class SheetNames {
public:
    // The longest name a sheet may have, in UTF-16 units.
    static constexpr std::size_t kMaxUnits = 31;

    // A name no sheet has yet, taken: `wanted` as far as the rules allow,
    // cut to leave room for `suffix` (" (2)"), then the suffix; when that is
    // taken, "-2", "-3", ... after it.
    std::string take(std::string_view wanted, std::string_view suffix = {});

private:
    std::set<std::string> taken_;  // letter case folded
};

}  // namespace workbook
