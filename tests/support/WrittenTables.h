#pragma once
// Tables the tests write for themselves with the project's table writer
// (tools/paradoxwriter), so that a clone without the corpus of real tables
// (support/Corpus.h) still tests the reader, the queries, the import and the
// wizard. Each function creates the file's folder and replaces the file.
// They throw paradoxwriter::WriteError.

#include "paradoxwriter/Writer.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace testsupport {

using Rows = std::vector<std::vector<driver::Value>>;

void writeTable(const std::filesystem::path& file, const std::vector<paradoxwriter::FieldDef>& fields,
                const Rows& rows, const paradoxwriter::Options& options = {});

// `count` rows of Id (Long: 1, 2, ...) and Label (Alpha 20: "row 1", "row 2", ...).
void writeNumbered(const std::filesystem::path& file, int count, const paradoxwriter::Options& options = {});

// Name, Capital, Continent (Alpha 24), Area and Population (Number) of 18
// American countries in name order, from "Argentina" (area 2777815) to
// "Venezuela"; keyed on Name, in code page 850.
void writeCountry(const std::filesystem::path& file);

// A twin of the corpus table cran-Rparadox/TypSammlung.DB, a keyed 7.x table
// of every type: its fields, rows and record bytes, with the oddities of the
// program that wrote it, put in by changing the written bytes: a BCD NULL
// stored as 06 00 ..., and a date and a timestamp on 31 December of year -1.
// The .MB is written beside it.
void writeTypSammlung(const std::filesystem::path& file);

// One table of each version (3.0, 3.5, 4.x, 5.x, 7.x), each with every type
// that version knows, in a code page of its day, keyed and not, in blocks of
// 1 to 32 KiB, some password-protected; field names and text with blanks and
// accents; NULLs, zeros, extremes; blobs of every kind inline, sub-allocated
// and in blocks of their own.
struct WrittenTable {
    std::filesystem::path file;
    std::vector<paradoxwriter::FieldDef> fields;
    Rows rows;  // as written, and as a reader gives them back
    int codePage;
    bool encrypted;
};
std::vector<WrittenTable> writeEveryVersion(const std::filesystem::path& folder);

// Seven fields (a Long, four Alpha, a Memo and a Binary "Picture") and no rows.
void writeEmpty(const std::filesystem::path& file);

// The bytes of a file, and writing them back.
std::vector<std::uint8_t> fileBytes(const std::filesystem::path& file);
void writeBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);

}  // namespace testsupport
