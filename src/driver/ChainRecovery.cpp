#include "driver/ChainRecovery.h"

#include "driver/Descrambler.h"
#include "driver/FileReader.h"
#include "driver/Format.h"
#include "driver/TableHeader.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace driver {
namespace {

// Block size codes the header may hold: 1 to 32 KiB.
constexpr unsigned kLargestBlockKiB = 32;
// Findings listed one by one; past these only their number is given.
constexpr std::size_t kListedFindings = 20;

// Ranges of table rows named one by one; past these, "and others".
constexpr std::size_t kListedRanges = 5;

std::string count(std::int64_t n, const char* thing) {
    return groupedNumber(n) + " " + thing + (n == 1 ? "" : "s");
}

// "a", "a and b", "a, b and c".
std::string joined(const std::vector<std::string>& items, const char* last = " and ") {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 == items.size() ? last : ", ";
        text += items[i];
    }
    return text;
}

std::string kib(std::uint64_t bytes) { return std::to_string(bytes / 1024) + " KiB"; }

bool holdsRecords(const BlockHead& head) {
    return head.kind != BlockHead::Records::Empty && head.kind != BlockHead::Records::Negative;
}

}  // namespace

ChainRecovery::ChainRecovery(const FileReader& file, const TableHeader& header, const Descrambler* descrambler)
    : file_(file), header_(header), descrambler_(descrambler) {}

BlockChain ChainRecovery::run() {
    layout_.emplace(chooseLayout());
    blocks_ = layout_->blocksInFile;
    heads_.resize(blocks_ + 1);
    for (unsigned number = 1; number <= blocks_; ++number)
        heads_[number] = BlockHead::read(file_, *layout_, descrambler_, number);
    free_.assign(blocks_ + 1, 0);
    taken_.assign(blocks_ + 1, 0);
    alongChain_.assign(blocks_ + 1, 0);
    unbridged_.assign(blocks_ + 1, 0);

    indexFollowers();
    markFreeList();
    markAlongChain();
    if (const unsigned start = findStart()) followFrom(start);
    gatherStrays();
    nameSwaps();
    dropCopies();
    settleCounts();
    if (header_.needsRebuild)
        note(file_.name() + ": Paradox marked the table as needing a rebuild (header bytes 20 and 42)");

    std::string damage = summary();
    for (const std::string& finding : findings_) damage += "\n" + finding;
    if (unlisted_ > 0)
        damage += "\n" + file_.name() + ": " + std::to_string(unlisted_) + " further findings like these are not listed";
    std::vector<std::pair<unsigned, std::int64_t>> blocks;
    blocks.reserve(order_.size());
    std::int64_t rows = 0;
    for (const Entry& entry : order_) {
        blocks.emplace_back(entry.number, entry.records);
        rows += entry.records;
    }
    const bool inDoubt = doubtful_ || rows != static_cast<std::int64_t>(header_.numRecords);
    return BlockChain::make(blocks, *layout_, std::move(damage), inDoubt);
}

