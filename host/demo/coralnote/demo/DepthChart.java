// SPDX-License-Identifier: MIT
package coralnote.demo;

import coralnote.main.java.core.Dive;
import coralnote.main.java.core.DiveDetails;
import java.io.PrintStream;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.TreeMap;

/**
 * Draws a dive's depth over time in the terminal, the surface on top and depth downwards: the
 * decompression stops drawn with '=', and under the time axis a letter where something happened.
 */
final class DepthChart {
    private static final int COLUMNS = 60;
    private static final int ROWS = 12;
    private static final String MARGIN = "        ";
    private static final int WIDTH = MARGIN.length() + 1 + COLUMNS;
    /** libdivecomputer's DC_DECO_DECOSTOP, the deco.type of a row that owes a stop. */
    private static final int DECO_STOP = 2;
    private static final String DECO_LEGEND = "=== deco stop";
    /** Metres a diver holding a stop drifts from its depth. */
    private static final float STOP_MARGIN = 1.5f;

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
        boolean[] stops = decoStopColumns(times, dive.getDepths(), dive.getDetails(), duration);
        char[][] grid = plot(depths, stops, metresPerRow);
        for (int row = 0; row < ROWS; row++) {
            out.println(depthLabel(row, metresPerRow) + new String(grid[row]));
        }
        out.println(MARGIN + "+" + "-".repeat(COLUMNS));
        out.println(timeAxis(duration));
        printEvents(dive, duration, stops);
    }

    /**
     * The columns holding a row at a deco stop: its deco.type a deco stop, and the diver within
     * STOP_MARGIN of the stop's depth. A dive computer reports a deco stop from the moment one is
     * owed, on the bottom too; only the rows at the stop's depth draw a stop.
     */
    private static boolean[] decoStopColumns(Float[] times, Float[] depths, DiveDetails details,
            float duration) {
        boolean[] stops = new boolean[COLUMNS];
        Map<String, float[]> columns = details.getSampleColumns();
        float[] types = columns.get("deco.type");
        float[] stopDepths = columns.get("deco.depth");
        for (int i = 0; types != null && i < types.length; i++) {
            if (types[i] != DECO_STOP) {
                continue;
            }
            float stop = stopDepths == null ? Float.NaN : stopDepths[i];
            Float depth = depths[i];
            if (stop > 0 && depth != null && Math.abs(depth - stop) > STOP_MARGIN) {
                continue;
            }
            stops[column(times[i], duration)] = true;
        }
        return stops;
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
    private static char[][] plot(float[] depths, boolean[] stops, float metresPerRow) {
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
            grid[row][column] = stops[column] ? '=' : '*';
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

    /**
     * The letters under the time axis, from the profile's event codes and from where the gas mix
     * in use changes, and the legend of everything marked. Where the samples tell the gas mix or
     * the deco state, they mark the switches and stops instead of the events, which would mark
     * the same a column or two apart.
     */
    private void printEvents(Dive dive, float duration, boolean[] stops) {
        Float[] times = dive.getTimes();
        Integer[] events = dive.getEvents();
        Map<String, float[]> columns = dive.getDetails().getSampleColumns();
        char[] marks = new char[COLUMNS];
        Arrays.fill(marks, ' ');
        Map<Character, String> legend = new TreeMap<>();
        for (int i = 0; i < events.length; i++) {
            String event = events[i] == null ? null : EVENTS.get(events[i]);
            if (event != null && event.charAt(0) == 'G' && columns.containsKey("gasmix")) {
                continue;
            }
            if (event != null && event.charAt(0) == 'D' && columns.containsKey("deco.type")) {
                continue;
            }
            if (event != null) {
                marks[column(times[i], duration)] = event.charAt(0);
                legend.put(event.charAt(0), event.substring(2));
            }
        }
        List<String> switches = gasSwitches(dive, duration, marks);
        if (!switches.isEmpty()) {
            legend.put('G', "gas switch to " + String.join(", ", switches));
        }
        List<String> entries = new ArrayList<>();
        for (boolean stop : stops) {
            if (stop) {
                entries.add(DECO_LEGEND);
                break;
            }
        }
        legend.forEach((mark, name) -> entries.add(mark + " = " + name));
        if (entries.isEmpty()) {
            return;
        }
        if (!new String(marks).isBlank()) {
            out.println(MARGIN + " " + new String(marks).stripTrailing());
        }
        StringBuilder line = new StringBuilder(MARGIN + " ");
        for (String entry : entries) {
            if (line.length() > MARGIN.length() + 1
                    && line.length() + 2 + entry.length() > WIDTH) {
                out.println(line);
                line = new StringBuilder(MARGIN + " ");
            } else if (line.length() > MARGIN.length() + 1) {
                line.append("  ");
            }
            line.append(entry);
        }
        out.println(line);
    }

    /**
     * Marks 'G' where the gasmix column changes from one mix to another; each switch as the mix
     * and the depth, "EAN50 at 21 m".
     */
    private static List<String> gasSwitches(Dive dive, float duration, char[] marks) {
        DiveDetails details = dive.getDetails();
        float[] inUse = details.getSampleColumns().get("gasmix");
        List<String> switches = new ArrayList<>();
        if (inUse == null) {
            return switches;
        }
        Float[] times = dive.getTimes();
        Float[] depths = dive.getDepths();
        List<DiveDetails.GasMix> mixes = details.getGasMixes();
        float previous = Float.NaN;
        for (int i = 0; i < inUse.length; i++) {
            float mix = inUse[i];
            if (Float.isNaN(mix) || mix == previous) {
                continue;
            }
            if (!Float.isNaN(previous)) {
                marks[column(times[i], duration)] = 'G';
                String name = mix >= 0 && mix < mixes.size()
                        ? DiveFacts.gasName(mixes.get((int) mix)) : "mix " + (int) mix;
                Float depth = depths[i];
                switches.add(depth == null || depth.isNaN() ? name
                        : String.format(Locale.ROOT, "%s at %.0f m", name, depth));
            }
            previous = mix;
        }
        return switches;
    }
}
