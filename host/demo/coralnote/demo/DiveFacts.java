// SPDX-License-Identifier: MIT
package coralnote.demo;

import coralnote.main.java.core.Dive;
import coralnote.main.java.core.DiveDetails;
import coralnote.main.java.core.Gas;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/**
 * What a logbook row leaves out, in words: the dive mode, the water and the place, then the gases
 * and tanks. Anything the dive computer did not record is left out, so a dive without details has
 * no lines at all.
 */
final class DiveFacts {
    /** libdivecomputer's dc_divemode_t, in order. */
    private static final String[] MODES = {"freedive", "gauge", "open circuit",
            "closed-circuit rebreather", "semi-closed rebreather"};
    /** libdivecomputer's dc_usage_t, in order; "none" says nothing. */
    private static final String[] USAGES = {null, "oxygen", "diluent", "sidemount"};

    private DiveFacts() {}

    /**
     * Each line as its phrases, punctuated, to be joined by spaces and wrapped between them. The
     * tanks share the gases' line when both fit in {@code width}.
     */
    static List<List<String>> lines(Dive dive, int width) {
        DiveDetails details = dive.getDetails();
        List<List<String>> lines = new ArrayList<>();
        List<String> conditions = new ArrayList<>();
        addIfKnown(conditions, mode(details.getFields()));
        addIfKnown(conditions, water(details.getFields()));
        addIfKnown(conditions, place(details.getFields()));
        List<DiveDetails.GasMix> mixes = details.getGasMixes();
        List<String> gases = new ArrayList<>();
        for (DiveDetails.GasMix mix : mixes) {
            String name = gasName(mix);
            String usage = usage(mix.usage(), name);
            gases.add(name + (usage == null ? "" : " (" + usage + ")"));
        }
        float[][] pressures = details.getTankPressures();
        List<DiveDetails.Tank> tanks = details.getTanks();
        List<String> tankTexts = new ArrayList<>();
        for (int i = 0; i < tanks.size(); i++) {
            tankTexts.add(tank(tanks.get(i), mixes, i < pressures.length ? pressures[i] : null));
        }
        addLine(lines, List.of(punctuated("", conditions)));
        List<String> gasLine = punctuated("Gases: ", gases);
        List<String> tankLine = punctuated("tanks: ", tankTexts);
        if (String.join(" ", gasLine).length() + String.join(" ", tankLine).length() + 2
                <= width) {
            addLine(lines, List.of(gasLine, tankLine));
        } else {
            addLine(lines, List.of(gasLine));
            addLine(lines, List.of(tankLine));
        }
        return lines;
    }

    /** The phrases as one list, the first labelled, each but the last ending in a comma. */
    private static List<String> punctuated(String label, List<String> phrases) {
        List<String> words = new ArrayList<>();
        for (int i = 0; i < phrases.size(); i++) {
            words.add((i == 0 ? label : "") + phrases.get(i) + (i + 1 < phrases.size() ? "," : ""));
        }
        return words;
    }

    /** A line of the groups that are not empty, a semicolon between two. */
    private static void addLine(List<List<String>> lines, List<List<String>> groups) {
        List<String> line = new ArrayList<>();
        for (List<String> group : groups) {
            if (group.isEmpty()) {
                continue;
            }
            if (!line.isEmpty()) {
                line.set(line.size() - 1, line.get(line.size() - 1) + ";");
            }
            line.addAll(group);
        }
        if (!line.isEmpty()) {
            String first = line.get(0);
            line.set(0, Character.toUpperCase(first.charAt(0)) + first.substring(1));
            lines.add(line);
        }
    }

    /** "Air", "EAN50", "O2", "Tx18/45"; "?" for a mix that could not be read. */
    static String gasName(DiveDetails.GasMix mix) {
        if (!Float.isFinite(mix.oxygen()) || !Float.isFinite(mix.helium())) {
            return "?";
        }
        int oxygen = Math.round(mix.oxygen());
        int helium = Math.round(mix.helium());
        if (oxygen == 100) {
            return "O2";
        }
        try {
            return Gas.blendGas(oxygen, helium).toString();
        } catch (IllegalArgumentException e) {
            return oxygen + "/" + helium;
        }
    }