BlockLayout ChainRecovery::chooseLayout() {
    const auto declared = static_cast<std::uint64_t>(header_.blockSize);
    const auto counted = static_cast<std::uint64_t>(header_.fileBlocks);
    const BlockLayout layout(file_, header_, declared);
    if (layout.blocksSpanned == counted && layout.whole()) return layout;
    const std::string name = file_.name();

    // The header's own size may be off: the start from which the file holds
    // exactly the header's blocks is taken when the chain agrees with the
    // header from there, and does not from the header's size (but for the
    // file's length: bytes added at its end).
    if (const auto start = BlockChain::otherWholeStart(header_, layout)) {
        const BlockLayout shifted(file_, header_, declared, *start);
        if (BlockChain::follow(file_, header_, descrambler_, shifted).sound) {
            const std::string from = std::to_string(*start);
            const std::string claim = name + ": the header gives its own size as " +
                                      count(header_.headerSize, "byte") + " (byte 2), but the file holds the " +
                                      count(static_cast<std::int64_t>(counted), "block") + " of " + kib(declared) +
                                      " the header counts from byte " + from +
                                      " on, and read from there the block chain agrees with the header";
            if (BlockChain::follow(file_, header_, descrambler_, layout).chainSound) {
                allInDoubt_ = true;
                doubt(claim + " as it does from byte " + std::to_string(header_.headerSize) +
                      "; the blocks were read from byte " + std::to_string(header_.headerSize) +
                      ", and which start is right is not known");
                return layout;
            }
            note(claim + "; the blocks were read from byte " + from);
            return shifted;
        }
    }
    if (layout.blocksSpanned == counted) {
        // The file ends inside its last block: cut short, or the blocks do not
        // start where the header says.
        layoutCertain_ = false;
        return layout;
    }

    // The sizes under which the file holds the header's block count, kept
    // when the chain agrees with them further than with the header's size.
    // Sizes that read the chain alike (a table of one block) are as good as
    // each other: the smallest stands for them.
    const std::size_t asDeclared = BlockChain::follow(file_, header_, descrambler_, layout).blocks.size();
    std::size_t agreeing = asDeclared;
    std::vector<std::uint64_t> best;
    BlockChain::Walk bestWalk;
    bool alike = true;
    for (unsigned k = 1; k <= kLargestBlockKiB; ++k) {
        const std::uint64_t size = std::uint64_t{k} * 1024;
        if (size == declared || static_cast<std::uint64_t>(header_.recordSize) + format::kBlockHeaderSize > size)
            continue;
        const BlockLayout other(file_, header_, size);
        if (other.blocksSpanned != counted) continue;
        BlockChain::Walk walk = BlockChain::follow(file_, header_, descrambler_, other);
        if (walk.blocks.size() > agreeing) {
            agreeing = walk.blocks.size();
            best = {size};
            bestWalk = std::move(walk);
            alike = true;
        } else if (!best.empty() && walk.blocks.size() == agreeing) {
            best.push_back(size);
            alike = alike && walk.blocks == bestWalk.blocks && walk.sound == bestWalk.sound;
        }
    }
    const std::uint64_t dataBytes = layout.fileSize > layout.dataStart ? layout.fileSize - layout.dataStart : 0;
    const std::string claim = name + ": the header gives " + kib(declared) + " blocks (byte 5) and counts " +
                              count(static_cast<std::int64_t>(counted), "block") + " (byte 12), but the " +
                              groupedNumber(static_cast<std::int64_t>(dataBytes)) + " bytes after the header make " +
                              groupedNumber(static_cast<std::int64_t>(layout.blocksSpanned)) + " such blocks";
    if (best.empty() || !alike) {
        layoutCertain_ = false;
        note(claim);
        return layout;
    }
    note(claim + "; as " + kib(best[0]) + " blocks they make " + groupedNumber(static_cast<std::int64_t>(counted)) +
         " and the block chain " +
         (bestWalk.sound ? "agrees with the header"
                         : "holds together for its first " + count(static_cast<std::int64_t>(agreeing), "block") +
                               " (against " + std::to_string(asDeclared) + " with the header's size)") +
         ", so the table was read with " + kib(best[0]) + " blocks");
    return BlockLayout(file_, header_, best[0]);
}

void ChainRecovery::indexFollowers() {
    auto linksBack = [&](unsigned number) { return heads_[number].present && heads_[number].previous <= blocks_; };
    firstFollower_.assign(blocks_ + 2, 0);
    for (unsigned number = 1; number <= blocks_; ++number)
        if (linksBack(number)) ++firstFollower_[heads_[number].previous + 1];
    for (unsigned number = 1; number <= blocks_ + 1; ++number) firstFollower_[number] += firstFollower_[number - 1];
    followers_.resize(firstFollower_[blocks_ + 1]);
    std::vector<std::size_t> next(firstFollower_.begin(), firstFollower_.end() - 1);
    for (unsigned number = 1; number <= blocks_; ++number)
        if (linksBack(number)) followers_[next[heads_[number].previous]++] = number;
}

void ChainRecovery::markFreeList() {
    unsigned number = static_cast<unsigned>(header_.firstFreeBlock);
    while (number != 0 && number <= blocks_ && !free_[number] && heads_[number].present) {
        const BlockHead& head = heads_[number];
        if (head.kind != BlockHead::Records::Empty) {
            // A free block always gives -recordSize: this one is live, or the list is damaged.
            note(file_.name() + ": the list of free blocks leads to " + where(number) + ", which " +
                 head.describeCount(*layout_) + "; it was not taken as free");
            return;
        }
        free_[number] = 1;
        number = head.next;
    }
}

