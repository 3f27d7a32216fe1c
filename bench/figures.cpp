// SPDX-License-Identifier: MIT
#include "figures.h"

#include <cmath>
#include <cstdio>

namespace divebridge::bench {
namespace {

std::string formatNumber(double value) {
    char text[32];
    const double size = std::fabs(value);
    std::snprintf(text, sizeof text, size >= 100 ? "%.0f" : size >= 10 ? "%.1f" : "%.3g", value);
    return text;
}

Figure figureOf(const std::string &name, const Measured &value, const std::string &unit) {
    return {name, value.median, value, unit, "", true};
}

}  // namespace

void FigureTable::atMost(const std::string &name, double value, const std::string &unit,
                         double maximum) {
    figures.push_back(
        {name, value, std::nullopt, unit, "<= " + formatNumber(maximum), value <= maximum});
}

void FigureTable::atMost(const std::string &name, const Measured &value, const std::string &unit,
                         double maximum) {
    figures.push_back(
        {name, value.median, value, unit, "<= " + formatNumber(maximum), value.median <= maximum});
}

void FigureTable::report(const std::string &name, double value, const std::string &unit) {
    figures.push_back({name, value, std::nullopt, unit, "", true});
}

void FigureTable::report(const std::string &name, const Measured &value, const std::string &unit) {
    figures.push_back(figureOf(name, value, unit));
}

void FigureTable::explain(const std::string &line) {
    explanation.push_back(line);
}

bool FigureTable::print(const std::string &title) const {
    std::printf("\n== %s ==\n", title.c_str());
    for (const std::string &line : explanation) {
        std::printf("  %s\n", line.c_str());
    }
    std::printf("  %-72s %14s  %-16s %s\n", "figure", "measured", "rounds' range", "target");
    bool allMet = true;
    for (const Figure &figure : figures) {
        const std::string measured = formatNumber(figure.value) + " " + figure.unit;
        const std::string range = figure.rounds ? formatNumber(figure.rounds->least) + " .. " +
                                                      formatNumber(figure.rounds->most)
                                                : "";
        std::printf("  %-72s %14s  %-16s", figure.name.c_str(), measured.c_str(), range.c_str());
        if (!figure.target.empty()) {
            std::printf(" %-8s %s", figure.target.c_str(), figure.met ? "PASS" : "MISS");
        }
        std::printf("\n");
        allMet = allMet && figure.met;
    }
    std::fflush(stdout);
    return allMet;
}

}  // namespace divebridge::bench
