#include "driver/ParadoxTable.h"

#include "driver/Format.h"

#include <algorithm>
#include <array>
#include <atomic>

namespace driver {
namespace {

constexpr std::size_t kBlockHeader = format::kBlockHeaderSize;
// A chunk is one read: at least one block, more while they follow each other
// in the file, up to this many bytes.
constexpr std::size_t kChunkBytes = 64 * 1024;
// Chunks each thread keeps, so that reading two tables (or two places of one)
// in turns does not read the same chunk again and again.
constexpr std::size_t kChunksPerThread = 4;
// Field names that cannot be used, listed one by one in damage(); past these only their number.
constexpr std::size_t kListedNames = 5;

std::atomic<std::uint64_t> nextTableId{1};

// Blocks [firstBlock, endBlock) of a table's chain, read with one pread.
struct Chunk {
    std::uint64_t table = 0;  // 0 = empty
    std::size_t firstBlock = 0;
    std::size_t endBlock = 0;
    std::int64_t firstRow = 0;
    std::int64_t endRow = 0;
    std::uint64_t lastUse = 0;
    std::vector<std::uint8_t> bytes;
};

// What one thread has read. `current` is the block the last row came from:
// the next row in order is almost always in it, which costs two compares.
struct ThreadCache {
    std::array<Chunk, kChunksPerThread> chunks;
    std::uint64_t clock = 0;
    struct {
        std::uint64_t table = 0;  // 0 = none
        std::int64_t firstRow = 0;
        std::int64_t endRow = 0;
        const std::uint8_t* records = nullptr;
        unsigned number = 0;
    } current;
    ~ThreadCache();
};

thread_local ThreadCache threadCache;
// Set once this thread's cache has been destroyed (at thread or program exit):
// a table closed after that must not touch it.
thread_local bool threadCacheGone = false;

ThreadCache::~ThreadCache() { threadCacheGone = true; }

bool isBlob(FieldType type) {
    return type == FieldType::Memo || type == FieldType::Binary || type == FieldType::FormattedMemo ||
           type == FieldType::Ole || type == FieldType::Graphic;
}

}  // namespace

ParadoxTable::ParadoxTable(const std::filesystem::path& dbFile, const OpenOptions& options)
    : path_(dbFile), file_(dbFile), header_(TableHeader::read(file_)) {
    CodePageEvidence& e = evidence_;
    e.declared = header_.declaredCodePage;
    e.declaredKnown = e.declared == 0 || TextDecoder::isKnown(e.declared);
    e.driver = TextDecoder::driverCodePage(header_.sortOrder, header_.sortName);
    e.chosen = options.codePage > 0 && TextDecoder::isKnown(options.codePage);
    if (e.chosen) e.used = options.codePage;
    else if (e.declared != 0 && e.declaredKnown) e.used = e.declared;
    else e.used = e.driver != 0 ? e.driver : 437;

    if (header_.key != 0) descrambler_.emplace(header_.key);
    if (std::any_of(header_.fields.begin(), header_.fields.end(), [](const RawField& f) { return isBlob(f.type); }))
        blobs_ = std::make_unique<BlobFile>(dbFile, header_.key);
    chain_ = BlockChain::walk(file_, header_, descrambler_ ? &*descrambler_ : nullptr);
    id_ = nextTableId.fetch_add(1, std::memory_order_relaxed);

    // The text decides when asked to, or when the header names a page the
    // reader does not know and no language driver names one.
    const bool followText = !e.chosen && (options.codePage == OpenOptions::kFollowText ||
                                          (!e.declaredKnown && e.driver == 0));
    if (followText || !e.declaredKnown) {
        std::call_once(textLooked_, [&] { e.textShows = sampleText().otherPage(e.used, e.driver); });
        if (followText && e.textShows != 0) {
            e.used = e.textShows;
            e.textShows = 0;
            e.followedText = true;
        }
    }
    text_ = std::make_unique<TextDecoder>(e.used);
    for (const RawField& raw : header_.fields) {
        Field field{text_->decode(reinterpret_cast<const std::uint8_t*>(raw.rawName.data()), raw.rawName.size()),
                    raw.type, raw.size, raw.decimals};
        if (!raw.nameProblem.empty()) {
            field.name = "Field " + std::to_string(fields_.size() + 1);
            field.nameReplaced = true;
        }
        fields_.push_back(std::move(field));
    }
    decoder_ = std::make_unique<RecordDecoder>(header_.fields, fields_, *text_, blobs_.get());
    damage_ = chain_.damage();
    for (const std::string& finding : header_.findings) damage_ += (damage_.empty() ? "" : "\n") + finding;
    for (const std::string& finding : nameFindings()) damage_ += (damage_.empty() ? "" : "\n") + finding;
}

CodePageEvidence ParadoxTable::codePageEvidence() const {
    std::call_once(textLooked_, [this] {
        const_cast<CodePageEvidence&>(evidence_).textShows = sampleText().otherPage(evidence_.used, evidence_.driver);
    });
    return evidence_;
}

CodePageFinder ParadoxTable::sampleText() const {
    // Rows looked at, and memos read from the blob file, at most.
    constexpr std::int64_t kRows = 2000;
    constexpr int kBlobMemos = 64;
    constexpr std::uint32_t kLargestMemo = 1 << 20;
    constexpr int kDescriptor = 10;  // reference, length, modification number
    CodePageFinder finder;
    for (const RawField& raw : header_.fields)
        if (raw.nameProblem.empty())
            finder.add(reinterpret_cast<const std::uint8_t*>(raw.rawName.data()), raw.rawName.size());
    int blobMemos = 0;
    const std::int64_t rows = std::min(rowCount(), kRows);
    for (std::int64_t r = 0; r < rows && !finder.full(); ++r) {
        const std::uint8_t* bytes;
        try {
            bytes = record(r).bytes;
        } catch (const ReadError&) {
            continue;
        }
        for (const RawField& f : header_.fields) {
            if (f.type == FieldType::Alpha) {
                std::size_t length = 0;
                while (length < static_cast<std::size_t>(f.size) && bytes[length] != 0) ++length;
                finder.add(bytes, length);
            } else if (f.type == FieldType::Memo) {
                const int leader = f.size - kDescriptor;
                const auto le32 = [](const std::uint8_t* p) {
                    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                           std::uint32_t(p[3]) << 24;
                };
                const std::uint32_t reference = le32(bytes + leader), length = le32(bytes + leader + 4);
                if (length <= static_cast<std::uint32_t>(leader)) {
                    finder.add(bytes, length);
                } else if (blobs_ && blobMemos < kBlobMemos && length <= kLargestMemo) {
                    ++blobMemos;
                    try {
                        const std::vector<std::uint8_t> memo = blobs_->read(reference, length);
                        finder.add(memo.data(), memo.size());
                    } catch (const ReadError&) {
                    }
                }
            }
            bytes += f.size;
        }
    }
    return finder;
}

std::vector<std::string> ParadoxTable::nameFindings() const {
    std::vector<std::string> findings;
    const std::string& name = file_.name();
    if (!header_.namesUnplaced.empty()) {
        findings.push_back(name + ": " + header_.namesUnplaced + ", so which name is whose is not known; " +
                           (fields_.size() == 1 ? "the field is called \"Field 1\""
                                                : "the fields are called \"Field 1\" to \"Field " +
                                                      std::to_string(fields_.size()) + "\""));
        return findings;
    }
    std::size_t replaced = 0;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const RawField& raw = header_.fields[i];
        if (raw.nameProblem.empty()) continue;
        if (++replaced > kListedNames) continue;
        findings.push_back(name + ": the name of field " + std::to_string(i + 1) + " (byte " +
                           std::to_string(raw.nameAt) + ") " + raw.nameProblem + "; the field is called \"" +
                           fields_[i].name + "\"");
    }
    if (replaced > kListedNames)
        findings.push_back(name + ": " + std::to_string(replaced - kListedNames) +
                           " more field names cannot be used either, and those fields are called by their numbers");
    return findings;
}

