// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;

import coralnote.main.java.core.Cylinder;
import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.Gas;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Set;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Whole downloads from simulated dive computers, every value checked against the image. */
@Tag("download")
class DiveDownloadTest {
    static final String VENDOR = "Heinrichs Weikamp";
    static final String MODEL = "OSTC 3";

    @TempDir Path dir;

    /** Five dives that between them take every road from a parsed dive to a Java dive. */
    private ImageBuilder logbook() {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 4294967295L)
                .journal(dir.resolve("journal.log"));
        image.dive().datetime(2014, 3, 9, 8, 5, 0).field("divetime", 3120).field("maxdepth", 30.5)
                .field("avgdepth", 12.25).field("temperature_minimum", 18.5).gasmix(0.21, 0)
                .tank(0, 1, 12, 232, 200, 50)
                .time(0).depth(1.5).pressure(200).temperature(20)
                .time(10).depth(3.0).temperature(19.5).event(8)
                .time(20).pressure(190)
                .time(30).depth(-0.3).pressure(-1).event(0)
                .time(40).depth(2.0).otherSample(12);
        image.dive().datetime(2020, 12, 31, 23, 59, 59).field("divetime", 2400)
                .field("maxdepth", 18.0).field("temperature_minimum", -1.5).gasmix(0.32, 0)
                .gasmix(0.5, 0)
                .time(0).depth(-0.0).temperature(-1.5)
                .time(10).depth(5.0)
                .time(20).depth(4.0);
        image.dive().datetime(2021, 6, 1, 10, 0, 0).field("divetime", 4200).field("maxdepth", 0.0)
                .field("avgdepth", 0.0).field("temperature_minimum", 0.0).gasmix(0.21, 0)
                .gasmix(0.211, 0.125).tank(1, 0, 11.1, 232, 200, 200).tank(0, 1, 11.1, 232, 210, 100)
                .time(0).depth(10.0).pressure(200, 0).pressure(210, 1)
                .time(10).depth(45.2).pressure(209, 1).pressure(199, 0).temperature(8.0)
                .time(20).depth(30.0).pressure(208, 1);
        image.dive().gasmix(0.0, 0.0);
        image.dive().datetime(2022, 1, 2, 3, 4, 5).field("divetime", 600).field("maxdepth", 12.0)
                .gasmix(0.21, 0).gasmix(0.5, 0).tank(7, 2, 15, 300, 200, 20)
                .time(0).pressure(200)
                .time(10).pressure(190);
        return image;
    }

    @Test
    void downloadsEveryDiveWithItsSummaryAndProfile() throws Exception {
        Path port = logbook().writeTo(dir.resolve("logbook.json"));
        String vendor = new String(VENDOR);
        String model = new String(MODEL);
        Set<Dive> dives = new LinkedHashSet<>();

        Device parent = DeviceConnector.loadUserDivesFromDevice(port.toString(), vendor, model, dives);

        assertSame(vendor, parent.getVendor());
        assertSame(model, parent.getProduct());
        assertEquals("4294967295", parent.getName());
        assertNull(parent.getInterface());
        List<Dive> delivered = new ArrayList<>(dives);
        assertEquals(5, delivered.size());
        for (Dive dive : delivered) {
            assertEquals(parent, dive.getDevice());
        }

        Dive air = delivered.get(0);
        assertSummary(air, "2014-03-09 08:05:00", 3120, 30.5f, 12.25f, 150f, 18.5f,
                Gas.blendGas(21, 0), new Cylinder(12, 232));
        assertProfile(air, new Float[] {0f, 10f, 30f, 40f}, new Float[] {1.5f, 3f, 0f, 2f},
                new Float[] {200f, null, 0f, null}, new Float[] {20f, 19.5f, null, null},
                new Integer[] {null, 8, 0, null});

        Dive nitrox = delivered.get(1);
        assertSummary(nitrox, "2020-12-31 23:59:59", 2400, 18f, null, null, -1.5f,
                Gas.blendGas(32, 0), null);
        assertProfile(nitrox, new Float[] {0f, 10f, 20f}, new Float[] {0f, 5f, 4f},
                new Float[3], new Float[] {-1.5f, null, null}, new Integer[3]);

        // Gas from the mix of the first tank, rounded half up; of twin tanks' pressures each row
        // carries the first tank's, and none where only the second one read.
        Dive trimix = delivered.get(2);
        assertSummary(trimix, "2021-06-01 10:00:00", 4200, 45.2f, null, null, 0f,
                Gas.blendGas(21, 13), null);
        assertProfile(trimix, new Float[] {0f, 10f, 20f}, new Float[] {10f, 45.2f, 30f},
                new Float[] {200f, 199f, null}, new Float[] {null, 8f, null}, new Integer[3]);

        Dive bare = delivered.get(3);
        assertSummary(bare, "0000-00-00 00:00:00", 0, 0, null, null, null, null, null);
        assertProfile(bare, new Float[0], new Float[0], new Float[0], new Float[0], new Integer[0]);

        // A first tank whose mix does not exist gives no gas; rows without depth give no profile.
        Dive depthless = delivered.get(4);
        assertSummary(depthless, "2022-01-02 03:04:05", 600, 12f, null, 180f, null, null,
                new Cylinder(15, 300));
        assertProfile(depthless, new Float[0], new Float[0], new Float[0], new Float[0],
                new Integer[0]);

        assertEquals(List.of("open", "set_events", "set_cancel", "foreach", "close"),
                ImageBuilder.readJournal(dir.resolve("journal.log")));
    }

    @Test
    void aSecondDownloadAddsNoDiveTwice() throws Exception {
        Path port = logbook().writeTo(dir.resolve("logbook.json"));
        Set<Dive> dives = new LinkedHashSet<>();

        DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives);
        List<Dive> first = new ArrayList<>(dives);
        DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives);

        assertEquals(first, new ArrayList<>(dives));
        for (int i = 0; i < first.size(); i++) {
            assertSame(first.get(i), new ArrayList<>(dives).get(i));
        }
    }

    @Test
    void anEmptyDeviceLeavesTheSetAloneAndKeepsAnUnknownSerial() throws Exception {
        Path port = new ImageBuilder(VENDOR, MODEL).writeTo(dir.resolve("empty.json"));
        Dive earlier = new Dive(new Device(VENDOR, MODEL, "1"), "2013-01-01 00:00:00", 60, 5,
                null, null, null, null, null);
        Set<Dive> dives = new LinkedHashSet<>(List.of(earlier));

        Device parent = DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives);

        assertEquals("Unknown", parent.getName());
        assertEquals(List.of(earlier), new ArrayList<>(dives));
    }

    @Test
    void aModelAloneSelectsTheDevice() throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 0);
        image.dive().datetime(2019, 7, 14, 9, 30, 0).field("divetime", 1800).field("maxdepth", 9.5);
        Path port = image.writeTo(dir.resolve("single.json"));
        Set<Dive> dives = new LinkedHashSet<>();

        Device parent = DeviceConnector.loadUserDivesFromDevice(port.toString(), null, "ostc 3", dives);

        assertNull(parent.getVendor());
        assertEquals("ostc 3", parent.getProduct());
        assertEquals("0", parent.getName());
        assertEquals(1, dives.size());
        assertEquals("2019-07-14 09:30:00", dives.iterator().next().getStart());
    }

    static void assertSummary(Dive dive, String start, float diveTime, float maxDepth,
            Float averageDepth, Float usedPressure, Float bottomTemperature, Gas gas,
            Cylinder cylinder) {
        assertAll(dive.getStart(),
                () -> assertEquals(start, dive.getStart()),
                () -> assertEquals(diveTime, dive.getDiveTime()),
                () -> assertEquals(maxDepth, dive.getMaxDepth()),
                () -> assertEquals(averageDepth, dive.getAverageDepth()),
                () -> assertEquals(usedPressure, dive.getUsedPressure()),
                () -> assertEquals(bottomTemperature, dive.getBottomTemperature()),
                () -> assertEquals(gas, dive.getGas()),
                () -> assertEquals(cylinder, dive.getCylinder()));
    }

    /** Compares with Float.equals, so a depth of -0.0 is not taken for the clamped 0.0. */
    static void assertProfile(Dive dive, Float[] times, Float[] depths, Float[] pressures,
            Float[] temperatures, Integer[] events) {
        assertAll(dive.getStart(),
                () -> assertArrayEquals(times, dive.getTimes(), "times"),
                () -> assertArrayEquals(depths, dive.getDepths(), "depths"),
                () -> assertArrayEquals(pressures, dive.getPressures(), "pressures"),
                () -> assertArrayEquals(temperatures, dive.getTemperatures(), "temperatures"),
                () -> assertArrayEquals(events, dive.getEvents(), "events"));
    }
}
