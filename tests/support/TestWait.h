#pragma once

// How long a test waits for something to happen before it fails. Generous,
// because a loaded machine (or Wine) is slow; a passing test never waits
// this long.
namespace TestWait {

// An answer, a window, a process starting or ending.
constexpr int kWait = 30000;
// A whole download, or a run of many processes, under Wine or the
// sanitizers.
constexpr int kLongWait = 300000;

} // namespace TestWait
