#pragma once

#include <cstdint>

// SplitMix64: the same sequence for a seed on every platform and library, unlike the
// standard distributions.
class Random
{
public:
    explicit Random(std::uint64_t seed) : State_(seed) {}

    std::uint64_t Next()
    {
        std::uint64_t z = State_ += 0x9E3779B97F4A7C15ULL;
        z = (z ^ z >> 30) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ z >> 27) * 0x94D049BB133111EBULL;
        return z ^ z >> 31;
    }

    // first .. last, both included.
    int Between(int first, int last)
    {
        return first + static_cast<int>(Next() % static_cast<std::uint64_t>(last - first + 1));
    }

    // [0, 1)
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

private:
    std::uint64_t State_;
};
