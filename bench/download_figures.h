// SPDX-License-Identifier: MIT
// The native download figures: the bridge's download of generated images of D dives of
// downloadRows rows, its fixed cost per call, its cost per row and how that grows with D.
#pragma once

#include "figures.h"
#include "rounds.h"

#include <cstdint>
#include <functional>
#include <map>

namespace divebridge::bench {

class DownloadFigures {
  public:
    // Adds the download bodies to `rounds`.
    explicit DownloadFigures(Rounds &rounds);

    // `parsePerDive(round)` is the bridge's nanoseconds to parse one dive of downloadRows rows in
    // that round, measured without the simulator.
    void addTo(const Rounds &rounds, const std::function<double(int round)> &parsePerDive,
               FigureTable &table) const;

  private:
    // A download timed through the bridge, and the same dives parsed and dropped.
    struct Bodies {
        int download;
        int parsedAndDropped;
    };

    double beyondParsing(const Rounds &rounds, int round, const Bodies &bodies) const;
    double bridge(const Rounds &rounds, int round, std::uint32_t dives,
                  const std::function<double(int round)> &parsePerDive) const;
    double perRow(const Rounds &rounds, int round, std::uint32_t dives,
                  const std::function<double(int round)> &parsePerDive) const;

    std::map<std::uint32_t, Bodies> fresh;
    Bodies reusedOneDive{};
};

}  // namespace divebridge::bench
