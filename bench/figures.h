// SPDX-License-Identifier: MIT
// The benchmark's verdicts: each figure printed beside its target, PASS or MISS decided from the
// measured number alone (the median, for a figure measured in rounds).
#pragma once

#include "rounds.h"

#include <optional>
#include <string>
#include <vector>

namespace divebridge::bench {

struct Figure {
    std::string name;
    double value;
    std::optional<Measured> rounds;  // the rounds' median (the value) and range, when repeated
    std::string unit;
    std::string target;  // as printed; empty for a figure reported without a target
    bool met;
};

class FigureTable {
  public:
    // A figure that must stay at or below `maximum`.
    void atMost(const std::string &name, double value, const std::string &unit, double maximum);
    // The same for a figure measured in rounds: its median is judged.
    void atMost(const std::string &name, const Measured &value, const std::string &unit,
                double maximum);
    // A figure reported for information.
    void report(const std::string &name, double value, const std::string &unit);
    void report(const std::string &name, const Measured &value, const std::string &unit);

    // A line printed under the title: what the figures count, and how.
    void explain(const std::string &line);

    // Prints every figure; answers whether all targets were met.
    bool print(const std::string &title) const;

  private:
    std::vector<std::string> explanation;
    std::vector<Figure> figures;
};

}  // namespace divebridge::bench
