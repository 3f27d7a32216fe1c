// SPDX-License-Identifier: MIT
package coralnote.demo;

import coralnote.main.java.core.Cylinder;
import coralnote.main.java.core.Device;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.DiveDetails;
import coralnote.main.java.core.Gas;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collection;
import java.util.Comparator;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * The dives of one dive computer (vendor, model and serial) that earlier downloads brought, kept in
 * a text file of the demo's: a download that brings only the new dives, or none, still shows the
 * whole logbook. Each dive is a "dive" line with its summary, then a line per profile column and
 * per detail, tab-separated, every number as Java writes it ("-" for none).
 */
final class KeptLogbook {
    private static final String HEADER = "coralnote demo logbook 1";
    private static final String NONE = "-";

    private final Path file;
    private final Device device;

    KeptLogbook(Path directory, Device device) {
        this.device = device;
        this.file = directory.resolve(fileName(device.getVendor(), device.getProduct(),
                device.getName()) + ".logbook");
    }

    Path file() {
        return file;
    }

    /** The kept dives, oldest first; none when nothing is kept yet. */
    List<Dive> load() throws IOException {
        if (!Files.exists(file)) {
            return new ArrayList<>();
        }
        List<String> lines = Files.readAllLines(file, StandardCharsets.UTF_8);
        if (lines.isEmpty() || !lines.get(0).equals(HEADER)) {
            throw new IOException(file + " is not a logbook of this demo");
        }
        List<Dive> dives = new ArrayList<>();
        DiveReader reader = null;
        for (int i = 1; i < lines.size(); i++) {
            String[] fields = lines.get(i).split("\t", -1);
            try {
                if (fields[0].equals("dive")) {
                    if (reader != null) {
                        dives.add(reader.dive());
                    }
                    reader = new DiveReader(fields);
                } else if (reader != null) {
                    reader.add(fields);
                } else {
                    throw new IllegalArgumentException("a line before the first dive");
                }
            } catch (RuntimeException e) {
                throw new IOException(file + ", line " + (i + 1) + ": " + e.getMessage(), e);
            }
        }
        if (reader != null) {
            try {
                dives.add(reader.dive());
            } catch (RuntimeException e) {
                throw new IOException(file + ", last dive: " + e.getMessage(), e);
            }
        }
        return dives;
    }

    /**
     * Adds the downloaded dives to the kept ones and keeps the whole logbook; a dive kept before is
     * replaced by its new download, which a newer libdivecomputer may have read better. Returns the
     * logbook, oldest first.
     */
    List<Dive> add(List<Dive> kept, Collection<Dive> downloaded) throws IOException {
        Map<String, Dive> byIdentity = new LinkedHashMap<>();
        for (Dive dive : kept) {
            byIdentity.put(identity(dive), dive);
        }
        for (Dive dive : downloaded) {
            byIdentity.put(identity(dive), dive);
        }
        List<Dive> logbook = new ArrayList<>(byIdentity.values());
        logbook.sort(Comparator.comparing(Dive::getStart));
        StringBuilder text = new StringBuilder(HEADER).append('\n');
        for (Dive dive : logbook) {
            write(dive, text);
        }
        AtomicFile.write(file, text.toString());
        return logbook;
    }

    /** Moves an unreadable logbook aside, so that it is neither lost nor read again. */
    Path setAside() throws IOException {
        Path aside = file.resolveSibling(file.getFileName() + ".unreadable");
        Files.move(file, aside, StandardCopyOption.REPLACE_EXISTING);
        return aside;
    }

    /**
     * A dive downloaded again is the one kept: the same start and duration on the same dive
     * computer (the kept maximum depth may have been derived from the samples).
     */
    static String identity(Dive dive) {
        return dive.getStart() + "/" + Math.round(dive.getDiveTime());
    }

