// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/** Writes a dive computer image for the simulated libdivecomputer: the JSON the port names. */
final class ImageBuilder {
    private final Map<String, Object> image = new LinkedHashMap<>();
    private final Map<String, Object> faults = new LinkedHashMap<>();
    private final List<Object> dives = new ArrayList<>();

    ImageBuilder(String vendor, String product) {
        image.put("vendor", vendor);
        image.put("product", product);
        image.put("faults", faults);
        image.put("dives", dives);
    }

    ImageBuilder devinfo(long model, long firmware, long serial) {
        image.put("devinfo", Map.of("model", model, "firmware", firmware, "serial", serial));
        return this;
    }

    ImageBuilder journal(Path journal) {
        image.put("journal", journal.toString());
        return this;
    }

    ImageBuilder delayMs(int delay) {
        image.put("delay_ms", delay);
        return this;
    }

    /**
     * Paces the transfer as a real dive computer: the dives' bytes move in blocks of
     * {@code blockSize} bytes, each after {@code blockDelayMs} and a question to the cancel
     * callback; with {@code memoryFirst} all blocks move before the first dive is handed out.
     */
    ImageBuilder transfer(int blockSize, int blockDelayMs, boolean memoryFirst) {
        image.put("transfer", Map.of("block_size", blockSize, "block_delay_ms", blockDelayMs,
                                     "memory_first", memoryFirst));
        return this;
    }

    /** The PIN a Bluetooth dive computer shows before it hands over a dive. */
    ImageBuilder pinCode(String pin) {
        image.put("pin_code", pin);
        return this;
    }

    /** A line the device logs at {@code level} (1 error to 4 debug) as a download starts. */
    ImageBuilder log(int level, String text) {
        return logLine(Map.of("level", level, "text", text));
    }

    /** The same with the line's bytes in hex, so that they need not be UTF-8. */
    ImageBuilder logBytes(int level, String hex) {
        return logLine(Map.of("level", level, "hex", hex));
    }

    @SuppressWarnings("unchecked")
    private ImageBuilder logLine(Map<String, Object> line) {
        ((List<Object>) image.computeIfAbsent("log", key -> new ArrayList<>())).add(line);
        return this;
    }

    /** Makes a device call ("open", "set_events", "foreach", ...) answer {@code status}. */
    ImageBuilder fault(String call, Object status) {
        faults.put(call, status);
        return this;
    }

    /** Appends a dive and returns it for filling. */
    DiveBuilder dive() {
        DiveBuilder dive = new DiveBuilder();
        dives.add(dive.fields);
        return dive;
    }

    Path writeTo(Path file) throws IOException {
        return Files.writeString(file, toJson(image), StandardCharsets.UTF_8);
    }

    /** One dive: its summary fields, lists, sample stream and parser faults. */
    static final class DiveBuilder {
        private final Map<String, Object> fields = new LinkedHashMap<>();
        private final List<Object> gasmixes = new ArrayList<>();
        private final List<Object> tanks = new ArrayList<>();
        private final List<Object> samples = new ArrayList<>();
        private final Map<String, Object> faults = new LinkedHashMap<>();

        private DiveBuilder() {
            fields.put("gasmixes", gasmixes);
            fields.put("tanks", tanks);
            fields.put("samples", samples);
            fields.put("faults", faults);
        }

        DiveBuilder datetime(int year, int month, int day, int hour, int minute, int second) {
            fields.put("datetime", Map.of("year", year, "month", month, "day", day, "hour", hour,
                                          "minute", minute, "second", second, "timezone", 0));
            return this;
        }

        /** A summary field: divetime, maxdepth, avgdepth, temperature_minimum, ... */
        DiveBuilder field(String name, Object value) {
            fields.put(name, value);
            return this;
        }

        DiveBuilder gasmix(double oxygen, double helium) {
            gasmixes.add(Map.of("oxygen", oxygen, "helium", helium));
            return this;
        }

