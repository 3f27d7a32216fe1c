#include "figures.h"

#include <cstdio>
#include <sstream>

namespace divebridge::bench {
namespace {

std::string formatNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, value >= 100 ? "%.0f" : value >= 10 ? "%.1f" : "%.3g", value);
    return text;
}

}  // namespace

void FigureTable::atLeast(const std::string &name, double value, const std::string &unit,
                          double minimum) {
    figures.push_back({name, value, unit, ">= " + formatNumber(minimum), value >= minimum});
}

void FigureTable::atMost(const std::string &name, double value, const std::string &unit,
                         double maximum) {
    figures.push_back({name, value, unit, "<= " + formatNumber(maximum), value <= maximum});
}

void FigureTable::report(const std::string &name, double value, const std::string &unit) {
    figures.push_back({name, value, unit, "", true});
}

bool FigureTable::print(const std::string &title) const {
    std::printf("\n== %s ==\n", title.c_str());
    bool allMet = true;
    for (const Figure &figure : figures) {
        const std::string measured = formatNumber(figure.value) + " " + figure.unit;
        if (figure.target.empty()) {
            std::printf("  %-72s %18s\n", figure.name.c_str(), measured.c_str());
        } else {
            std::printf("  %-72s %18s  target %-10s %s\n", figure.name.c_str(), measured.c_str(),
                        figure.target.c_str(), figure.met ? "PASS" : "MISS");
        }
        allMet = allMet && figure.met;
    }
    std::fflush(stdout);
    return allMet;
}

}  // namespace divebridge::bench
