// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static coralnote.bridgetest.DiveDownloadTest.MODEL;
import static coralnote.bridgetest.DiveDownloadTest.VENDOR;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;

import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.DiveDetails;
import coralnote.main.java.core.DiveDetails.Event;
import coralnote.main.java.core.DiveDetails.GasMix;
import coralnote.main.java.core.DiveDetails.Tank;
import coralnote.main.java.core.exceptions.NativeException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * What a dive computer recorded beyond a dive's own values, through the optional Dive methods:
 * every value in its row and column, as each libdivecomputer release reports it.
 */
@Tag("download")
class DiveDetailsTest {
    private static final String RELEASE = System.getProperty("divebridge.release");
    private static final boolean RELEASE_0_9 = RELEASE.equals("0.9");
    private static final boolean DECO_MODEL = !RELEASE.equals("0.6");
    private static final float NONE = Float.NaN;

    @TempDir Path dir;

    private static Map<String, Object> deco(int type, int time, double depth, int tts) {
        return Map.of("deco", type, "time", time, "depth", depth, "tts", tts);
    }

    private static Map<String, Object> ppo2(double value, long sensor) {
        return Map.of("ppo2", value, "sensor", sensor);
    }

    /**
     * A trimix dive with a stage: three gases, two tanks read in alternation, gas switches, deco
     * stops, an event before the first time sample and one in a row without depth (which the
     * profile drops, so the event goes to the row before it).
     */
    private static void technicalDive(ImageBuilder image) {
        image.dive().datetime(2024, 5, 1, 9, 0, 0).field("divetime", 3000).field("maxdepth", 30.0)
                .field("divemode", 2).field("salinity", Map.of("type", 1, "density", 1025.0))
                .field("atmospheric", 1.013).field("temperature_surface", 28.0)
                .field("temperature_maximum", 29.5)
                .field("decomodel",
                        Map.of("type", 1, "conservatism", -1, "gf_low", 30, "gf_high", 85))
                .field("location", Map.of("latitude", 12.5, "longitude", -70.0, "altitude", 3.5))
                .gasmix(0.21, 0.35).gasmix(0.5, 0).gasmix(1.0, 0, 1)
                .tank(0, 1, 12, 232, 210, 60).tank(1, 1, 7, 200, 200, 120, 3)
                .event(8)
                .time(0).depth(1.0).pressure(210, 0).sample(Map.of("gasmix", 0))
                .sample(deco(0, 600, 0, 0))
                .time(10).depth(30.0).pressure(200, 1).sample(Map.of("cns", 0.05))
                .time(20).sample(Map.of("cns", 0.10))
                .sample(Map.of("event", 11, "time", 0, "flags", 0, "value", 50))
                .time(30).depth(21.0).sample(Map.of("gasmix", 1)).pressure(180, 1).pressure(190, 0)
                .sample(deco(2, 120, 21.0, 900))
                .time(40).depth(6.0).sample(Map.of("gasmix", 2)).sample(deco(2, 300, 6.0, 400))
                .sample(Map.of("heartbeat", 80)).sample(Map.of("bearing", 270))
                .sample(Map.of("rbt", 12))
                .sample(Map.of("event", 25, "time", 40, "flags", 1, "value", 100));
    }

    /** A closed-circuit rebreather: three oxygen sensors, a value of no sensor, the setpoint. */
    private static void rebreatherDive(ImageBuilder image) {
        image.dive().datetime(2024, 5, 2, 9, 0, 0).field("divetime", 1200).field("maxdepth", 20.0)
                .field("divemode", 3).gasmix(1.0, 0, 1).gasmix(0.21, 0, 2)
                .time(0).depth(5.0).sample(Map.of("setpoint", 0.7)).sample(ppo2(0.69, 0))
                .sample(ppo2(0.70, 1)).sample(ppo2(0.71, 2))
                .time(10).depth(20.0).sample(Map.of("setpoint", 1.3)).sample(ppo2(1.28, 0))
                .sample(ppo2(1.31, 1)).sample(ppo2(1.30, 2)).sample(ppo2(1.30, 0xFFFFFFFFL));
    }