ParadoxTable::~ParadoxTable() {
    // Other threads' chunks of this table are never matched again and get reused.
    if (threadCacheGone) return;
    ThreadCache& cache = threadCache;
    if (cache.current.table == id_) cache.current.table = 0;
    for (Chunk& chunk : cache.chunks)
        if (chunk.table == id_) {
            chunk.table = 0;
            std::vector<std::uint8_t>().swap(chunk.bytes);
        }
}

std::int64_t ParadoxTable::rowCount() const { return chain_.rows(); }

int ParadoxTable::keyFields() const {
    const bool keyed = header_.fileType == 0 && header_.keyFields > 0 &&
                       static_cast<std::size_t>(header_.keyFields) <= fields_.size();
    return keyed ? header_.keyFields : 0;
}

void ParadoxTable::locate(std::int64_t index) const {
    ThreadCache& cache = threadCache;
    cache.current.table = 0;
    const auto& blocks = chain_.blocks();
    const std::size_t at = chain_.blockOf(index);

    Chunk* chunk = nullptr;
    for (Chunk& c : cache.chunks)
        if (c.table == id_ && index >= c.firstRow && index < c.endRow) chunk = &c;
    if (!chunk) {
        chunk = &cache.chunks[0];
        for (Chunk& c : cache.chunks)
            if (c.lastUse < chunk->lastUse) chunk = &c;
        chunk->table = 0;

        const auto blockSize = static_cast<std::size_t>(chain_.blockSize());
        const std::size_t maxBlocks = std::max<std::size_t>(1, kChunkBytes / blockSize);
        std::size_t end = at + 1;
        while (end < blocks.size() && end - at < maxBlocks && blocks[end].number == blocks[end - 1].number + 1)
            ++end;
        const unsigned number = blocks[at].number;
        const std::uint64_t start = chain_.dataStart() + static_cast<std::uint64_t>(number - 1) * blockSize;
        chunk->bytes.resize((end - at) * blockSize);
        std::size_t got;
        try {
            got = file_.readAt(start, chunk->bytes.data(), chunk->bytes.size());
        } catch (const ReadError&) {
            // Keep a failing read from taking the neighbouring blocks' rows with it.
            if (end - at == 1) throw;
            end = at + 1;
            chunk->bytes.resize(blockSize);
            got = file_.readAt(start, chunk->bytes.data(), chunk->bytes.size());
        }
        for (std::size_t i = at; i < end; ++i) {
            const std::size_t offset = (i - at) * blockSize;
            // The chain walk already checked that the rows counted for each block are in the file.
            const std::size_t need =
                kBlockHeader + static_cast<std::size_t>(chain_.rowsIn(i)) * static_cast<std::size_t>(header_.recordSize);
            const std::size_t have = got > offset ? std::min(got - offset, blockSize) : 0;
            if (have < need) {
                // Only this block's rows fail; the chunk keeps the blocks before it.
                if (i == at)
                    throw ReadError(file_.name() + ": the file changed while it was read: block " +
                                    std::to_string(blocks[i].number) + " at byte " + std::to_string(start + offset) +
                                    " is cut short");
                end = i;
                break;
            }
            if (descrambler_) descrambler_->dataBlock(chunk->bytes.data() + offset, have, blocks[i].number);
        }
        chunk->firstBlock = at;
        chunk->endBlock = end;
        chunk->firstRow = blocks[at].firstRow;
        chunk->endRow = end < blocks.size() ? blocks[end].firstRow : chain_.rows();
        chunk->table = id_;
    }
    chunk->lastUse = ++cache.clock;

    const std::size_t offset = (at - chunk->firstBlock) * static_cast<std::size_t>(chain_.blockSize());
    cache.current.firstRow = blocks[at].firstRow;
    cache.current.endRow = blocks[at].firstRow + chain_.rowsIn(at);
    cache.current.records = chunk->bytes.data() + offset + kBlockHeader;
    cache.current.number = blocks[at].number;
    cache.current.table = id_;
}

