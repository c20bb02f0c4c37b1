#pragma once
// Progress of a long export on a terminal: one line, redrawn in place, with
// a bar, the rows done, the rate and the time left:
//
//   ORDERS   [##########----------]  512,000 / 1,000,000 rows  410,000 rows/s  0:01 left
//
// Redrawn at most every tenth of a second; the line is cleared when the
// table is done, so what follows starts on a clean line.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace cli {

// The line for `done` of `total` rows after `seconds`, `width` characters at most.
std::string progressLine(const std::string& table, std::int64_t done, std::int64_t total, double seconds,
                         std::size_t width = 100);

class ProgressMeter {
public:
    // Draws on `out` when `enabled`; otherwise every call does nothing.
    ProgressMeter(std::FILE* out, bool enabled) : out_(out), enabled_(enabled) {}

    void start(const std::string& table, std::int64_t total);
    void update(std::int64_t done);
    // Clears the line.
    void finish();

private:
    using Clock = std::chrono::steady_clock;
    std::FILE* out_;
    bool enabled_;
    bool drawn_ = false;
    std::string table_;
    std::int64_t total_ = 0;
    Clock::time_point started_, lastDrawn_;
};

}  // namespace cli
