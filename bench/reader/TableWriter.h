#pragma once
// Writes a non-keyed 7.x Paradox table block by block (bench only): enough of
// the format for generated test data, in constant memory whatever the size.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

struct WriterField {
    std::uint8_t type;  // Paradox field type code
    int size;           // bytes in the record
    std::string name;
};

class TableWriter {
public:
    TableWriter(const std::string& path, std::vector<WriterField> fields, int blockKiB);
    ~TableWriter();

    int recordSize() const { return recordSize_; }
    // Appends one record of recordSize() bytes.
    void add(const std::vector<std::uint8_t>& record);
    // Flushes the last block and writes the final header.
    void finish();

private:
    void writeHeader();
    void flushBlock(bool last);

    std::FILE* file_;
    std::vector<WriterField> fields_;
    int blockSize_;
    int recordSize_ = 0;
    int perBlock_ = 0;
    static constexpr int kHeaderSize = 4096;
    std::vector<std::uint8_t> block_;
    int inBlock_ = 0;
    int blocks_ = 0;
    std::uint32_t records_ = 0;
};

}  // namespace bench