        /** A gas mix with its use (libdivecomputer's dc_usage_t, reported from 0.9 on). */
        DiveBuilder gasmix(double oxygen, double helium, int usage) {
            gasmixes.add(Map.of("oxygen", oxygen, "helium", helium, "usage", usage));
            return this;
        }

        DiveBuilder tank(int gasmix, int volumeType, double volume, double workPressure,
                double beginPressure, double endPressure) {
            return tank(gasmix, volumeType, volume, workPressure, beginPressure, endPressure, 0);
        }

        DiveBuilder tank(int gasmix, int volumeType, double volume, double workPressure,
                double beginPressure, double endPressure, int usage) {
            Map<String, Object> tank = new LinkedHashMap<>();
            tank.put("usage", usage);
            tank.put("gasmix", gasmix);
            tank.put("type", volumeType);
            tank.put("volume", volume);
            tank.put("workpressure", workPressure);
            tank.put("beginpressure", beginPressure);
            tank.put("endpressure", endPressure);
            tanks.add(tank);
            return this;
        }

        DiveBuilder time(long seconds) {
            return sample("time", seconds);
        }

        DiveBuilder depth(double metres) {
            return sample("depth", metres);
        }

        DiveBuilder pressure(double bar) {
            return sample("pressure", bar);
        }

        /** A pressure of the tank numbered {@code tank} (the first is 0). */
        DiveBuilder pressure(double bar, int tank) {
            samples.add(Map.of("pressure", bar, "tank", tank));
            return this;
        }

        DiveBuilder temperature(double celsius) {
            return sample("temperature", celsius);
        }

        DiveBuilder event(int type) {
            return sample("event", type);
        }

        /** A sample in the image's own form, e.g. {"ppo2": 1.3, "sensor": 2}. */
        DiveBuilder sample(Map<String, Object> sample) {
            samples.add(sample);
            return this;
        }

        /** A sample of a kind delivered with a zeroed value (vendor, ...). */
        DiveBuilder otherSample(int type) {
            return sample("type", type);
        }

        /** Makes a parser call answer {@code status}; "gasmix" and "tank" take index maps. */
        DiveBuilder fault(String call, Object status) {
            faults.put(call, status);
            return this;
        }

        private DiveBuilder sample(String kind, Object value) {
            samples.add(Map.of(kind, value));
            return this;
        }
    }

    /** The device calls the simulator journaled for an image, one per line; empty if none. */
    static List<String> readJournal(Path journal) throws IOException {
        return Files.exists(journal) ? Files.readAllLines(journal) : List.of();
    }

    static String toJson(Object value) {
        StringBuilder json = new StringBuilder();
        appendJson(json, value);
        return json.toString();
    }

    private static void appendJson(StringBuilder json, Object value) {
        if (value instanceof Map) {
            json.append('{');
            String separator = "";
            for (Map.Entry<?, ?> entry : ((Map<?, ?>) value).entrySet()) {
                json.append(separator);
                appendString(json, entry.getKey().toString());
                json.append(':');
                appendJson(json, entry.getValue());
                separator = ",";
            }
            json.append('}');
        } else if (value instanceof List) {
            json.append('[');
            String separator = "";
            for (Object element : (List<?>) value) {
                json.append(separator);
                appendJson(json, element);
                separator = ",";
            }
            json.append(']');
        } else if (value instanceof Double && !Double.isFinite((Double) value)) {
            // JSON has no NaN or infinity; the simulator reads them as text.
            double number = (Double) value;
            appendString(json, Double.isNaN(number) ? "nan" : number > 0 ? "inf" : "-inf");
        } else if (value instanceof String) {
            appendString(json, (String) value);
        } else {
            json.append(value);
        }
    }

    private static void appendString(StringBuilder json, String text) {
        json.append('"');
        for (char c : text.toCharArray()) {
            if (c == '"' || c == '\\') {
                json.append('\\').append(c);
            } else if (c < 0x20) {
                json.append(String.format("\\u%04x", (int) c));
            } else {
                json.append(c);
            }
        }
        json.append('"');
    }
}
