package coralnote.bench;

import java.util.ArrayList;
import java.util.List;

/** Figures printed beside their targets, PASS or MISS decided from the measured number. */
final class FigureTable {
    private record Figure(String name, double value, String unit, String target, boolean met) {}

    private final List<Figure> figures = new ArrayList<>();

    void atLeast(String name, double value, String unit, double minimum) {
        figures.add(new Figure(name, value, unit, ">= " + format(minimum), value >= minimum));
    }

    void atMost(String name, double value, String unit, double maximum) {
        figures.add(new Figure(name, value, unit, "<= " + format(maximum), value <= maximum));
    }

    void report(String name, double value, String unit) {
        figures.add(new Figure(name, value, unit, "", true));
    }

    /** Prints every figure; answers whether all targets were met. */
    boolean print(String title) {
        System.out.printf("%n== %s ==%n", title);
        boolean allMet = true;
        for (Figure figure : figures) {
            String measured = format(figure.value()) + " " + figure.unit();
            if (figure.target().isEmpty()) {
                System.out.printf("  %-72s %18s%n", figure.name(), measured);
            } else {
                System.out.printf("  %-72s %18s  target %-10s %s%n", figure.name(), measured,
                        figure.target(), figure.met() ? "PASS" : "MISS");
            }
            allMet &= figure.met();
        }
        System.out.flush();
        return allMet;
    }

    private static String format(double value) {
        if (value >= 100) {
            return String.format("%.0f", value);
        }
        return value >= 10 ? String.format("%.1f", value) : String.format("%.3g", value);
    }
}