    private static void addIfKnown(List<String> pieces, String piece) {
        if (piece != null) {
            pieces.add(piece);
        }
    }

    private static String mode(Map<String, Double> fields) {
        int mode = whole(fields.get("divemode"));
        return mode >= 0 && mode < MODES.length ? MODES[mode] : null;
    }

    private static String water(Map<String, Double> fields) {
        int type = whole(fields.get("salinity.type"));
        String water = type == 0 ? "fresh water" : type == 1 ? "salt water" : null;
        Double density = fields.get("salinity.density");
        if (density == null || !(density > 0)) {
            return water;
        }
        return (water == null ? "water" : water)
                + String.format(Locale.ROOT, " (%.0f kg/m³)", density);
    }

    private static String place(Map<String, Double> fields) {
        Double latitude = fields.get("location.latitude");
        Double longitude = fields.get("location.longitude");
        Double altitude = fields.get("location.altitude");
        StringBuilder place = new StringBuilder();
        if (known(latitude) && known(longitude)) {
            place.append(String.format(Locale.ROOT, "%.4f° %s %.4f° %s", Math.abs(latitude),
                    latitude < 0 ? "S" : "N", Math.abs(longitude), longitude < 0 ? "W" : "E"));
        }
        if (known(altitude) && altitude != 0) {
            place.append(place.length() > 0 ? ", " : "")
                    .append(String.format(Locale.ROOT, "%.0f m above sea level", altitude));
        }
        return place.length() > 0 ? place.toString() : null;
    }

    /** "11.1 l Tx18/45 230→52 bar", each part only when known. */
    private static String tank(DiveDetails.Tank tank, List<DiveDetails.GasMix> mixes,
            float[] pressures) {
        StringBuilder text = new StringBuilder();
        if (tank.volume() > 0) {
            text.append(String.format(Locale.ROOT, " %.1f l", tank.volume()));
        }
        String gas = null;
        if (tank.gasMix() >= 0 && tank.gasMix() < mixes.size()) {
            gas = gasName(mixes.get(tank.gasMix()));
            text.append(' ').append(gas);
        }
        float begin = tank.beginPressure();
        float end = tank.endPressure();
        // Some dive computers give the tank no pressures of its own, only samples.
        if (!(begin > 0) && !(end > 0) && pressures != null) {
            begin = first(pressures);
            end = last(pressures);
        }
        if (begin > 0 || end > 0) {
            text.append(String.format(Locale.ROOT, " %s→%s bar", bar(begin), bar(end)));
        }
        String usage = usage(tank.usage(), gas);
        if (usage != null) {
            text.append(" (").append(usage).append(')');
        }
        return text.length() > 0 ? text.substring(1) : "unknown";
    }

    /** The usage in words; none for oxygen used as oxygen, "O2 (oxygen)" says it twice. */
    private static String usage(int usage, String gas) {
        if (usage < 0 || usage >= USAGES.length || (usage == 1 && "O2".equals(gas))) {
            return null;
        }
        return USAGES[usage];
    }

    private static String bar(float pressure) {
        return pressure > 0 ? String.format(Locale.ROOT, "%.0f", pressure) : "?";
    }

    private static float first(float[] values) {
        for (float value : values) {
            if (!Float.isNaN(value)) {
                return value;
            }
        }
        return Float.NaN;
    }

    private static float last(float[] values) {
        for (int i = values.length - 1; i >= 0; i--) {
            if (!Float.isNaN(values[i])) {
                return values[i];
            }
        }
        return Float.NaN;
    }

    private static boolean known(Double value) {
        return value != null && Double.isFinite(value);
    }

    /** The whole number a field holds, or -1 when it is missing or not whole. */
    private static int whole(Double value) {
        return known(value) && value == Math.rint(value) && value >= 0 && value <= 100
                ? value.intValue() : -1;
    }
}
