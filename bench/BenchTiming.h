// What the parser benchmarks share: the best of several timed runs, and the floor they are
// measured against, one memchr pass over the same bytes.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>

namespace ravelin::bench {

// The shortest of `runs` runs of fn, in seconds: the run least disturbed by the machine.
inline double best(const std::function<void()>& fn, int runs) {
    using Clock = std::chrono::steady_clock;
    double b = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        fn();
        b = std::min(b, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return b;
}

// The time of the fastest pass a parser could make over the bytes: finding every line end.
// `lines` receives the count, so the pass cannot be optimised away.
inline double memchrFloor(const std::string& bytes, std::size_t& lines, int runs = 20) {
    return best(
        [&] {
            lines = 0;
            const char* p = bytes.data();
            const char* end = p + bytes.size();
            while ((p = static_cast<const char*>(
                        std::memchr(p, '\n', static_cast<std::size_t>(end - p)))))
                ++lines, ++p;
        },
        runs);
}

} // namespace ravelin::bench