void ChainRecovery::markAlongChain() {
    unsigned number = static_cast<unsigned>(header_.firstBlock);
    while (number != 0 && number <= blocks_ && heads_[number].present && !free_[number] && !alongChain_[number]) {
        alongChain_[number] = 1;
        number = heads_[number].next;
    }
}

bool ChainRecovery::mayFollow(unsigned number) const {
    return number != 0 && number <= blocks_ && heads_[number].present && !free_[number] && !taken_[number];
}

std::vector<unsigned> ChainRecovery::successorsOf(unsigned number) const {
    std::vector<unsigned> found;
    for (std::size_t i = firstFollower_[number]; i < firstFollower_[number + 1]; ++i)
        if (mayFollow(followers_[i]) && holdsRecords(heads_[followers_[i]])) found.push_back(followers_[i]);
    return found;
}

void ChainRecovery::take(unsigned number) {
    taken_[number] = 1;
    order_.push_back({number, heads_[number].records()});
}

void ChainRecovery::doubt(const std::string& finding) {
    doubtful_ = true;
    note(finding);
}

void ChainRecovery::note(const std::string& finding) {
    if (findings_.size() < kListedFindings) findings_.push_back(finding);
    else ++unlisted_;
}

unsigned ChainRecovery::findStart() {
    const std::string name = file_.name();
    const auto first = static_cast<unsigned>(header_.firstBlock);
    if (first == 0) {
        if (header_.numRecords == 0) return 0;
        note(name + ": the header's first block (byte 14) is 0, as in a table without rows, yet it counts " +
             count(header_.numRecords, "row"));
        return searchStart();
    }
    if (first > blocks_ || !heads_[first].present) {
        note(name + ": the header's first block (byte 14) is block " + std::to_string(first) +
             (first > blocks_ ? ", but the file holds only " + count(blocks_, "block")
                              : ", but the file ends inside its header"));
        return searchStart();
    }
    if (free_[first]) {
        note(name + ": the header's first block, " + where(first) + ", is on the list of free blocks");
        return searchStart();
    }
    const unsigned before = heads_[first].previous;
    if (before == 0) return first;

    // Back along previous links, each answered by the next link of the block before.
    std::vector<char> passed(blocks_ + 1, 0);
    passed[first] = 1;
    unsigned start = first;
    while (true) {
        const unsigned back = heads_[start].previous;
        if (!mayFollow(back) || passed[back] || heads_[back].next != start) break;
        passed[back] = 1;
        start = back;
    }
    const std::string claim = name + ": the header's first block, " + where(first) +
                              ", is not where the block chain starts: it links back to block " +
                              std::to_string(before);
    if (start == first) {
        doubt(claim + ", which does not link to it; rows before it may be missing");
        gapsAfter_.push_back(0);
    } else if (heads_[start].previous == 0) {
        note(claim + "; following the links back leads to block " + std::to_string(start) +
             ", where the chain starts");
    } else {
        doubt(claim + "; following the links back leads to block " + std::to_string(start) +
             ", which links back to block " + std::to_string(heads_[start].previous) +
             " that does not link to it; the chain was read from block " + std::to_string(start) +
             ", and rows before it may be missing");
        gapsAfter_.push_back(0);
    }
    return start;
}

unsigned ChainRecovery::searchStart() {
    const std::vector<unsigned> starts = successorsOf(0);
    if (starts.size() == 1) {
        note(file_.name() + ": " + where(starts[0]) +
             " is the only block holding records that links back to no block, so the chain was read from there");
        return starts[0];
    }
    if (starts.size() > 1)
        note(file_.name() + ": " + blockList(starts) + (starts.size() == 2 ? " both" : " all") +
             " hold records and link back to no block, so where the chain starts is unclear");
    return 0;
}