    private List<Dive> download(ImageBuilder image) throws Exception {
        Path port = image.writeTo(dir.resolve("logbook.json"));
        Set<Dive> dives = new LinkedHashSet<>();
        DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives);
        return new ArrayList<>(dives);
    }

    private static Dive startingAt(List<Dive> dives, String start) {
        return dives.stream().filter(dive -> dive.getStart().equals(start)).findFirst()
                .orElseThrow();
    }

    private static void assertColumns(Map<String, float[]> expected, Map<String, float[]> actual) {
        assertEquals(List.copyOf(expected.keySet()), List.copyOf(actual.keySet()));
        expected.forEach((name, column) -> assertArrayEquals(column, actual.get(name), 1e-6f, name));
    }

    @Test
    void everyValueArrivesInItsRowAndColumn() throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 6001);
        technicalDive(image);
        rebreatherDive(image);
        List<Dive> dives = download(image);
        assertEquals(2, dives.size());

        Dive technical = startingAt(dives, "2024-05-01 09:00:00");
        DiveDetails details = technical.getDetails();
        // The dive's own values stay as they were: one gas, the first tank's pressure column.
        assertEquals("Tx21/35", technical.getGas().toString());
        assertArrayEquals(new Float[] {210f, null, 190f, null}, technical.getPressures());
        int oxygenUse = RELEASE_0_9 ? 1 : 0;
        assertEquals(List.of(new GasMix(21, 35, 0), new GasMix(50, 0, 0),
                             new GasMix(100, 0, oxygenUse)),
                details.getGasMixes());
        assertEquals(List.of(new Tank(0, 12, 232, 210, 60, 1, 0),
                             new Tank(1, 7, 200, 200, 120, 1, RELEASE_0_9 ? 3 : 0)),
                details.getTanks());
        float[][] pressures = details.getTankPressures();
        assertEquals(2, pressures.length);
        assertArrayEquals(new float[] {210, NONE, 190, NONE}, pressures[0]);
        assertArrayEquals(new float[] {NONE, 200, 180, NONE}, pressures[1]);

        Map<String, float[]> columns = new LinkedHashMap<>();
        columns.put("gasmix", new float[] {0, NONE, 1, 2});
        columns.put("deco.type", new float[] {0, NONE, 2, 2});
        columns.put("deco.depth", new float[] {0, NONE, 21, 6});
        columns.put("deco.time", new float[] {600, NONE, 120, 300});
        if (RELEASE_0_9) {
            columns.put("deco.tts", new float[] {0, NONE, 900, 400});
        }
        columns.put("cns", new float[] {NONE, 0.05f, NONE, NONE});
        columns.put("heartbeat", new float[] {NONE, NONE, NONE, 80});
        columns.put("bearing", new float[] {NONE, NONE, NONE, 270});
        columns.put("rbt", new float[] {NONE, NONE, NONE, 12});
        assertColumns(columns, details.getSampleColumns());

        assertEquals(List.of(new Event(-1, 8, 0, 0, 0), new Event(1, 11, 0, 0, 50),
                             new Event(3, 25, 40, 1, 100)),
                details.getEvents());

        Map<String, Double> fields = new LinkedHashMap<>();
        fields.put("divemode", 2.0);
        fields.put("salinity.type", 1.0);
        fields.put("salinity.density", 1025.0);
        fields.put("atmospheric", 1.013);
        fields.put("temperature.surface", 28.0);
        fields.put("temperature.maximum", 29.5);
        if (DECO_MODEL) {
            fields.put("decomodel.type", 1.0);
            fields.put("decomodel.conservatism", -1.0);
            fields.put("decomodel.gf.low", 30.0);
            fields.put("decomodel.gf.high", 85.0);
        }
        if (RELEASE_0_9) {
            fields.put("location.latitude", 12.5);
            fields.put("location.longitude", -70.0);
            fields.put("location.altitude", 3.5);
        }
        assertEquals(fields, details.getFields());

        DiveDetails rebreather = startingAt(dives, "2024-05-02 09:00:00").getDetails();
        assertEquals(List.of(new GasMix(100, 0, oxygenUse), new GasMix(21, 0, RELEASE_0_9 ? 2 : 0)),
                rebreather.getGasMixes());
        Map<String, float[]> sensors = new LinkedHashMap<>();
        // Before 0.9 a value names no sensor: the N-th of its row is ppo2.N.
        if (RELEASE_0_9) {
            sensors.put("ppo2", new float[] {NONE, 1.30f});
        }
        sensors.put("ppo2.0", new float[] {0.69f, 1.28f});
        sensors.put("ppo2.1", new float[] {0.70f, 1.31f});
        sensors.put("ppo2.2", new float[] {0.71f, 1.30f});
        if (!RELEASE_0_9) {
            sensors.put("ppo2.3", new float[] {NONE, 1.30f});
        }
        sensors.put("setpoint", new float[] {0.7f, 1.3f});
        assertColumns(sensors, rebreather.getSampleColumns());
        assertEquals(0, rebreather.getTankPressures().length);
        assertEquals(List.of(), rebreather.getEvents());
        assertEquals(Map.of("divemode", 3.0), rebreather.getFields());
    }

    @Test
    void aMethodThatThrowsEndsTheDownloadWithTheDivesBeforeIt() throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 6002);
        image.dive().datetime(2024, 6, 1, 9, 0, 0).gasmix(0.21, 0).time(0).depth(3.0);
        // The host refuses an impossible mix; the bridge hands it over as the parser read it.
        image.dive().datetime(2024, 6, 2, 9, 0, 0).gasmix(0.21, 0).gasmix(1.5, 0).time(0).depth(3.0);
        image.dive().datetime(2024, 6, 3, 9, 0, 0).gasmix(0.21, 0).time(0).depth(3.0);
        Path port = image.writeTo(dir.resolve("refused.json"));
        Set<Dive> dives = new LinkedHashSet<>();

        NativeException thrown = assertThrows(NativeException.class,
                () -> DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives));
        assertEquals("Could not hand the dive's details to the application.", thrown.getMessage());
        assertInstanceOf(IllegalArgumentException.class, thrown.getCause());
        assertEquals(List.of("2024-06-01 09:00:00"),
                dives.stream().map(Dive::getStart).toList());
    }
}
