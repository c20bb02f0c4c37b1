#pragma once
// The parsed and validated header of a Paradox .db file.

#include "driver/Table.h"

#include <cstdint>
#include <string>
#include <vector>

namespace driver {

class FileReader;

struct RawField {
    FieldType type;
    int size;               // bytes in the record
    int decimals = 0;       // BCD only
    std::string rawName;    // as stored, in the table's code page
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
    std::uint32_t key = 0;     // scramble key, 0 = not encrypted
    bool needsRebuild = false;
    std::vector<RawField> fields;
};

}  // namespace driver