void ChainRecovery::followFrom(unsigned start) {
    const std::string name = file_.name();
    const auto last = static_cast<unsigned>(header_.lastBlock);
    unsigned current = start;
    while (current != 0) {
        take(current);
        const unsigned next = heads_[current].next;
        const std::string from = std::to_string(current);
        if (mayFollow(next)) {
            const unsigned back = heads_[next].previous;
            if (back == current) {
                current = next;
                continue;
            }
            // A link that skips blocks: the ones in between link both ways from
            // `current` to `next`. Blocks passed on the way are held (taken)
            // so that none is passed twice; a way back that does not reach
            // `current` is not walked again.
            std::vector<unsigned> between;
            unsigned child = next;
            unsigned block = back;
            bool bridged = false;
            taken_[next] = 1;
            while (mayFollow(block) && !unbridged_[block] && heads_[block].next == child) {
                between.push_back(block);
                taken_[block] = 1;
                if (heads_[block].previous == current) {
                    bridged = true;
                    break;
                }
                child = block;
                block = heads_[block].previous;
            }
            taken_[next] = 0;
            for (unsigned number : between) {
                taken_[number] = 0;
                if (!bridged) unbridged_[number] = 1;
            }
            if (bridged) {
                std::reverse(between.begin(), between.end());
                note(name + ": " + where(current) + " links to block " + std::to_string(next) + ", but block " +
                     std::to_string(next) + " links back to block " + std::to_string(back) + "; " +
                     blockList(between) + ", linking from block " + from + " to block " + std::to_string(next) +
                     (between.size() == 1 ? ", was" : ", were") + " put back in between");
                for (unsigned number : between) take(number);
            } else {
                const std::string finding = name + ": " + where(next) + " links back to block " +
                                            std::to_string(back) + ", but block " + from +
                                            " links to it; the chain was followed from block " + from + " to block " +
                                            std::to_string(next);
                if (onlyLinkBackIsWrong(next)) {
                    note(finding + ", whose own next link is answered");
                } else {
                    doubt(finding + ", whose own next link is not answered either");
                    outOfPlaceFrom_.push_back(next);
                }
            }
            current = next;
            continue;
        }

        // The chain ends here, or its link goes wrong.
        std::string problem;
        if (next == 0) {
            if (current == last) break;
            problem = where(current) + " ends the block chain, but the header's last block is block " +
                      std::to_string(last);
        } else if (next > blocks_ || !heads_[next].present) {
            problem = where(current) + " links to block " + std::to_string(next) +
                      (next > blocks_ ? ", but the file holds only " + count(blocks_, "block")
                                      : ", but the file ends inside its header") +
                      (next <= static_cast<unsigned>(header_.fileBlocks) ? " (the file is cut short)" : "");
        } else if (taken_[next]) {
            problem = where(current) + " links to block " + std::to_string(next) +
                      ", which is already in the chain: the chain loops";
        } else {
            problem = where(current) + " links to block " + std::to_string(next) +
                      ", which is on the list of free blocks";
        }
        const std::vector<unsigned> successors = successorsOf(current);
        if (successors.size() == 1) {
            note(name + ": " + problem + "; " + where(successors[0]) + " links back to block " + from +
                 ", so the chain was followed on from there");
            current = successors[0];
            continue;
        }
        if (successors.size() > 1)
            note(name + ": " + problem + "; " + blockList(successors) + (successors.size() == 2 ? " both" : " all") +
                 " link back to block " + from +
                 ", so which one follows is unclear");
        else
            note(name + ": " + problem);
        gapsAfter_.push_back(current);
        break;
    }
}

