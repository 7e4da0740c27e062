#pragma once
// Timestamps for the benchmarks (bench/): with VUVEDID_TRACE_FILE naming a file, each mark
// appends one line "stage nanoseconds number [text]" to it (steady clock, i.e.
// CLOCK_MONOTONIC). Without the variable on() is false after one cached check and no mark
// costs anything more. Marks may come from any thread, the audio callback included: each
// line is one write(2) to a file opened for appending, with no lock and no allocation.
#include <cstdint>

namespace vuvedid::trace {

bool on() noexcept;
// The program's monotonic clock in nanoseconds (also for uses other than marks).
std::int64_t nowNs() noexcept;
// text may be null; at most len bytes of it are written (len < 0: up to its NUL).
void mark(const char* stage, std::int64_t ns, long long number = 0, const char* text = nullptr,
          int len = -1) noexcept;

}  // namespace vuvedid::trace
