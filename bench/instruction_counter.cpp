// SPDX-License-Identifier: MIT
#include "instruction_counter.h"

#include <valgrind/callgrind.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include <sys/wait.h>
#include <unistd.h>

namespace divebridge::bench {
namespace {

std::string dumpPrefixIn(const std::string &directory) {
    return directory + "/counts";
}

// valgrind's command line for `program`: instrumentation off until a count, and collection too
// when only the counting thread's instructions are taken (it toggles its own collection); every
// thread collects otherwise, and the count zeroes them all before its body.
std::vector<std::string> callgrindCommand(const std::vector<std::string> &program,
                                          const std::string &dumpDirectory,
                                          CountedThreads threads) {
    std::vector<std::string> command = {
        "valgrind",
        "--tool=callgrind",
        "--quiet",
        "--instr-atstart=no",
        threads == CountedThreads::caller ? "--collect-atstart=no" : "--collect-atstart=yes",
        "--callgrind-out-file=" + dumpPrefixIn(dumpDirectory) + ".%p"};
    command.insert(command.end(), program.begin(), program.end());
    return command;
}

[[noreturn]] void execute(const std::vector<std::string> &command) {
    std::vector<char *> arguments;
    for (const std::string &argument : command) {
        arguments.push_back(const_cast<char *>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    std::fflush(stdout);
    ::execvp(arguments.front(), arguments.data());
    throw std::runtime_error("cannot run valgrind: the instruction counts need it installed");
}

}  // namespace

std::string referenceRateText() {
    char text[64];
    std::snprintf(text, sizeof text, "%g G instructions a second",
                  referenceInstructionsPerSecond / 1e9);
    return std::string(text) + " (a modest laptop core)";
}

void runUnderCallgrind(char **argv, const std::string &dumpDirectory) {
    if (RUNNING_ON_VALGRIND) {
        return;
    }
    std::vector<std::string> program;
    for (char **argument = argv; *argument != nullptr; ++argument) {
        program.emplace_back(*argument);
    }
    execute(callgrindCommand(program, dumpDirectory, CountedThreads::caller));
}

std::string outputUnderCallgrind(const std::vector<std::string> &command,
                                 const std::string &dumpDirectory, CountedThreads threads) {
    const std::vector<std::string> counted = callgrindCommand(command, dumpDirectory, threads);
    int output[2];
    if (::pipe(output) != 0) {
        throw std::runtime_error("cannot make a pipe");
    }
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child < 0) {
        throw std::runtime_error("cannot start valgrind");
    }
    if (child == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        ::close(output[0]);
        ::close(output[1]);
        try {
            execute(counted);
        } catch (const std::exception &failure) {
            std::fprintf(stderr, "%s\n", failure.what());
        }
        ::_exit(127);
    }
    ::close(output[1]);
    std::string printed;
    char buffer[4096];
    for (;;) {
        const ssize_t size = ::read(output[0], buffer, sizeof buffer);
        if (size > 0) {
            printed.append(buffer, static_cast<std::size_t>(size));
        } else if (size == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(output[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("the counted run of " + command.front() + " failed");
    }
    return printed;
}

InstructionCounter::InstructionCounter(const std::string &dumpDirectory, CountedThreads threads)
    : dumpPrefix(dumpPrefixIn(dumpDirectory) + "." + std::to_string(::getpid())),
      threads(threads) {}

std::uint64_t InstructionCounter::count(const std::string &name,
                                        const std::function<void()> &body) {
    body();
    return countOnce(name, body);
}

std::uint64_t InstructionCounter::countOnce(const std::string &name,
                                            const std::function<void()> &body) {
    CALLGRIND_START_INSTRUMENTATION;
    CALLGRIND_ZERO_STATS;
    if (threads == CountedThreads::caller) {
        CALLGRIND_TOGGLE_COLLECT;
        body();
        CALLGRIND_TOGGLE_COLLECT;
    } else {
        body();
    }
    CALLGRIND_DUMP_STATS_AT(name.c_str());
    CALLGRIND_STOP_INSTRUMENTATION;
    ++dumps;
    return lastDumpTotal();
}

std::uint64_t InstructionCounter::lastDumpTotal() const {
    const std::string path = dumpPrefix + "." + std::to_string(dumps);
    std::ifstream dump(path);
    const std::string field = "totals: ";
    for (std::string line; std::getline(dump, line);) {
        if (line.compare(0, field.size(), field) == 0) {
            return std::stoull(line.substr(field.size()));
        }
    }
    throw std::runtime_error("no instruction total in " + path);
}

}  // namespace divebridge::bench
