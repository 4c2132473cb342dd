// The line's chance: the BSNs, the faults and the strays, the same from a seed on every
// target. Its own generator (splitmix64) and its own arithmetic, since the standard
// library's distributions differ between implementations.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace line {

// A rate from 0 to 1 in millionths.
inline constexpr std::uint32_t kCertain = 1000000;

class Draws {
  public:
    explicit Draws(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }

    // True with the rate's chance: a rate of kCertain always, 0 never.
    bool Chance(std::uint32_t rate) { return rate > 0 && Next() % kCertain < rate; }

    // Ten decimal digits.
    std::string Bsn() {
        char text[16];
        std::snprintf(text, sizeof text, "%010llu", static_cast<unsigned long long>(Next() % 10000000000u));
        return text;
    }

  private:
    std::uint64_t state_;
};

}  // namespace line
