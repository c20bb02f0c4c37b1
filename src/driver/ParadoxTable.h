#pragma once
// The Table of a Paradox .db file: header parsed and checked at open, chain of
// data blocks indexed at open (two numbers per block).
//
// Blocks are read in chunks: a run of chain blocks that lie next to each other
// in the file (up to 64 KiB) comes in with one read. Each thread keeps the last
// few chunks it read in a cache of its own, so reading rows takes no lock and
// threads never wait for each other; the cache holds at most 256 KiB per thread.

#include "driver/BlobFile.h"
#include "driver/BlockChain.h"
#include "driver/CodePageFinder.h"
#include "driver/Descrambler.h"
#include "driver/FileReader.h"
#include "driver/RecordDecoder.h"
#include "driver/Table.h"
#include "driver/TableHeader.h"
#include "driver/TextDecoder.h"

#include <memory>
#include <mutex>
#include <optional>

namespace driver {

class ParadoxTable final : public Table {
public:
    ParadoxTable(const std::filesystem::path& dbFile, const OpenOptions& options);
    ~ParadoxTable() override;
    ParadoxTable(const ParadoxTable&) = delete;
    ParadoxTable& operator=(const ParadoxTable&) = delete;

    const std::filesystem::path& path() const override { return path_; }
    const std::vector<Field>& fields() const override { return fields_; }
    std::int64_t rowCount() const override;
    std::vector<Value> row(std::int64_t index) const override;
    std::vector<Value> row(std::int64_t index, const std::vector<int>& columns) const override;
    void readRow(std::int64_t index, std::vector<Value>& out) const override;
    void readRow(std::int64_t index, const std::vector<int>& columns, std::vector<Value>& out) const override;
    std::int64_t headerRowCount() const override { return header_.numRecords; }
    int codePage() const override { return text_->codePage(); }
    CodePageEvidence codePageEvidence() const override;
    bool encrypted() const override { return header_.key != 0; }
    int keyFields() const override;
    std::string damage() const override { return damage_; }
    bool rowsInDoubt() const override { return chain_.rowsInDoubt(); }

private:
    struct Record {
        const std::uint8_t* bytes;  // recordSize bytes, valid until this thread reads another row
        RecordDecoder::Place place;
    };
    // The record of row `index`; throws ReadError for a row that does not exist or cannot be read.
    Record record(std::int64_t index) const;
    // Slow path of record(): finds or reads the chunk holding `index` and makes its block current.
    void locate(std::int64_t index) const;
    void checkColumns(const std::vector<int>& columns) const;
    // One line for each field name that could not be used (see TableHeader).
    std::vector<std::string> nameFindings() const;
    // Field names, alpha values and memos (as stored) of the first rows, up to
    // CodePageFinder::kSampleBytes of text that is not ASCII alone.
    CodePageFinder sampleText() const;

    std::filesystem::path path_;
    FileReader file_;
    TableHeader header_;
    std::vector<Field> fields_;
    std::unique_ptr<TextDecoder> text_;
    CodePageEvidence evidence_;
    mutable std::once_flag textLooked_;
    std::optional<Descrambler> descrambler_;
    std::unique_ptr<BlobFile> blobs_;
    std::unique_ptr<RecordDecoder> decoder_;
    BlockChain chain_;
    std::string damage_;
    // Names this table in the per-thread chunk caches; never reused.
    std::uint64_t id_;
};

}  // namespace driver