    private static void write(Dive dive, StringBuilder text) {
        Gas gas = dive.getGas();
        Cylinder cylinder = dive.getCylinder();
        line(text, "dive", escape(dive.getStart()), Float.toString(dive.getDiveTime()),
                Float.toString(dive.getMaxDepth()), number(dive.getAverageDepth()),
                number(dive.getUsedPressure()), number(dive.getBottomTemperature()),
                gas == null ? NONE : Integer.toString(gas.getOxygenPercent()),
                gas == null ? NONE : Integer.toString(gas.getHeliumPercent()),
                cylinder == null ? NONE : Float.toString(cylinder.getVolume()),
                cylinder == null ? NONE : Float.toString(cylinder.getWorkPressure()));
        column(text, "time", dive.getTimes());
        column(text, "depth", dive.getDepths());
        column(text, "pressure", dive.getPressures());
        column(text, "temperature", dive.getTemperatures());
        column(text, "event", dive.getEvents());
        DiveDetails details = dive.getDetails();
        for (DiveDetails.GasMix mix : details.getGasMixes()) {
            line(text, "gasmix", Float.toString(mix.oxygen()), Float.toString(mix.helium()),
                    Integer.toString(mix.usage()));
        }
        for (DiveDetails.Tank tank : details.getTanks()) {
            line(text, "tank", Integer.toString(tank.gasMix()), Float.toString(tank.volume()),
                    Float.toString(tank.workPressure()), Float.toString(tank.beginPressure()),
                    Float.toString(tank.endPressure()), Integer.toString(tank.volumeType()),
                    Integer.toString(tank.usage()));
        }
        for (float[] pressures : details.getTankPressures()) {
            text.append("tankpressure");
            for (float pressure : pressures) {
                text.append('\t').append(pressure);
            }
            text.append('\n');
        }
        details.getSampleColumns().forEach((name, values) -> {
            text.append("sample\t").append(escape(name));
            for (float value : values) {
                text.append('\t').append(value);
            }
            text.append('\n');
        });
        for (DiveDetails.Event event : details.getEvents()) {
            line(text, "divevent", Integer.toString(event.row()), Integer.toString(event.type()),
                    Integer.toString(event.time()), Integer.toString(event.flags()),
                    Integer.toString(event.value()));
        }
        details.getFields().forEach((name, value) ->
                line(text, "field", escape(name), Double.toString(value)));
    }

    private static void line(StringBuilder text, String kind, String... fields) {
        text.append(kind);
        for (String field : fields) {
            text.append('\t').append(field);
        }
        text.append('\n');
    }

    private static void column(StringBuilder text, String kind, Object[] values) {
        text.append(kind);
        for (Object value : values) {
            text.append('\t').append(value == null ? NONE : value.toString());
        }
        text.append('\n');
    }

    private static String number(Float value) {
        return value == null ? NONE : value.toString();
    }

    /** Gathers one dive's lines and builds the Dive as the bridge would have. */
    private final class DiveReader {
        private final Dive dive;
        private final Map<String, String[]> profile = new LinkedHashMap<>();
        private final List<String[]> gasMixes = new ArrayList<>();
        private final List<String[]> tanks = new ArrayList<>();
        private final List<float[]> tankPressures = new ArrayList<>();
        private final List<String> sampleNames = new ArrayList<>();
        private final List<float[]> sampleColumns = new ArrayList<>();
        private final List<String[]> events = new ArrayList<>();
        private final List<String> fieldNames = new ArrayList<>();
        private final List<Double> fieldValues = new ArrayList<>();

        DiveReader(String[] fields) {
            require(fields, 11);
            Gas gas = fields[7].equals(NONE) ? null
                    : Gas.blendGas(Integer.parseInt(fields[7]), Integer.parseInt(fields[8]));
            Cylinder cylinder = fields[9].equals(NONE) ? null
                    : new Cylinder(Float.parseFloat(fields[9]), Float.parseFloat(fields[10]));
            dive = new Dive(device, unescape(fields[1]), Float.parseFloat(fields[2]),
                    Float.parseFloat(fields[3]), optional(fields[4]), optional(fields[5]),
                    optional(fields[6]), gas, cylinder);
        }

        void add(String[] fields) {
            String[] values = Arrays.copyOfRange(fields, 1, fields.length);
            switch (fields[0]) {
                case "time":
                case "depth":
                case "pressure":
                case "temperature":
                case "event":
                    profile.put(fields[0], values);
                    break;
                case "gasmix":
                    gasMixes.add(require(values, 3));
                    break;
                case "tank":
                    tanks.add(require(values, 7));
                    break;
                case "tankpressure":
                    tankPressures.add(floats(values));
                    break;
                case "sample":
                    require(values, 1);
                    sampleNames.add(unescape(values[0]));
                    sampleColumns.add(floats(Arrays.copyOfRange(values, 1, values.length)));
                    break;
                case "divevent":
                    events.add(require(values, 5));
                    break;
                case "field":
                    require(values, 2);
                    fieldNames.add(unescape(values[0]));
                    fieldValues.add(Double.parseDouble(values[1]));
                    break;
                default:
                    throw new IllegalArgumentException("unknown line " + fields[0]);
            }
        }