void ChainRecovery::gatherStrays() {
    // Blocks outside the chain and the free list that list records, in runs
    // linked both ways, each run from the block that no other stray precedes.
    std::vector<unsigned> strays, unreadable, empty;
    for (unsigned number = 1; number <= blocks_; ++number) {
        if (!mayFollow(number)) continue;
        if (!holdsRecords(heads_[number])) empty.push_back(number);
        else (heads_[number].certain() ? strays : unreadable).push_back(number);
    }
    const std::string name = file_.name();
    if (!empty.empty())
        note(name + ": " + blockList(empty) + (empty.size() == 1 ? " is" : " are") +
             " empty but neither in the block chain nor on the list of free blocks (as " + where(empty[0]) +
             "); no rows are lost with " + (empty.size() == 1 ? "it" : "them"));
    if (!unreadable.empty())
        note(name + ": " + blockList(unreadable) +
             (unreadable.size() == 1 ? " lies" : " lie") +
             " outside the block chain and the list of free blocks, with a record count that does not fit "
             "(as in " + where(unreadable[0]) + ", which " + heads_[unreadable[0]].describeCount(*layout_) +
             "); no rows were read from " + (unreadable.size() == 1 ? "it" : "them"));
    if (strays.empty()) return;

    std::int64_t strayRows = 0;
    for (unsigned number : strays) strayRows += heads_[number].records();
    std::int64_t chainRows = 0;
    for (const Entry& entry : order_) chainRows += entry.records;
    if (chainRows >= static_cast<std::int64_t>(header_.numRecords)) {
        note(name + ": " + blockList(strays) + (strays.size() == 1 ? " lies" : " lie") +
             " outside the block chain and the list of free blocks, yet " +
             (strays.size() == 1 ? "lists " : "list ") + count(strayRows, "record") +
             "; the chain already holds the header's count, so they were left out");
        return;
    }

    std::vector<char> isStray(blocks_ + 1, 0);
    for (unsigned number : strays) isStray[number] = 1;
    auto linkedFrom = [&](unsigned number) {
        const unsigned back = heads_[number].previous;
        return back != 0 && back <= blocks_ && isStray[back] && !taken_[back] && heads_[back].next == number;
    };
    auto run = [&](unsigned number) {
        while (number != 0 && number <= blocks_ && isStray[number] && !taken_[number]) {
            take(number);
            const unsigned next = heads_[number].next;
            if (next == 0 || next > blocks_ || heads_[next].previous != number) break;
            number = next;
        }
    };
    const std::size_t firstStray = order_.size();
    for (unsigned number : strays)
        if (!taken_[number] && !linkedFrom(number)) run(number);
    for (unsigned number : strays)
        if (!taken_[number]) run(number);  // runs that link in a circle
    outOfPlaceFrom_.push_back(order_[firstStray].number);
    doubt(name + ": " + blockList(strays) + (strays.size() == 1 ? " lies" : " lie") +
         " outside the block chain and the list of free blocks, yet " + (strays.size() == 1 ? "lists " : "list ") +
         count(strayRows, "record") + ", while the chain holds fewer rows than the header counts: " +
         (strays.size() == 1 ? "its" : "their") + " rows follow the chain's, since " +
         (strays.size() == 1 ? "its" : "their") + " place in the table's order is not known");
}

void ChainRecovery::settleCounts() {
    const std::string name = file_.name();
    std::int64_t certainRows = 0;
    std::vector<std::size_t> unsure;
    for (std::size_t i = 0; i < order_.size(); ++i) {
        if (heads_[order_[i].number].certain()) certainRows += order_[i].records;
        else unsure.push_back(i);
    }
    const std::int64_t left = static_cast<std::int64_t>(header_.numRecords) - certainRows;
    for (std::size_t i : unsure) {
        Entry& entry = order_[i];
        const BlockHead& head = heads_[entry.number];
        const std::string what = name + ": " + where(entry.number) + " " + head.describeCount(*layout_);
        if (unsure.size() == 1 && left >= 0 && left <= layout_->capacity && layoutCertain_) {
            entry.records = left;
            note(what + "; the header's record count leaves " + count(left, "record") +
                 " for it, and those were read");
        } else if (entry.records > 0) {
            doubt(what + "; the " + count(entry.records, "record") +
                 " the offset covers were read, but the true count is not known: some may be stale copies of "
                 "deleted rows, or rows may be missing");
            unsureBlocks_.push_back(entry.number);
            gapsAfter_.push_back(entry.number);
        } else {
            doubt(what + "; no rows were read from it, so rows may be missing");
            gapsAfter_.push_back(entry.number);
        }
    }
    for (Entry& entry : order_) {
        const BlockHead& head = heads_[entry.number];
        if (entry.records <= head.complete) continue;
        doubt(name + ": the file ends at byte " + std::to_string(layout_->fileSize) +
             ", inside record " + groupedNumber(head.complete + 1) + " of the " + groupedNumber(entry.records) +
             " in " + where(entry.number) + ": the file is cut short");
        entry.records = head.complete;
        gapsAfter_.push_back(entry.number);
    }
}

