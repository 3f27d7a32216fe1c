// SPDX-License-Identifier: MIT
// Timing in rounds: every body is timed once a round, then all again in the next round, so that a
// busy spell of the shared machine falls on every size alike instead of on the one being timed. A
// figure is computed from each round's samples and reported as the median over the rounds, with
// the least and the most of them beside it.
#pragma once

#include <functional>
#include <vector>

namespace divebridge::bench {

// A figure over the rounds: its median and the range its rounds spanned.
struct Measured {
    double median;
    double least;
    double most;
};

// The median and range of `values` (at least one).
Measured measuredOf(std::vector<double> values);

// CPU nanoseconds of the whole process so far, every thread included.
double processCpuNanos();

// Keeps `value` alive as far as the optimiser can tell.
template <typename T>
void keep(const T &value) {
    asm volatile("" : : "r,m"(value) : "memory");
}

class Rounds {
  public:
    using Body = std::function<void()>;

    // A body timed each round, on the CPU time of this thread; `setUp`, when given, runs untimed
    // before each run. Answers the body's index for sample().
    int add(Body body, Body setUp = nullptr);

    // Calibrates each body's runs per sample to at least `minimumSeconds` (the calibrating runs
    // also warm it), then times `rounds` rounds.
    void run(int rounds, double minimumSeconds);

    int rounds() const { return roundCount; }
    // Nanoseconds a run of `body` took in `round`.
    double sample(int body, int round) const { return samples[body][round]; }

    // `figure(round)` over every round.
    Measured over(const std::function<double(int round)> &figure) const;

  private:
    struct Timed {
        Body body;
        Body setUp;
        int runs = 1;
    };

    // CPU nanoseconds of `runs` runs of `timed`, its set-up excluded.
    static double timeRuns(const Timed &timed, int runs);

    std::vector<Timed> bodies;
    std::vector<std::vector<double>> samples;
    int roundCount = 0;
};

}  // namespace divebridge::bench