        Dive dive() {
            int rows = profile.containsKey("time") ? profile.get("time").length : 0;
            Float[][] columns = new Float[4][];
            String[] names = {"time", "depth", "pressure", "temperature"};
            for (int c = 0; c < names.length; c++) {
                columns[c] = new Float[rows];
                String[] values = profile.getOrDefault(names[c], new String[rows]);
                for (int row = 0; row < rows && row < values.length; row++) {
                    columns[c][row] = optional(values[row]);
                }
            }
            Integer[] codes = new Integer[rows];
            String[] written = profile.getOrDefault("event", new String[rows]);
            for (int row = 0; row < rows && row < written.length; row++) {
                codes[row] = written[row] == null || written[row].equals(NONE) ? null
                        : Integer.valueOf(written[row]);
            }
            dive.setDiveProfileAndUpdate(columns[0], columns[1], columns[2], columns[3], codes);
            if (!gasMixes.isEmpty()) {
                dive.setGasMixes(floats(gasMixes, 0), floats(gasMixes, 1), ints(gasMixes, 2));
            }
            if (!tanks.isEmpty()) {
                dive.setTanks(ints(tanks, 0), floats(tanks, 1), floats(tanks, 2),
                        floats(tanks, 3), floats(tanks, 4), ints(tanks, 5), ints(tanks, 6));
            }
            if (!tankPressures.isEmpty()) {
                dive.setTankPressures(tankPressures.toArray(new float[0][]));
            }
            if (!sampleNames.isEmpty()) {
                dive.setSampleColumns(sampleNames.toArray(new String[0]),
                        sampleColumns.toArray(new float[0][]));
            }
            if (!events.isEmpty()) {
                dive.setEvents(ints(events, 0), ints(events, 1), ints(events, 2), ints(events, 3),
                        ints(events, 4));
            }
            if (!fieldNames.isEmpty()) {
                dive.setDiveFields(fieldNames.toArray(new String[0]),
                        fieldValues.stream().mapToDouble(Double::doubleValue).toArray());
            }
            return dive;
        }
    }

    private static String[] require(String[] values, int count) {
        if (values.length < count) {
            throw new IllegalArgumentException("a line with too few values");
        }
        return values;
    }

    private static Float optional(String value) {
        return value == null || value.equals(NONE) ? null : Float.valueOf(value);
    }

    private static float[] floats(String[] values) {
        float[] parsed = new float[values.length];
        for (int i = 0; i < values.length; i++) {
            parsed[i] = Float.parseFloat(values[i]);
        }
        return parsed;
    }

    private static float[] floats(List<String[]> lines, int index) {
        float[] parsed = new float[lines.size()];
        for (int i = 0; i < parsed.length; i++) {
            parsed[i] = Float.parseFloat(lines.get(i)[index]);
        }
        return parsed;
    }

    private static int[] ints(List<String[]> lines, int index) {
        int[] parsed = new int[lines.size()];
        for (int i = 0; i < parsed.length; i++) {
            parsed[i] = Integer.parseInt(lines.get(i)[index]);
        }
        return parsed;
    }

    /** Texts may hold tabs and line breaks; the start and the names are all that is text. */
    private static String escape(String text) {
        return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")
                .replace("\r", "\\r");
    }

    private static String unescape(String text) {
        StringBuilder plain = new StringBuilder(text.length());
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            if (c == '\\' && i + 1 < text.length()) {
                char next = text.charAt(++i);
                plain.append(next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next);
            } else {
                plain.append(c);
            }
        }
        return plain.toString();
    }

    /**
     * The file's name from the dive computer's texts, readable where they are plain and distinct
     * for distinct texts: '_' separates them, and any other character outside letters, digits, '.'
     * and '-' is written as %XX per byte.
     */
    static String fileName(String vendor, String model, String serial) {
        StringBuilder name = new StringBuilder();
        for (String part : new String[] {vendor, model, serial}) {
            if (name.length() > 0) {
                name.append('_');
            }
            if (part == null) {
                continue;
            }
            for (byte b : part.getBytes(StandardCharsets.UTF_8)) {
                char c = (char) (b & 0xff);
                if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                        || (c == '.' && name.length() > 0) || c == '-') {
                    name.append(c);
                } else {
                    name.append(String.format("%%%02X", b & 0xff));
                }
            }
        }
        return name.toString();
    }
}