void ChainRecovery::dropCopies() {
    // In a sound table no two blocks link to and from the same blocks with the
    // same count: of two such blocks giving rows, one is a copy of the other.
    const std::string name = file_.name();
    auto answered = [&](unsigned number) {
        const BlockHead& head = heads_[number];
        auto present = [&](unsigned other) { return other != 0 && other <= blocks_ && heads_[other].present; };
        return (present(head.previous) && heads_[head.previous].next == number) ||
               (present(head.next) && heads_[head.next].previous == number);
    };
    std::map<std::tuple<unsigned, unsigned, int>, unsigned> byHead;
    std::vector<unsigned> copies;
    for (const Entry& entry : order_) {
        if (entry.records <= 0) continue;
        const BlockHead& head = heads_[entry.number];
        const auto [at, fresh] = byHead.try_emplace({head.next, head.previous, head.addDataSize}, entry.number);
        if (fresh) continue;
        const bool laterAnswered = answered(entry.number);
        const unsigned copy = !laterAnswered || answered(at->second) ? entry.number : at->second;
        const unsigned original = copy == entry.number ? at->second : entry.number;
        at->second = original;

        const std::size_t recordBytes = static_cast<std::size_t>(heads_[copy].complete < entry.records
                                                                     ? heads_[copy].complete
                                                                     : entry.records) *
                                        static_cast<std::size_t>(header_.recordSize);
        const std::vector<std::uint8_t> a = blockBytes(copy), b = blockBytes(original);
        const std::size_t end = format::kBlockHeaderSize + recordBytes;
        const bool same = a.size() >= end && b.size() >= end &&
                          std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(end), b.begin());
        const std::string finding = name + ": " + where(copy) + " has the same block header as " + where(original) +
                                    ", linking to block " + std::to_string(head.next) + " and back to block " +
                                    std::to_string(head.previous) + ", so one of them is not in its place";
        if (same) {
            doubt(finding + "; its records are block " + std::to_string(original) +
                  "'s too, so it was taken for a copy and left out: the rows block " + std::to_string(copy) +
                  " held are lost");
            copies.push_back(copy);
        } else {
            doubt(finding + "; block " + std::to_string(copy) + "'s rows may not be the table's");
            unsureBlocks_.push_back(copy);
        }
    }
    for (unsigned copy : copies) {
        const auto at = std::find_if(order_.begin(), order_.end(), [&](const Entry& e) { return e.number == copy; });
        gapsAfter_.push_back(at == order_.begin() ? 0 : std::prev(at)->number);
        order_.erase(at);
        std::erase(outOfPlaceFrom_, copy);
    }
}

void ChainRecovery::nameSwaps() {
    auto valid = [&](unsigned number) { return number != 0 && number <= blocks_ && heads_[number].present; };
    // Whether block x's links are answered when blocks a and b trade headers.
    auto answeredAfterSwap = [&](unsigned x, unsigned a, unsigned b) {
        auto head = [&](unsigned n) -> const BlockHead& { return heads_[n == a ? b : n == b ? a : n]; };
        const BlockHead& own = head(x);
        const bool back = own.previous == 0 ? true : valid(own.previous) && head(own.previous).next == x;
        const bool on = own.next == 0 ? x == static_cast<unsigned>(header_.lastBlock)
                                      : valid(own.next) && head(own.next).previous == x;
        return back && on;
    };
    std::vector<char> named(blocks_ + 1, 0);
    std::vector<std::string> pairs;
    for (unsigned a = 1; a <= blocks_; ++a) {
        const BlockHead& head = heads_[a];
        if (named[a] || !head.present || free_[a] || !holdsRecords(head)) continue;
        const bool backAnswered = head.previous == 0 || (valid(head.previous) && heads_[head.previous].next == a);
        const bool onAnswered = head.next == 0 || (valid(head.next) && heads_[head.next].previous == a);
        if (backAnswered && onAnswered) continue;
        for (unsigned b : {valid(head.previous) ? heads_[head.previous].next : 0u,
                           valid(head.next) ? heads_[head.next].previous : 0u}) {
            if (!valid(b) || b == a || named[b] || free_[b] || !holdsRecords(heads_[b])) continue;
            if (!answeredAfterSwap(a, a, b) || !answeredAfterSwap(b, a, b)) continue;
            named[a] = named[b] = 1;
            pairs.push_back(where(std::min(a, b)) + " and " + where(std::max(a, b)));
            break;
        }
    }
    for (const std::string& pair : pairs)
        note(file_.name() + ": " + pair + " each hold the block header that the other's neighbours link to: "
                                          "the two blocks seem to have changed places, so their rows may not be in "
                                          "their places");
}

