// SPDX-License-Identifier: MIT
package coralnote.demo;

import coralnote.main.java.core.Dive;
import java.io.PrintStream;
import java.util.List;
import java.util.Locale;

/**
 * Prints the logbook as a table, one dive to a row, "-" where the dive computer gave nothing, and
 * under a row what else it recorded (DiveFacts), wrapped to the table's width.
 */
final class DiveTable {
    private static final String ROW = "%3s  %-19s  %6s  %6s  %6s  %-8s  %8s  %7s%n";
    private static final String INDENT = "     ";
    private static final int WIDTH = 80;

    private final PrintStream out;

    DiveTable(PrintStream out) {
        this.out = out;
    }

    void print(List<Dive> dives) {
        out.printf(ROW, "#", "Date", "Time", "Max m", "Avg m", "Gas", "Used bar", "Temp °C");
        for (int i = 0; i < dives.size(); i++) {
            Dive dive = dives.get(i);
            out.printf(ROW, i + 1, dive.getStart(), duration(dive.getDiveTime()),
                    number(dive.getMaxDepth()), number(dive.getAverageDepth()),
                    dive.getGas() == null ? "-" : dive.getGas().toString(),
                    number(dive.getUsedPressure()), number(dive.getBottomTemperature()));
            for (List<String> words : DiveFacts.lines(dive, WIDTH - INDENT.length())) {
                printWrapped(words);
            }
        }
    }

    /** Breaks between words; a continued line is indented further. */
    private void printWrapped(List<String> words) {
        StringBuilder line = new StringBuilder(INDENT);
        int start = line.length();
        for (String word : words) {
            if (line.length() > start && line.length() + 1 + word.length() > WIDTH) {
                out.println(line);
                line = new StringBuilder(INDENT + "  ");
                start = line.length();
            } else if (line.length() > start) {
                line.append(' ');
            }
            line.append(word);
        }
        out.println(line);
    }

    static String duration(float seconds) {
        long whole = Math.round(seconds);
        return String.format("%d:%02d", whole / 60, whole % 60);
    }

    private static String number(Float value) {
        return value == null ? "-" : String.format(Locale.ROOT, "%.1f", value);
    }
}
