// SPDX-License-Identifier: MIT
// Instructions counted by callgrind: the same total for the same binary and input, whatever else
// the machine runs, so that a verdict on them holds on any machine of one kind.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace divebridge::bench {

// Counts become times at this rate, that of a modest laptop core: a low-power part at 1 to 1.5 GHz
// retiring about one instruction a cycle on code that branches, locks and allocates as the
// bridge's does. A count has no rate of its own, and most machines an application runs on are
// faster, so a share of a link judged at this rate holds on them too.
constexpr double referenceInstructionsPerSecond = 1e9;
// That rate as a figure table explains it.
std::string referenceRateText();

// Whose instructions a count takes: the counting thread's alone, or every thread's of the
// process (a body that hands work to threads of its own, such as a bus's event loop).
enum class CountedThreads { caller, all };

// Runs this program again under callgrind when it is not under it yet, its dumps written to
// `dumpDirectory`, with instrumentation and collection off until InstructionCounter turns them
// on; returns only under callgrind.
void runUnderCallgrind(char **argv, const std::string &dumpDirectory);

// Runs `command` (a program and its arguments) under callgrind, uninstrumented until an
// InstructionCounter of `threads` turns it on, its dumps written to `dumpDirectory`; answers what
// it printed on standard output, and raises when it fails.
std::string outputUnderCallgrind(const std::vector<std::string> &command,
                                 const std::string &dumpDirectory, CountedThreads threads);

class InstructionCounter {
  public:
    // `threads` must be what the program runs under callgrind for.
    explicit InstructionCounter(const std::string &dumpDirectory,
                                CountedThreads threads = CountedThreads::caller);

    // The instructions of a second run of `body`, its callees included. The first run,
    // uninstrumented, binds the symbols it calls and leaves the heap as a repeated run finds it.
    std::uint64_t count(const std::string &name, const std::function<void()> &body);

    // The instructions of one run of `body`, for a body that cannot run twice alike (its
    // caller warms it up).
    std::uint64_t countOnce(const std::string &name, const std::function<void()> &body);

  private:
    // The total of the dump callgrind wrote last.
    std::uint64_t lastDumpTotal() const;

    std::string dumpPrefix;
    CountedThreads threads;
    int dumps = 0;
};

}  // namespace divebridge::bench