bool ChainRecovery::onlyLinkBackIsWrong(unsigned number) const {
    const BlockHead& head = heads_[number];
    const bool nextAnswered = head.next == 0 ? number == static_cast<unsigned>(header_.lastBlock)
                                             : head.next <= blocks_ && heads_[head.next].present &&
                                                   heads_[head.next].previous == number;
    const unsigned back = head.previous;
    const bool backLinksElsewhere = back == 0 || back > blocks_ || !heads_[back].present || heads_[back].next != number;
    return nextAnswered && backLinksElsewhere;
}

std::vector<std::uint8_t> ChainRecovery::blockBytes(unsigned number) const {
    const std::uint64_t start = layout_->start(number);
    if (start >= layout_->fileSize) return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(layout_->blockSize, layout_->fileSize - start)));
    bytes.resize(file_.readAt(start, bytes.data(), bytes.size()));
    if (descrambler_) descrambler_->dataBlock(bytes.data(), bytes.size(), number);
    return bytes;
}

std::vector<unsigned> ChainRecovery::blocksWithRecordPastLast() const {
    const auto size = static_cast<std::size_t>(header_.recordSize);
    std::vector<unsigned> found;
    std::vector<std::uint8_t> record(size);
    for (const Entry& entry : order_) {
        const BlockHead& head = heads_[entry.number];
        if (entry.records >= layout_->capacity || entry.records >= head.complete) continue;
        const std::size_t at = format::kBlockHeaderSize + static_cast<std::size_t>(entry.records) * size;
        const std::uint8_t* bytes;
        std::vector<std::uint8_t> block;
        if (descrambler_) {
            block = blockBytes(entry.number);
            if (block.size() < at + size) continue;
            bytes = block.data() + at;
        } else {
            if (file_.readAt(layout_->start(entry.number) + at, record.data(), size) != size) continue;
            bytes = record.data();
        }
        if (std::any_of(bytes, bytes + size, [](std::uint8_t b) { return b != 0; })) found.push_back(entry.number);
    }
    return found;
}

