#include "workbook/ParallelDeflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace workbook {
namespace {

constexpr std::size_t kWindow = 32 * 1024;

z_stream* newStream(int level) {
    auto* stream = new z_stream{};
    // Raw deflate (no zlib header), the full window, more memory for speed.
    if (deflateInit2(stream, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        delete stream;
        throw std::runtime_error("Could not start the compressor: not enough memory.");
    }
    return stream;
}

void deleteStream(void* stream) {
    if (stream == nullptr) return;
    deflateEnd(static_cast<z_stream*>(stream));
    delete static_cast<z_stream*>(stream);
}

}  // namespace

ParallelDeflate::ParallelDeflate(int level, unsigned threads, std::size_t chunkSize)
    : level_(level), chunkSize_(chunkSize), maxInFlight_(2 * std::max(threads, 1u) + 1) {
    if (threads == 0) ownStream_ = newStream(level_);
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
}

ParallelDeflate::~ParallelDeflate() {
    abandon();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    workReady_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    deleteStream(ownStream_);
    deleteStream(callerStream_);
}

std::unique_ptr<ParallelDeflate::Job> ParallelDeflate::freshJob(std::size_t capacity) {
    std::unique_ptr<Job> job;
    {
        std::lock_guard lock(mutex_);
        if (!spare_.empty()) {
            job = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    if (!job) job = std::make_unique<Job>();
    if (job->input.size() < capacity) job->input.resize(capacity);
    job->size = 0;
    job->last = false;
    job->done = false;
    job->error.clear();
    return job;
}

void ParallelDeflate::begin(Sink sink) {
    abandon();
    sink_ = std::move(sink);
    totals_ = {};
    tail_.clear();
    current_ = freshJob(chunkSize_ + kWindow);
    used_ = 0;
    capacity_ = current_->input.size();
}

void ParallelDeflate::append(const char* data, std::size_t size) {
    while (size > 0) {
        const std::size_t step = std::min(size, chunkSize_);
        char* out = room(step);
        std::memcpy(out, data, step);
        advance(out + step);
        data += step;
        size -= step;
    }
}

void ParallelDeflate::makeRoom(std::size_t size) {
    if (used_ > 0) submit(false);
    const std::size_t capacity = std::max(size, chunkSize_ + kWindow);
    current_ = freshJob(capacity);
    used_ = 0;
    capacity_ = current_->input.size();
}

void ParallelDeflate::submit(bool last) {
    std::unique_ptr<Job> job = std::move(current_);
    job->size = used_;
    job->last = last;
    job->dictionary.assign(tail_.begin(), tail_.end());
    // The dictionary of the next chunk: the last 32 KiB of the stream so far.
    const std::size_t take = std::min(job->size, kWindow);
    if (take < kWindow) {
        tail_.insert(tail_.end(), job->input.data(), job->input.data() + take);
        if (tail_.size() > kWindow) tail_.erase(tail_.begin(), tail_.end() - static_cast<std::ptrdiff_t>(kWindow));
    } else {
        tail_.assign(job->input.data() + job->size - take, job->input.data() + job->size);
    }
    totals_.size += job->size;
    used_ = capacity_ = 0;
    // The last chunk of a stream with nothing else in flight would only be
    // waited for: it is compressed here (a small file in the zip, mostly).
    bool alone = false;
    if (last && ownStream_ == nullptr) {
        std::lock_guard lock(mutex_);
        alone = inFlight_.empty();
    }
    if (alone && callerStream_ == nullptr) callerStream_ = newStream(level_);
    if (ownStream_ != nullptr || alone) {
        compress(ownStream_ != nullptr ? ownStream_ : callerStream_, *job);
        job->done = true;
        std::lock_guard lock(mutex_);
        inFlight_.push_back(std::move(job));
    } else {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(job.get());
            inFlight_.push_back(std::move(job));
        }
        workReady_.notify_one();
    }
    sinkFinished(false);
}

// Hands the finished chunks at the front to the sink; waits while too many
// are in flight (or, with wait, until none is).
void ParallelDeflate::sinkFinished(bool wait) {
    for (;;) {
        std::unique_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            if (inFlight_.empty()) return;
            const bool mustWait = wait || inFlight_.size() >= maxInFlight_;
            if (!inFlight_.front()->done) {
                if (!mustWait) return;
                jobDone_.wait(lock, [&] { return inFlight_.front()->done; });
            }
            job = std::move(inFlight_.front());
            inFlight_.pop_front();
        }
        if (!job->error.empty()) throw std::runtime_error(job->error);
        totals_.crc = static_cast<std::uint32_t>(
            crc32_combine(totals_.crc, job->crc, static_cast<z_off_t>(job->size)));
        sink_(job->output.data(), job->outputSize);
        std::lock_guard lock(mutex_);
        spare_.push_back(std::move(job));
    }
}

ParallelDeflate::Totals ParallelDeflate::end() {
    if (!current_) throw std::logic_error("ParallelDeflate::end without begin");
    submit(true);
    sinkFinished(true);
    sink_ = nullptr;
    return totals_;
}

void ParallelDeflate::abandon() noexcept {
    std::unique_lock lock(mutex_);
    // Jobs a worker has not taken are dropped; those it has are waited for.
    for (Job* queued : queue_) queued->done = true;
    queue_.clear();
    jobDone_.wait(lock, [&] {
        return std::all_of(inFlight_.begin(), inFlight_.end(), [](const auto& job) { return job->done; });
    });
    for (auto& job : inFlight_) spare_.push_back(std::move(job));
    inFlight_.clear();
    if (current_) spare_.push_back(std::move(current_));
    used_ = capacity_ = 0;
    sink_ = nullptr;
}

void ParallelDeflate::work() {
    z_stream* stream = nullptr;
    std::string startError;
    try {
        stream = newStream(level_);
    } catch (const std::exception& e) {
        startError = e.what();
    }
    for (;;) {
        Job* job = nullptr;
        {
            std::unique_lock lock(mutex_);
            workReady_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) break;
            job = queue_.front();
            queue_.pop_front();
        }
        if (stream == nullptr) job->error = startError;
        else compress(stream, *job);
        {
            std::lock_guard lock(mutex_);
            job->done = true;
        }
        jobDone_.notify_all();
    }
    deleteStream(stream);
}

