#pragma once
// The Table of a Paradox .db file: header parsed and checked at open, chain of
// data blocks indexed at open (two numbers per block), one block cached.

#include "driver/BlobFile.h"
#include "driver/BlockChain.h"
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

    const std::filesystem::path& path() const override { return path_; }
    const std::vector<Field>& fields() const override { return fields_; }
    std::int64_t rowCount() const override;
    std::vector<Value> row(std::int64_t index) const override;
    std::vector<Value> row(std::int64_t index, const std::vector<int>& columns) const override;
    void readRow(std::int64_t index, std::vector<Value>& out) const override;
    std::int64_t headerRowCount() const override { return header_.numRecords; }
    int codePage() const override { return text_->codePage(); }
    bool encrypted() const override { return header_.key != 0; }
    std::string damage() const override { return chain_.damage(); }

private:
    // Calls decode(record, place) with the record of row `index`, holding the block cache.
    template <typename Decode>
    void withRecord(std::int64_t index, Decode&& decode) const;
    void loadBlock(std::size_t chainIndex) const;

    std::filesystem::path path_;
    FileReader file_;
    TableHeader header_;
    std::vector<Field> fields_;
    std::unique_ptr<TextDecoder> text_;
    std::optional<Descrambler> descrambler_;
    std::unique_ptr<BlobFile> blobs_;
    std::unique_ptr<RecordDecoder> decoder_;
    BlockChain chain_;

    mutable std::mutex cacheMutex_;
    mutable std::vector<std::uint8_t> block_;
    mutable std::size_t cachedIndex_ = SIZE_MAX;  // index into chain_.blocks()
};

}  // namespace driver
