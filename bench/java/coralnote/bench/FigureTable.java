// SPDX-License-Identifier: MIT
package coralnote.bench;

import java.util.ArrayList;
import java.util.List;

/**
 * Figures printed beside their targets, PASS or MISS decided from the measured number (the median,
 * for a figure measured in rounds).
 */
final class FigureTable {
    /** {@code rounds}: the rounds' median (the value) and range, or null for one measurement. */
    private record Figure(String name, double value, Measured rounds, String unit, String target,
            boolean met) {}

    private final List<String> explanation = new ArrayList<>();
    private final List<Figure> figures = new ArrayList<>();

    /** A line printed under the title: what the figures count, and how. */
    void explain(String line) {
        explanation.add(line);
    }

    void atMost(String name, double value, String unit, double maximum) {
        figures.add(new Figure(name, value, null, unit, "<= " + format(maximum), value <= maximum));
    }

    void atMost(String name, Measured value, String unit, double maximum) {
        figures.add(new Figure(name, value.median(), value, unit, "<= " + format(maximum),
                value.median() <= maximum));
    }

    void report(String name, double value, String unit) {
        figures.add(new Figure(name, value, null, unit, "", true));
    }

    void report(String name, Measured value, String unit) {
        figures.add(new Figure(name, value.median(), value, unit, "", true));
    }

    /** Prints every figure; answers whether all targets were met. */
    boolean print(String title) {
        System.out.printf("%n== %s ==%n", title);
        explanation.forEach(line -> System.out.printf("  %s%n", line));
        System.out.printf("  %-72s %14s  %-16s %s%n", "figure", "measured", "rounds' range",
                "target");
        boolean allMet = true;
        for (Figure figure : figures) {
            String measured = format(figure.value()) + " " + figure.unit();
            String range = figure.rounds() == null ? ""
                    : format(figure.rounds().least()) + " .. " + format(figure.rounds().most());
            System.out.printf("  %-72s %14s  %-16s", figure.name(), measured, range);
            if (!figure.target().isEmpty()) {
                System.out.printf(" %-8s %s", figure.target(), figure.met() ? "PASS" : "MISS");
            }
            System.out.println();
            allMet &= figure.met();
        }
        System.out.flush();
        return allMet;
    }

    private static String format(double value) {
        if (Math.abs(value) >= 100) {
            return String.format("%.0f", value);
        }
        return Math.abs(value) >= 10 ? String.format("%.1f", value) : String.format("%.3g", value);
    }
}