void ParallelDeflate::compress(void* handle, Job& job) {
    auto* stream = static_cast<z_stream*>(handle);
    // zlib takes at most 4 GiB at a time; chunks are far smaller.
    job.crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(job.input.data()), static_cast<uInt>(job.size)));
    deflateReset(stream);
    if (!job.dictionary.empty())
        deflateSetDictionary(stream, reinterpret_cast<const Bytef*>(job.dictionary.data()),
                             static_cast<uInt>(job.dictionary.size()));
    const std::size_t bound = deflateBound(stream, static_cast<uLong>(job.size)) + 64;
    if (job.output.size() < bound) job.output.resize(bound);
    stream->next_in = reinterpret_cast<Bytef*>(job.input.data());
    stream->avail_in = static_cast<uInt>(job.size);
    stream->next_out = reinterpret_cast<Bytef*>(job.output.data());
    stream->avail_out = static_cast<uInt>(job.output.size());
    const int flush = job.last ? Z_FINISH : Z_SYNC_FLUSH;
    int result = deflate(stream, flush);
    while ((job.last ? result != Z_STREAM_END : stream->avail_in > 0 || stream->avail_out == 0) &&
           (result == Z_OK || result == Z_BUF_ERROR)) {
        // Output room ran out (only for incompressible data beyond the bound).
        const std::size_t done = job.output.size() - stream->avail_out;
        job.output.resize(job.output.size() * 2);
        stream->next_out = reinterpret_cast<Bytef*>(job.output.data() + done);
        stream->avail_out = static_cast<uInt>(job.output.size() - done);
        result = deflate(stream, flush);
    }
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) job.error = "Could not compress the workbook.";
    job.outputSize = job.output.size() - stream->avail_out;
}

}  // namespace workbook
