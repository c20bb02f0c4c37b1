#pragma once
// A small deterministic pseudo-random source (splitmix64). The standard
// distributions differ between library implementations; this does not, so
// the sample tables come out byte-identical everywhere.

#include <cstdint>
#include <string>
#include <vector>

namespace samples {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E37'79B9'7F4A'7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58'476D'1CE4'E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D0'49BB'1331'11EBull;
        return z ^ (z >> 31);
    }
    // A whole number in [low, high].
    std::int64_t between(std::int64_t low, std::int64_t high) {
        return low + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(high - low + 1));
    }
    // True with probability percent / 100.
    bool chance(int percent) { return between(0, 99) < percent; }
    template <typename T>
    const T& pick(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(between(0, static_cast<std::int64_t>(items.size()) - 1))];
    }

private:
    std::uint64_t state_;
};

}  // namespace samples
