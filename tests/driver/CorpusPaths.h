#pragma once
// Where the shared corpus of real Paradox tables is (support/Corpus.h), and every table in it.

#include "support/Corpus.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace driver::test {

inline std::filesystem::path corpus(const std::string& relative = {}) {
    return std::filesystem::path(testsupport::corpusFolder()) / relative;
}

// The shared copies of corpus tables with a few bytes changed (their README gives the true row counts).
inline std::filesystem::path damagedTable(const std::string& name) {
    return std::filesystem::path(testsupport::corpusFolder()) / ".." / "damaged-tables" / name;
}

// Every .db of the corpus (any case), as paths relative to the corpus folder, sorted.
inline std::vector<std::string> corpusTables() {
    std::vector<std::string> tables;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus())) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
        if (entry.is_regular_file() && extension == ".db")
            tables.push_back(std::filesystem::relative(entry.path(), corpus()).string());
    }
    std::sort(tables.begin(), tables.end());
    return tables;
}

}  // namespace driver::test
