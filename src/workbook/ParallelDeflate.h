#pragma once
// Raw deflate (RFC 1951) of one stream, in chunks compressed on worker
// threads while the caller produces the next ones, as parallel gzip tools
// do: each chunk is compressed on its own with the 32 KiB before it as
// preset dictionary, ends with a sync flush (an empty stored block, so it
// ends on a byte) except the last, which ends the stream; the chunks
// joined in order are one deflate stream, and their CRC-32s are joined
// with crc32_combine.
//
// The caller appends uncompressed bytes through room()/advance(); the
// compressed bytes come back through the sink, on the caller's thread, in
// order. At most a few chunks are in flight, so memory stays flat. A
// stream's last chunk, when no other is in flight, is compressed on the
// caller's thread, which would only wait for a worker (small streams, such
// as the many small files of a workbook with pictures, then cost no
// hand-over between threads).

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace workbook {

class ParallelDeflate {
public:
    using Sink = std::function<void(const char* data, std::size_t size)>;

    struct Totals {
        std::uint64_t size = 0;  // uncompressed bytes
        std::uint32_t crc = 0;   // their CRC-32
    };

    // zlib level 1-9; threads 0 compresses on the caller's thread.
    ParallelDeflate(int level, unsigned threads, std::size_t chunkSize = std::size_t{1} << 20);
    ~ParallelDeflate();
    ParallelDeflate(const ParallelDeflate&) = delete;
    ParallelDeflate& operator=(const ParallelDeflate&) = delete;

    // Starts a stream whose compressed bytes go to sink.
    void begin(Sink sink);
    // Room for at least `size` more bytes of input; write them, then advance().
    char* room(std::size_t size) {
        if (capacity_ - used_ < size) makeRoom(size);
        return current_->input.data() + used_;
    }
    void advance(char* end) { used_ = static_cast<std::size_t>(end - current_->input.data()); }
    void append(const char* data, std::size_t size);
    // Ends the stream: every compressed byte has gone to the sink.
    Totals end();
    // Drops the stream without sinking anything more.
    void abandon() noexcept;

private:
    struct Job {
        std::vector<char> input;
        std::size_t size = 0;
        std::vector<char> dictionary;
        bool last = false;
        std::vector<char> output;
        std::size_t outputSize = 0;
        std::uint32_t crc = 0;
        bool done = false;
        std::string error;
    };

    void makeRoom(std::size_t size);
    void submit(bool last);
    void sinkFinished(bool wait);
    void work();
    static void compress(void* stream, Job& job);
    std::unique_ptr<Job> freshJob(std::size_t capacity);

    int level_;
    std::size_t chunkSize_;
    std::size_t maxInFlight_;
    Sink sink_;
    Totals totals_;
    std::unique_ptr<Job> current_;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
    std::vector<char> tail_;  // the last 32 KiB of input submitted
    void* ownStream_ = nullptr;  // for threads == 0
    void* callerStream_ = nullptr;  // for a lone last chunk, made when first needed

    std::mutex mutex_;
    std::condition_variable workReady_, jobDone_;
    std::deque<std::unique_ptr<Job>> inFlight_;  // in stream order
    std::deque<Job*> queue_;                      // not yet taken by a worker
    std::vector<std::unique_ptr<Job>> spare_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace workbook
