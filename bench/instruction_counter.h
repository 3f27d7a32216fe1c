// SPDX-License-Identifier: MIT
// Instructions counted by callgrind: the same total for the same binary and input, whatever else
// the machine runs, so that a verdict on them holds on any machine of one kind.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace divebridge::bench {

// Runs this program again under callgrind when it is not under it yet, its dumps written to
// `dumpDirectory`, with instrumentation and collection off until InstructionCounter turns them
// on; returns only under callgrind.
void runUnderCallgrind(char **argv, const std::string &dumpDirectory);

class InstructionCounter {
  public:
    explicit InstructionCounter(const std::string &dumpDirectory);

    // The instructions of a second run of `body`, its callees included. The first run,
    // uninstrumented, binds the symbols it calls and leaves the heap as a repeated run finds it.
    std::uint64_t count(const std::string &name, const std::function<void()> &body);

  private:
    // The total of the dump callgrind wrote last.
    std::uint64_t lastDumpTotal() const;

    std::string dumpPrefix;
    int dumps = 0;
};

}  // namespace divebridge::bench
