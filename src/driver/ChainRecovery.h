#pragma once
// Rebuilds the block chain of a table whose header, chain and blocks disagree,
// from what the file itself says, and puts every disagreement into words.
// Runs only when BlockChain's walk found a disagreement; it reads the header
// of every block in the file (one small read each).
//
// What it uses, in this order:
// * Where the blocks lie: when the bytes after the header are not the
//   header's block count of whole blocks, a start (the header's size being
//   off) at which they are, and with which the chain then agrees with the
//   header in everything, is taken; else a block size with which they are,
//   and with which the chain holds together further than with the header's.
// * The free list (from the header's first free block): its blocks never give rows.
// * The chain's start: the header's first block; when that block links back
//   to another, the previous links are followed back (each answered by the
//   next link of the block before) to the block that starts the chain; when
//   the header's first block is unusable, the one block holding records that
//   no block precedes.
// * The links: a next link that the block it leads to does not answer with
//   its previous link is mended when the blocks in between link both ways
//   from the one to the other (a link that skips blocks), and kept when only
//   that previous link disagrees (the block's own next link is answered, and
//   the block it names does not link to it); otherwise it is followed, but the
//   rows from there on may not be in their places. When the chain ends early,
//   loops, or leads out of the file or into the free list, it goes on with
//   the one block that links back to where it stopped, if there is exactly one.
// * Blocks outside the chain and the free list that list records: when the
//   chain holds fewer rows than the header counts, their rows are given after
//   the chain's (their place in the table's order is not known).
// * Swaps: two blocks each holding the header the other's neighbours link
//   to are named as having changed places; their rows stay where the chain
//   put them, in doubt.
// * Copies: two blocks giving rows with the same block header cannot both be
//   in their places; the one its neighbours do not link to is a copy, left
//   out when its records repeat the other's, in doubt otherwise.
// * Record counts: a block whose last-record offset is not a whole number of
//   records, is negative, or lies beyond the block, has its count from the
//   header's record count when it is the only such block, that count fits it,
//   and the file is whole blocks as read; otherwise it gives the records
//   its offset covers (or none), and says so.
// Nothing is guessed beyond that: a block is read at most once, free and
// empty blocks give no rows, and records past a block's last one are never
// read. Every finding and the resulting row count go into the damage text,
// and the rows in doubt are named by their table row numbers (1 = the first
// row given).

#include "driver/BlockChain.h"
#include "driver/BlockHead.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace driver {

class ChainRecovery {
public:
    ChainRecovery(const FileReader& file, const TableHeader& header, const Descrambler* descrambler);
    BlockChain run();

private:
    struct Entry {
        unsigned number;
        std::int64_t records;
    };

    BlockLayout chooseLayout();
    void indexFollowers();
    void markFreeList();
    void markAlongChain();
    unsigned findStart();
    unsigned searchStart();
    void followFrom(unsigned start);
    void gatherStrays();
    void dropCopies();
    // Names pairs of blocks whose headers each other's neighbours answer:
    // blocks that changed places (their rows are already in doubt).
    void nameSwaps();
    void settleCounts();
    std::string summary() const;
    // Blocks giving rows whose next record slot is not blank: where a count
    // may be short (only when rows are missing and nothing else says where).
    std::vector<unsigned> blocksWithRecordPastLast() const;
    // Whether the link from `current` to `next` stands although `next` links
    // back elsewhere: `next`'s own next link is answered, and the block it
    // links back to does not link to it.
    bool onlyLinkBackIsWrong(unsigned next) const;
    // The bytes of block `number` (restored when scrambled) as the file holds them.
    std::vector<std::uint8_t> blockBytes(unsigned number) const;

    bool mayFollow(unsigned number) const;
    std::vector<unsigned> successorsOf(unsigned number) const;
    void take(unsigned number);
    void note(const std::string& finding);
    // A finding after which the rows given may not be the table's rows:
    // some missing or extra, or not in the table's order.
    void doubt(const std::string& finding);
    std::string where(unsigned number) const { return layout_->where(number); }

    const FileReader& file_;
    const TableHeader& header_;
    const Descrambler* descrambler_;
    std::optional<BlockLayout> layout_;
    unsigned blocks_ = 0;
    std::vector<BlockHead> heads_;     // by block number; [0] unused
    std::vector<char> free_;           // on the free list
    std::vector<char> taken_;          // already giving rows
    std::vector<char> alongChain_;     // reached from the header's first block along next links alone
    std::vector<char> unbridged_;      // passed by a way back that did not mend a link
    // Blocks that link back to block p: followers_[firstFollower_[p] .. firstFollower_[p + 1]).
    std::vector<std::size_t> firstFollower_;
    std::vector<unsigned> followers_;
    std::vector<Entry> order_;         // the blocks giving rows, in row order
    std::vector<std::string> findings_;
    std::size_t unlisted_ = 0;
    bool doubtful_ = false;
    // The file is whole blocks where the header's sizes, or the ones taken
    // instead, put them: a block's count may come from the header's.
    bool layoutCertain_ = true;
    // Rows in doubt, by block (turned into table rows once order_ is final):
    std::vector<unsigned> outOfPlaceFrom_;  // from these blocks' rows on, rows may not be in their places
    std::vector<unsigned> unsureBlocks_;    // these blocks' rows may not all be the table's
    std::vector<unsigned> gapsAfter_;       // rows may be missing after these blocks' rows (0: before all)
    bool allInDoubt_ = false;               // the blocks may lie elsewhere: every row is in doubt
};

}  // namespace driver
