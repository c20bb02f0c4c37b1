#include "cli/ProgressMeter.h"

#include "export/ExportReport.h"

#include <algorithm>
#include <cmath>

namespace cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr std::size_t kBarWidth = 20;

std::string duration(double seconds) {
    const auto whole = static_cast<std::int64_t>(std::ceil(std::max(0.0, seconds)));
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(whole / 3600),
                      static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(whole / 60),
                      static_cast<long long>(whole % 60));
    return text;
}

}  // namespace

std::string progressLine(const std::string& table, std::int64_t done, std::int64_t total, double seconds,
                         std::size_t width) {
    const double fraction = total > 0 ? std::clamp(double(done) / double(total), 0.0, 1.0) : 1.0;
    const auto filled = static_cast<std::size_t>(fraction * kBarWidth);
    std::string line = table + "  [" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "]  " +
                       exporting::groupedNumber(done) + " / " + exporting::groupedNumber(total) + " rows";
    if (seconds > 0 && done > 0) {
        const double rate = double(done) / seconds;
        line += "  " + exporting::groupedNumber(static_cast<std::int64_t>(rate)) + " rows/s  " +
                duration(double(total - done) / rate) + " left";
    }
    if (line.size() > width) line.resize(width);
    return line;
}

void ProgressMeter::start(const std::string& table, std::int64_t total) {
    table_ = table;
    total_ = total;
    started_ = Clock::now();
    lastDrawn_ = started_ - kRedrawInterval;
}

void ProgressMeter::update(std::int64_t done) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (now - lastDrawn_ < kRedrawInterval) return;
    lastDrawn_ = now;
    const double seconds = std::chrono::duration<double>(now - started_).count();
    std::fprintf(out_, "\r%s\033[K", progressLine(table_, done, total_, seconds).c_str());
    std::fflush(out_);
    drawn_ = true;
}

void ProgressMeter::finish() {
    if (!enabled_ || !drawn_) return;
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    drawn_ = false;
}

}  // namespace cli
