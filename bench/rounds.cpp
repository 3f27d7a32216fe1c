// SPDX-License-Identifier: MIT
#include "rounds.h"

#include <algorithm>
#include <utility>

#include <time.h>

namespace divebridge::bench {
namespace {

double cpuNanos(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

double threadCpuNanos() {
    return cpuNanos(CLOCK_THREAD_CPUTIME_ID);
}

}  // namespace

double processCpuNanos() {
    return cpuNanos(CLOCK_PROCESS_CPUTIME_ID);
}

Measured measuredOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    const double median =
        values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    return {median, values.front(), values.back()};
}

int Rounds::add(Body body, Body setUp) {
    bodies.push_back({std::move(body), std::move(setUp)});
    return static_cast<int>(bodies.size()) - 1;
}

double Rounds::timeRuns(const Timed &timed, int runs) {
    if (!timed.setUp) {
        const double start = threadCpuNanos();
        for (int run = 0; run < runs; ++run) {
            timed.body();
        }
        return threadCpuNanos() - start;
    }
    double total = 0;
    for (int run = 0; run < runs; ++run) {
        timed.setUp();
        const double start = threadCpuNanos();
        timed.body();
        total += threadCpuNanos() - start;
    }
    return total;
}

void Rounds::run(int rounds, double minimumSeconds) {
    for (Timed &timed : bodies) {
        while (timeRuns(timed, timed.runs) < minimumSeconds * 1e9) {
            timed.runs *= 2;
        }
    }
    samples.assign(bodies.size(), std::vector<double>(static_cast<std::size_t>(rounds)));
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t body = 0; body < bodies.size(); ++body) {
            samples[body][round] = timeRuns(bodies[body], bodies[body].runs) / bodies[body].runs;
        }
    }
    roundCount = rounds;
}

Measured Rounds::over(const std::function<double(int round)> &figure) const {
    std::vector<double> values;
    for (int round = 0; round < roundCount; ++round) {
        values.push_back(figure(round));
    }
    return measuredOf(std::move(values));
}

}  // namespace divebridge::bench
