#include "TableWriter.h"

#include <cstring>
#include <stdexcept>

namespace bench {
namespace {

void put16(std::uint8_t* p, unsigned v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

TableWriter::TableWriter(const std::string& path, std::vector<WriterField> fields, int blockKiB)
    : file_(std::fopen(path.c_str(), "wb")), fields_(std::move(fields)), blockSize_(blockKiB * 1024) {
    if (!file_) throw std::runtime_error("cannot write " + path);
    for (const auto& f : fields_) recordSize_ += f.size;
    perBlock_ = (blockSize_ - 6) / recordSize_;
    block_.assign(static_cast<std::size_t>(blockSize_), 0);
    std::vector<std::uint8_t> blank(kHeaderSize, 0);
    std::fwrite(blank.data(), 1, blank.size(), file_);
}

TableWriter::~TableWriter() {
    if (file_) std::fclose(file_);
}

void TableWriter::add(const std::vector<std::uint8_t>& record) {
    if (inBlock_ == perBlock_) flushBlock(false);
    std::memcpy(block_.data() + 6 + static_cast<std::size_t>(inBlock_) * recordSize_, record.data(),
                static_cast<std::size_t>(recordSize_));
    ++inBlock_;
    ++records_;
}

void TableWriter::flushBlock(bool last) {
    ++blocks_;
    if (blocks_ > 0xFFFF) throw std::runtime_error("too many blocks for a Paradox table");
    put16(block_.data(), last ? 0u : static_cast<unsigned>(blocks_ + 1));
    put16(block_.data() + 2, static_cast<unsigned>(blocks_ - 1));
    put16(block_.data() + 4, static_cast<unsigned>((inBlock_ - 1) * recordSize_));
    std::fwrite(block_.data(), 1, block_.size(), file_);
    std::fill(block_.begin(), block_.end(), 0);
    inBlock_ = 0;
}

void TableWriter::finish() {
    if (inBlock_ > 0) flushBlock(true);
    writeHeader();
    std::fclose(file_);
    file_ = nullptr;
}

void TableWriter::writeHeader() {
    std::vector<std::uint8_t> h(kHeaderSize, 0);
    put16(&h[0x00], static_cast<unsigned>(recordSize_));
    put16(&h[0x02], kHeaderSize);
    h[0x04] = 2;  // non-keyed
    h[0x05] = static_cast<std::uint8_t>(blockSize_ / 1024);
    put32(&h[0x06], records_);
    put16(&h[0x0A], static_cast<unsigned>(blocks_));
    put16(&h[0x0C], static_cast<unsigned>(blocks_));
    put16(&h[0x0E], blocks_ ? 1u : 0u);
    put16(&h[0x10], static_cast<unsigned>(blocks_));
    put16(&h[0x21], static_cast<unsigned>(fields_.size()));
    h[0x29] = 0x4C;  // DBWINUS0
    h[0x39] = 12;    // 7.x
    put16(&h[0x3A], static_cast<unsigned>(blocks_));
    h[0x3E] = 0x1F;
    h[0x3F] = 0x0F;
    h[0x56] = 0x20;
    put16(&h[0x58], 0x010C);
    put16(&h[0x5A], 0x010C);
    put16(&h[0x64], static_cast<unsigned>(fields_.size() + 1));
    put16(&h[0x6A], 1252);
    std::size_t at = 0x78;
    for (const auto& f : fields_) {
        h[at++] = f.type;
        h[at++] = static_cast<std::uint8_t>(f.size);
    }
    at += 4 + 4 * fields_.size();
    std::memcpy(&h[at], "bench.db", 8);
    at += 261;
    for (const auto& f : fields_) {
        std::memcpy(&h[at], f.name.data(), f.name.size());
        at += f.name.size() + 1;
    }
    put16(&h[0x66], static_cast<unsigned>(at - 0x58));
    for (std::size_t i = 0; i < fields_.size(); ++i, at += 2) put16(&h[at], static_cast<unsigned>(i + 1));
    std::memcpy(&h[at], "DBWINUS0", 9);
    at += 9;
    put16(&h[0x51], static_cast<unsigned>(at));
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite(h.data(), 1, h.size(), file_);
}

}  // namespace bench
