// SPDX-License-Identifier: MIT
#include "instruction_counter.h"

#include <valgrind/callgrind.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <unistd.h>

namespace divebridge::bench {
namespace {

std::string dumpPrefixIn(const std::string &directory) {
    return directory + "/counts";
}

}  // namespace

void runUnderCallgrind(char **argv, const std::string &dumpDirectory) {
    if (RUNNING_ON_VALGRIND) {
        return;
    }
    const std::string outFile = "--callgrind-out-file=" + dumpPrefixIn(dumpDirectory) + ".%p";
    std::vector<const char *> command = {
        "valgrind",           "--tool=callgrind",     "--quiet",
        "--instr-atstart=no", "--collect-atstart=no", outFile.c_str()};
    for (char **argument = argv; *argument != nullptr; ++argument) {
        command.push_back(*argument);
    }
    command.push_back(nullptr);
    std::fflush(stdout);
    ::execvp("valgrind", const_cast<char *const *>(command.data()));
    throw std::runtime_error("cannot run valgrind: the instruction counts need it installed");
}

InstructionCounter::InstructionCounter(const std::string &dumpDirectory)
    : dumpPrefix(dumpPrefixIn(dumpDirectory) + "." + std::to_string(::getpid())) {}

std::uint64_t InstructionCounter::count(const std::string &name,
                                        const std::function<void()> &body) {
    body();
    CALLGRIND_START_INSTRUMENTATION;
    CALLGRIND_ZERO_STATS;
    CALLGRIND_TOGGLE_COLLECT;
    body();
    CALLGRIND_TOGGLE_COLLECT;
    CALLGRIND_DUMP_STATS_AT(name.c_str());
    CALLGRIND_STOP_INSTRUMENTATION;
    ++dumps;
    return lastDumpTotal();
}

std::uint64_t InstructionCounter::lastDumpTotal() const {
    const std::string path = dumpPrefix + "." + std::to_string(dumps);
    std::ifstream dump(path);
    const std::string field = "summary: ";
    for (std::string line; std::getline(dump, line);) {
        if (line.compare(0, field.size(), field) == 0) {
            return std::stoull(line.substr(field.size()));
        }
    }
    throw std::runtime_error("no instruction total in " + path);
}

}  // namespace divebridge::bench
