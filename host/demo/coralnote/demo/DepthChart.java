// SPDX-License-Identifier: MIT
package coralnote.demo;

import coralnote.main.java.core.Dive;
import java.io.PrintStream;
import java.util.Arrays;
import java.util.Map;
import java.util.TreeMap;

/** Draws a dive's depth over time in the terminal, the surface on top and depth downwards. */
final class DepthChart {
    private static final int COLUMNS = 60;
    private static final int ROWS = 12;
    private static final String MARGIN = "        ";

    /** libdivecomputer event codes a diver cares about, with their chart letter. */
    private static final Map<Integer, String> EVENTS = Map.of(
            1, "D deco stop", 3, "A ascent too fast", 8, "B bookmark", 10, "S safety stop",
            11, "G gas change", 12, "S safety stop", 13, "S safety stop", 25, "G gas change");

    private final PrintStream out;

    DepthChart(PrintStream out) {
        this.out = out;
    }

    void print(Dive dive) {
        Float[] times = dive.getTimes();
        if (times.length == 0) {
            out.println(MARGIN + "(no depth profile)");
            return;
        }
        float duration = Math.max(1, times[times.length - 1]);
        float[] depths = deepestPerColumn(times, dive.getDepths(), duration);
        // Whole metres per row keep the depth labels round.
        float metresPerRow = (float) Math.max(1, Math.ceil(max(depths) / (ROWS - 1)));
        char[][] grid = plot(depths, metresPerRow);
        for (int row = 0; row < ROWS; row++) {
            out.println(depthLabel(row, metresPerRow) + new String(grid[row]));
        }
        out.println(MARGIN + "+" + "-".repeat(COLUMNS));
        out.println(timeAxis(duration));
        printEvents(times, dive.getEvents(), duration);
    }

    /** The deepest sample of each column; a column without samples repeats its left neighbour. */
    private static float[] deepestPerColumn(Float[] times, Float[] depths, float duration) {
        float[] columns = new float[COLUMNS];
        Arrays.fill(columns, Float.NaN);
        for (int i = 0; i < times.length; i++) {
            Float depth = depths[i];
            if (depth == null || depth.isNaN()) {
                continue;
            }
            int column = column(times[i], duration);
            columns[column] = Float.isNaN(columns[column]) ? depth : Math.max(columns[column], depth);
        }
        float previous = 0;
        for (int column = 0; column < COLUMNS; column++) {
            if (Float.isNaN(columns[column])) {
                columns[column] = previous;
            }
            previous = columns[column];
        }
        return columns;
    }

    private static int column(float time, float duration) {
        return Math.min(COLUMNS - 1, (int) (time / duration * COLUMNS));
    }

    private static float max(float[] values) {
        float max = 0;
        for (float value : values) {
            max = Math.max(max, value);
        }
        return max;
    }

    /** Marks each column's depth and joins steep steps with a vertical stroke. */
    private static char[][] plot(float[] depths, float metresPerRow) {
        char[][] grid = new char[ROWS][COLUMNS];
        for (char[] row : grid) {
            Arrays.fill(row, ' ');
        }
        int previousRow = 0;
        for (int column = 0; column < COLUMNS; column++) {
            int row = Math.min(ROWS - 1, Math.round(depths[column] / metresPerRow));
            for (int between = Math.min(row, previousRow) + 1; between < Math.max(row, previousRow);
                    between++) {
                grid[between][column] = '|';
            }
            grid[row][column] = '*';
            previousRow = row;
        }
        return grid;
    }

    private static String depthLabel(int row, float metresPerRow) {
        if (row % 3 != 0 && row != ROWS - 1) {
            return MARGIN + "|";
        }
        return String.format("%5.0f m |", row * metresPerRow);
    }

    private static String timeAxis(float duration) {
        StringBuilder axis = new StringBuilder(MARGIN + "0'");
        String end = Math.round(duration / 60) + "'";
        axis.append(" ".repeat(Math.max(1, COLUMNS + 1 - end.length() - 2)));
        return axis.append(end).toString();
    }

    private void printEvents(Float[] times, Integer[] events, float duration) {
        char[] marks = new char[COLUMNS];
        Arrays.fill(marks, ' ');
        Map<Character, String> legend = new TreeMap<>();
        for (int i = 0; i < events.length; i++) {
            String event = events[i] == null ? null : EVENTS.get(events[i]);
            if (event != null) {
                marks[column(times[i], duration)] = event.charAt(0);
                legend.put(event.charAt(0), event.substring(2));
            }
        }
        if (!legend.isEmpty()) {
            out.println(MARGIN + " " + new String(marks).stripTrailing());
            StringBuilder line = new StringBuilder(MARGIN + " ");
            legend.forEach((mark, name) -> line.append(mark).append(" = ").append(name).append("  "));
            out.println(line.toString().stripTrailing());
        }
    }
}