ParadoxTable::Record ParadoxTable::record(std::int64_t index) const {
    const auto& current = threadCache.current;
    if (current.table != id_ || index < current.firstRow || index >= current.endRow) {
        if (index < 0 || index >= rowCount())
            throw ReadError(file_.name() + ": row " + std::to_string(index) + " does not exist (the table has " +
                            std::to_string(rowCount()) + " rows)");
        locate(index);
    }
    const std::int64_t record = index - current.firstRow;
    return Record{current.records + static_cast<std::size_t>(record) * static_cast<std::size_t>(header_.recordSize),
                  RecordDecoder::Place{index, current.number, record}};
}

void ParadoxTable::readRow(std::int64_t index, std::vector<Value>& out) const {
    const Record r = record(index);
    decoder_->decodeRow(r.bytes, r.place, out);
}

void ParadoxTable::checkColumns(const std::vector<int>& columns) const {
    for (int column : columns)
        if (column < 0 || static_cast<std::size_t>(column) >= fields_.size())
            throw ReadError(file_.name() + ": column " + std::to_string(column) + " does not exist (the table has " +
                            std::to_string(fields_.size()) + " fields)");
}

void ParadoxTable::readRow(std::int64_t index, const std::vector<int>& columns, std::vector<Value>& out) const {
    checkColumns(columns);
    const Record r = record(index);
    out.resize(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) decoder_->decode(r.bytes, columns[i], r.place, out[i]);
}

std::vector<Value> ParadoxTable::row(std::int64_t index) const {
    std::vector<Value> out;
    readRow(index, out);
    return out;
}

std::vector<Value> ParadoxTable::row(std::int64_t index, const std::vector<int>& columns) const {
    std::vector<Value> out;
    readRow(index, columns, out);
    return out;
}

}  // namespace driver
