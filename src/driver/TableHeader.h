#pragma once
// The parsed and validated header of a Paradox .db file.

#include "driver/Table.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace driver {

class FileReader;

struct RawField {
    FieldType type;
    int size;               // bytes in the record
    int decimals = 0;       // BCD only
    std::string rawName;    // as stored, in the table's code page; empty when nameProblem is set
    std::size_t nameAt = 0; // where the name starts in the file (0 when not known)
    // Why the stored name cannot be used ("is empty", "is not NUL-terminated"),
    // or empty when it can.
    std::string nameProblem;
};

class TableHeader {
public:
    // Reads and checks the header of `file`. Throws ReadError naming the file,
    // the byte offset and what is wrong when it is not a Paradox data table.
    static TableHeader read(const FileReader& file);

    int recordSize = 0;
    int headerSize = 0;
    int fileType = 0;       // 0 keyed, 2 non-keyed
    int blockSize = 0;      // bytes
    std::uint32_t numRecords = 0;
    int fileBlocks = 0;
    int firstBlock = 0;
    int lastBlock = 0;
    int firstFreeBlock = 0;  // head of the list of emptied blocks, 0 = none
    int version = 0;        // file version id (3..15)
    int keyFields = 0;
    std::uint8_t sortOrder = 0;
    std::string sortName;   // language driver name, empty for 3.x
    int declaredCodePage = 0;  // 0 when absent (3.x) or stored as 0
    // Where the used part of the header ends: after the names, and on 4.0+
    // tables the field numbers and the language driver's name. No data block
    // starts before it.
    std::size_t usedEnd = 0;
    // When the names cannot be told apart (more or fewer of them than fields,
    // and nothing shows where each starts), what the header holds; every
    // field's nameProblem then says the same.
    std::string namesUnplaced;
    // What was mended while the header was read, one finding per entry
    // (naming the file and the byte), as damage() tells it.
    std::vector<std::string> findings;
    std::uint32_t key = 0;     // scramble key, 0 = not encrypted
    bool needsRebuild = false;
    std::vector<RawField> fields;
};

}  // namespace driver
