#include "driver/ParadoxTable.h"

#include <algorithm>

namespace driver {
namespace {

constexpr std::size_t kBlockHeader = 6;

bool isBlob(FieldType type) {
    return type == FieldType::Memo || type == FieldType::Binary || type == FieldType::FormattedMemo ||
           type == FieldType::Ole || type == FieldType::Graphic;
}

}  // namespace

ParadoxTable::ParadoxTable(const std::filesystem::path& dbFile, const OpenOptions& options)
    : path_(dbFile), file_(dbFile), header_(TableHeader::read(file_)) {
    const int codePage = options.codePage != 0
                             ? options.codePage
                             : TextDecoder::codePageFor(header_.declaredCodePage, header_.sortOrder,
                                                        header_.sortName);
    text_ = std::make_unique<TextDecoder>(codePage);
    for (const RawField& raw : header_.fields)
        fields_.push_back(Field{text_->decode(reinterpret_cast<const std::uint8_t*>(raw.rawName.data()),
                                              raw.rawName.size()),
                                raw.type, raw.size, raw.decimals});
    if (header_.key != 0) descrambler_.emplace(header_.key);
    if (std::any_of(fields_.begin(), fields_.end(), [](const Field& f) { return isBlob(f.type); }))
        blobs_ = std::make_unique<BlobFile>(dbFile, header_.key);
    decoder_ = std::make_unique<RecordDecoder>(header_.fields, fields_, *text_, blobs_.get());
    chain_ = BlockChain::walk(file_, header_, descrambler_ ? &*descrambler_ : nullptr);
}

std::int64_t ParadoxTable::rowCount() const {
    return chain_.rows() + (chain_.damage().empty() ? 0 : 1);
}

void ParadoxTable::loadBlock(std::size_t chainIndex) const {
    const unsigned number = chain_.blocks()[chainIndex].number;
    const std::uint64_t start = static_cast<std::uint64_t>(header_.headerSize) +
                                static_cast<std::uint64_t>(number - 1) * static_cast<std::uint64_t>(header_.blockSize);
    // The chain walk already checked that the rows counted for this block are in the file.
    const std::size_t need = kBlockHeader + static_cast<std::size_t>(chain_.rowsIn(chainIndex)) *
                                                static_cast<std::size_t>(header_.recordSize);
    block_.resize(static_cast<std::size_t>(header_.blockSize));
    cachedIndex_ = SIZE_MAX;
    const std::size_t got = file_.readAt(start, block_.data(), block_.size());
    if (got < need)
        throw ReadError(file_.name() + ": the file changed while it was read: block " +
                        std::to_string(number) + " at byte " + std::to_string(start) + " is cut short");
    if (descrambler_) descrambler_->dataBlock(block_.data(), got, number);
    cachedIndex_ = chainIndex;
}

template <typename Decode>
void ParadoxTable::withRecord(std::int64_t index, Decode&& decode) const {
    if (index < 0 || index >= rowCount())
        throw ReadError(file_.name() + ": row " + std::to_string(index) + " does not exist (the table has " +
                        std::to_string(rowCount()) + " rows)");
    if (index >= chain_.rows()) throw ReadError(chain_.damage());

    std::lock_guard lock(cacheMutex_);
    const auto& blocks = chain_.blocks();
    std::size_t at = cachedIndex_;
    if (at == SIZE_MAX || index < blocks[at].firstRow || index >= blocks[at].firstRow + chain_.rowsIn(at))
        at = chain_.blockOf(index);
    if (at != cachedIndex_) loadBlock(at);
    const std::int64_t record = index - blocks[at].firstRow;
    const std::uint8_t* bytes =
        block_.data() + kBlockHeader + static_cast<std::size_t>(record) * static_cast<std::size_t>(header_.recordSize);
    decode(bytes, RecordDecoder::Place{index, blocks[at].number, record});
}

void ParadoxTable::readRow(std::int64_t index, std::vector<Value>& out) const {
    withRecord(index, [&](const std::uint8_t* bytes, const RecordDecoder::Place& place) {
        out.resize(fields_.size());
        for (std::size_t i = 0; i < fields_.size(); ++i)
            decoder_->decode(bytes, static_cast<int>(i), place, out[i]);
    });
}

std::vector<Value> ParadoxTable::row(std::int64_t index) const {
    std::vector<Value> out;
    readRow(index, out);
    return out;
}

std::vector<Value> ParadoxTable::row(std::int64_t index, const std::vector<int>& columns) const {
    for (int column : columns)
        if (column < 0 || static_cast<std::size_t>(column) >= fields_.size())
            throw ReadError(file_.name() + ": column " + std::to_string(column) + " does not exist (the table has " +
                            std::to_string(fields_.size()) + " fields)");
    std::vector<Value> out;
    withRecord(index, [&](const std::uint8_t* bytes, const RecordDecoder::Place& place) {
        out.reserve(columns.size());
        for (int column : columns) out.push_back(decoder_->decode(bytes, column, place));
    });
    return out;
}

}  // namespace driver