std::string ChainRecovery::summary() const {
    const auto expected = static_cast<std::int64_t>(header_.numRecords);
    std::int64_t along = 0, recovered = 0;
    std::vector<unsigned> recoveredBlocks;
    // Where each block's rows are among the rows given (0-based), and how many.
    std::vector<std::int64_t> firstRow(blocks_ + 1, -1), rowsOf(blocks_ + 1, 0);
    for (const Entry& entry : order_) {
        firstRow[entry.number] = along + recovered;
        rowsOf[entry.number] = entry.records;
        if (alongChain_[entry.number]) {
            along += entry.records;
        } else if (entry.records > 0) {
            recovered += entry.records;
            recoveredBlocks.push_back(entry.number);
        }
    }
    const std::int64_t total = along + recovered;
    const std::int64_t room = static_cast<std::int64_t>(blocks_) * layout_->capacity;
    const bool impossible = expected > room;
    const bool certain = !doubtful_ && !impossible;

    std::string text = file_.name() + ": the header says " + count(expected, "row");
    if (impossible)
        text += " (byte 6), more than its " + count(blocks_, "block") + " can hold (" + groupedNumber(room) +
                "): an impossible count";
    if (certain && recovered == 0 && total == expected) {
        if (expected == 0) return text + ", and the block chain holds none";
        return text + ", and " + (expected == 1 ? "it was" : "all " + groupedNumber(expected) + " were") +
               " found along the block chain";
    }
    if (along == 0 && recovered > 0)
        text += "; none were found along the block chain, and " + groupedNumber(recovered) + " " +
                (recovered == 1 ? "was" : "were");
    else
        text += "; " + groupedNumber(along) + " " + (along == 1 ? "was" : "were") + " found along the block chain" +
                (recovered > 0 ? ", and " + groupedNumber(recovered) + " more " + (recovered == 1 ? "was" : "were")
                               : "");
    if (recovered > 0) text += " recovered from " + blockList(recoveredBlocks) + " outside it";
    if (certain && total == expected) return text + ": all " + groupedNumber(expected) + " are there";

    // Table rows as the rows given number them: 1 for the first.
    auto ranges = [](std::vector<std::pair<std::int64_t, std::int64_t>> spans) {
        std::sort(spans.begin(), spans.end());
        std::vector<std::pair<std::int64_t, std::int64_t>> merged;
        for (const auto& span : spans) {
            if (!merged.empty() && span.first <= merged.back().second + 1)
                merged.back().second = std::max(merged.back().second, span.second);
            else
                merged.push_back(span);
        }
        std::vector<std::string> names;
        for (std::size_t i = 0; i < merged.size() && i < kListedRanges; ++i) {
            std::string range = groupedNumber(merged[i].first);
            if (merged[i].second > merged[i].first) range.append("-").append(groupedNumber(merged[i].second));
            names.push_back(std::move(range));
        }
        if (merged.size() > kListedRanges) names.push_back("others");
        const bool one = merged.size() == 1 && merged[0].first == merged[0].second;
        return std::string(one ? "table row " : "table rows ") + joined(names);
    };
    // "before table row 1", "after table rows 18 and 54": where rows may be
    // missing, after the rows of the blocks given (0: before all of them).
    auto gaps = [&](const std::vector<unsigned>& after) {
        std::vector<std::int64_t> rows;
        for (unsigned number : after)
            if (number == 0 || firstRow[number] >= 0) rows.push_back(number == 0 ? 0 : firstRow[number] + rowsOf[number]);
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        std::vector<std::string> places, afterRows;
        for (std::int64_t row : rows) {
            if (row == 0) {
                if (total > 0) places.push_back("before table row 1");
            } else if (afterRows.size() < kListedRanges) {
                afterRows.push_back(groupedNumber(row));
            } else {
                afterRows.back() = "others";
            }
        }
        if (!afterRows.empty())
            places.push_back((afterRows.size() == 1 ? "after table row " : "after table rows ") + joined(afterRows));
        return joined(places, " or ");
    };

    std::vector<std::string> parts;
    if (impossible) {
        parts.push_back("whether any are missing is not known");
    } else if (total < expected) {
        std::string missing = count(expected - total, "row") + (expected - total == 1 ? " is" : " are") +
                              (recovered > 0 ? " still" : "") + " missing";
        if (const std::string where = gaps(gapsAfter_); !where.empty()) {
            missing += ", " + where;
        } else if (gapsAfter_.empty()) {
            if (const std::string past = gaps(blocksWithRecordPastLast()); !past.empty())
                missing += ", perhaps " + past + ", where a block holds a record past its last one";
        }
        parts.push_back(missing);
    } else if (total > expected) {
        parts.push_back(groupedNumber(total - expected) + " more than the header counts: the blocks' own counts were "
                        "followed, and the header's count may be out of date");
    }
    std::int64_t outOfPlace = total;
    for (unsigned number : outOfPlaceFrom_)
        if (firstRow[number] >= 0) outOfPlace = std::min(outOfPlace, firstRow[number]);
    if (outOfPlace < total) parts.push_back(ranges({{outOfPlace + 1, total}}) + " may not be in their places");
    std::vector<std::pair<std::int64_t, std::int64_t>> unsure;
    for (unsigned number : unsureBlocks_)
        if (firstRow[number] >= 0 && rowsOf[number] > 0)
            unsure.emplace_back(firstRow[number] + 1, firstRow[number] + rowsOf[number]);
    if (!unsure.empty()) parts.push_back(ranges(unsure) + " may not all be the table's rows");
    if (allInDoubt_ && total > 0) parts.push_back("where the blocks start is not certain, so every row is in doubt");
    if (parts.empty()) parts.push_back("which rows are in doubt is not known");
    return text + ": " + joined(parts, "; ");
}

}  // namespace driver
