// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static coralnote.bridgetest.DiveDownloadTest.MODEL;
import static coralnote.bridgetest.DiveDownloadTest.VENDOR;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.exceptions.CommunicationException;
import coralnote.main.java.core.exceptions.NativeException;
import coralnote.main.java.core.exceptions.UnknownDeviceException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicLong;
import java.util.function.Consumer;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * Thousands of downloads in one JVM, alternating success with every kind of failure: resident
 * memory stays flat once the JVM has warmed up, and no libdivecomputer handle outlives its call.
 */
@Tag("soak")
class SoakTest {
    private static final int DOWNLOADS = 10_000;
    private static final int WARM_UP = 2_000;
    private static final double ALLOWED_GROWTH = 0.10;
    private static final int DIVES = 3;

    @TempDir Path dir;

    /** One kind of download: its port and vendor, and the exception it must end in (or none). */
    private record Scenario(String name, String port, String vendor,
            Class<? extends NativeException> failure, String message) {
        void run(Set<Dive> dives) {
            try {
                Device parent = DeviceConnector.loadUserDivesFromDevice(port, vendor, MODEL, dives);
                assertNull(failure, name + " succeeded");
                assertEquals("31337", parent.getName(), name);
            } catch (NativeException thrown) {
                assertSame(failure, thrown.getClass(), name + ": " + thrown);
                assertEquals(message, thrown.getMessage(), name);
            }
        }
    }

    private final List<Scenario> scenarios = new ArrayList<>();
    private int images;

    /** A logbook of three dives with gas, tank and samples; {@code change} may break it. */
    private String logbook(Consumer<ImageBuilder> change) throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 31337);
        for (int day = 1; day <= DIVES; day++) {
            ImageBuilder.DiveBuilder dive = image.dive().datetime(2023, 7, day, 9, 0, 0)
                    .field("divetime", 2400).field("maxdepth", 18.0).field("avgdepth", 9.5)
                    .field("temperature_minimum", 21.0).gasmix(0.32, 0)
                    .tank(0, 1, 12, 232, 200, 60 + day)
                    .field("generate", Map.of("rows", 120, "interval", 10, "maxdepth", 18.0,
                            "pressure", List.of(200, 60), "temperature", 21.0));
            dive.event(8);
        }
        change.accept(image);
        return image.writeTo(dir.resolve("image-" + images++ + ".json")).toString();
    }

    private String faultyDive(String call, Object status) throws Exception {
        return logbook(image -> image.dive().datetime(2023, 7, 9, 9, 0, 0).time(0).depth(1.0)
                .fault(call, status));
    }

    private void success(String name, String port) {
        scenarios.add(new Scenario(name, port, VENDOR, null, null));
    }

    private void failure(String name, String port, Class<? extends NativeException> type,
            String message) {
        scenarios.add(new Scenario(name, port, VENDOR, type, message));
    }

    @BeforeEach
    void writeScenarios() throws Exception {
        String good = logbook(image -> {});
        String missing = dir.resolve("missing.json").toString();
        Path garbage = Files.writeString(dir.resolve("garbage.json"), "{\"vendor\": [");
        List<Scenario> failures = new ArrayList<>();
        failures.add(new Scenario("unknown device", good, "Nobody", UnknownDeviceException.class,
                "No matching device found: vendor='Nobody', model='" + MODEL + "', port='" + good
                        + "'"));
        failures.add(new Scenario("no device", missing, VENDOR, CommunicationException.class,
                "[-4]: Error opening device."));
        failures.add(new Scenario("garbage image", garbage.toString(), VENDOR,
                CommunicationException.class, "[-6]: Error opening device."));
        failures.add(new Scenario("open fault", logbook(image -> image.fault("open", -8)), VENDOR,
                CommunicationException.class, "[-8]: Error opening device."));
        failures.add(new Scenario("events fault", logbook(image -> image.fault("set_events", -3)),
                VENDOR, NativeException.class, "[-3]: Error registering the event handler."));
        failures.add(new Scenario("cancel fault", logbook(image -> image.fault("set_cancel", -2)),
                VENDOR, NativeException.class, "[-2]: Error registering the cancellation handler."));
        failures.add(new Scenario("transfer fault",
                logbook(image -> image.fault("foreach", -7).fault("foreach_after", 2)), VENDOR,
                CommunicationException.class, "[-7]: Error downloading the dives."));
        failures.add(new Scenario("parser fault", faultyDive("parser_new", -3), VENDOR,
                NativeException.class, "[-3]: Error creating the parser."));
        failures.add(new Scenario("data fault", faultyDive("set_data", -9), VENDOR,
                NativeException.class, "[-9]: Error registering the data."));
        failures.add(new Scenario("date fault", faultyDive("datetime", -9), VENDOR,
                NativeException.class, "[-9]: Error parsing the datetime."));
        failures.add(new Scenario("gas mix fault", faultyDive("gasmix_count", -8), VENDOR,
                NativeException.class, "[-8]: Error parsing the gas mix count."));
        failures.add(new Scenario("tank fault", faultyDive("tank_count", -6), VENDOR,
                NativeException.class, "[-6]: Error parsing the tank count."));
        failures.add(new Scenario("samples fault", logbook(image -> image.dive().time(0).depth(1.0)
                .time(10).fault("samples_foreach", -9).fault("samples_after", 2)), VENDOR,
                NativeException.class, "[-9]: Error parsing the sample data."));
        failures.add(new Scenario("host refuses the gas",
                logbook(image -> image.dive().gasmix(0.9, 0.5).time(0).depth(1.0)), VENDOR,
                NativeException.class, "Could not create gas."));
        failures.add(new Scenario("host refuses the profile",
                logbook(image -> image.dive().time(10).depth(1.0).time(0).depth(2.0)), VENDOR,
                NativeException.class, "Could not set dive profile."));
        // Failures that only print a line: the download itself succeeds.
        success("close fault", logbook(image -> image.fault("close", -6)));
        success("destroy fault", faultyDive("destroy", -6));
        for (Scenario failure : failures) {
            success("plain", good);
            scenarios.add(failure);
        }
    }

    private static long residentAfterCollection() throws Exception {
        System.gc();
        Thread.sleep(100);
        return SimulatorHooks.residentKiB();
    }

    @Test
    void tenThousandDownloadsKeepResidentMemoryFlat() throws Exception {
        long warmedUp = 0;
        long start = System.nanoTime();
        for (int i = 0; i < DOWNLOADS; i++) {
            if (i == WARM_UP) {
                warmedUp = residentAfterCollection();
            }
            Scenario scenario = scenarios.get(i % scenarios.size());
            Set<Dive> dives = new LinkedHashSet<>();
            scenario.run(dives);
            if (scenario.failure() == null) {
                assertTrue(dives.size() >= DIVES, scenario.name());
            }
            if (i % 100 == 0) {
                assertEquals(0, SimulatorHooks.liveHandles(), "after download " + i);
            }
        }
        long finished = residentAfterCollection();
        double seconds = (System.nanoTime() - start) / 1e9;

        System.err.printf("soak: %d downloads of %d kinds in %.1f s; resident %d KiB after %d, "
                        + "%d KiB at the end (%+.1f %%); live handles %d%n",
                DOWNLOADS, scenarios.size(), seconds, warmedUp, WARM_UP, finished,
                100.0 * (finished - warmedUp) / warmedUp, SimulatorHooks.liveHandles());
        assertEquals(0, SimulatorHooks.liveHandles());
        assertTrue(finished <= warmedUp * (1 + ALLOWED_GROWTH),
                "resident memory grew from " + warmedUp + " KiB to " + finished + " KiB");
    }

    /**
     * Downloads on several threads at once while other threads list the devices and interrupt
     * without pause: an interrupt may cut any download short (the flag is process-wide), so a
     * download ends in a prefix of its dives or in its own failure, never in anything else.
     */
    @Test
    void downloadsOnSeveralThreadsBesideListingsAndInterrupts() throws Exception {
        int threads = 4;
        int downloadsPerThread = 150;
        AtomicBoolean running = new AtomicBoolean(true);
        AtomicLong listings = new AtomicLong();
        AtomicLong interrupts = new AtomicLong();
        ExecutorService pool = Executors.newFixedThreadPool(threads + 2);
        try {
            Future<?> lister = pool.submit(() -> {
                while (running.get()) {
                    assertFalse(DeviceConnector.getSupportedDevices().isEmpty());
                    listings.incrementAndGet();
                }
                return null;
            });
            Future<?> interrupter = pool.submit(() -> {
                while (running.get()) {
                    DeviceConnector.interruptDeviceDownload();
                    interrupts.incrementAndGet();
                    Thread.onSpinWait();
                }
            });
            List<Future<?>> downloads = new ArrayList<>();
            for (int t = 0; t < threads; t++) {
                int offset = t;
                downloads.add(pool.submit(() -> {
                    for (int i = 0; i < downloadsPerThread; i++) {
                        runInterruptible(scenarios.get((offset + i) % scenarios.size()));
                    }
                    return null;
                }));
            }
            for (Future<?> download : downloads) {
                download.get(10, TimeUnit.MINUTES);
            }
            running.set(false);
            lister.get(1, TimeUnit.MINUTES);
            interrupter.get(1, TimeUnit.MINUTES);
        } finally {
            running.set(false);
            pool.shutdownNow();
            assertTrue(pool.awaitTermination(1, TimeUnit.MINUTES));
        }
        System.err.printf("soak: %d downloads on %d threads beside %d listings and %d interrupts%n",
                threads * downloadsPerThread, threads, listings.get(), interrupts.get());
        assertEquals(0, SimulatorHooks.liveHandles());
        assertTrue(listings.get() > 0 && interrupts.get() > 0);
    }

    /**
     * A scenario whose failure an interrupt may pre-empt: it then ends with fewer dives, or, when
     * the stop came before the device was open, with none and no serial.
     */
    private static void runInterruptible(Scenario scenario) {
        Set<Dive> dives = new LinkedHashSet<>();
        try {
            Device parent = DeviceConnector.loadUserDivesFromDevice(scenario.port(),
                    scenario.vendor(), MODEL, dives);
            if (parent.getName().equals("Unknown")) {
                assertTrue(dives.isEmpty(), scenario.name());
                return;
            }
            assertEquals("31337", parent.getName(), scenario.name());
            List<String> starts = new ArrayList<>();
            dives.forEach(dive -> starts.add(dive.getStart()));
            for (int i = 0; i < starts.size() && i < DIVES; i++) {
                assertEquals(String.format("2023-07-%02d 09:00:00", i + 1), starts.get(i));
            }
        } catch (NativeException thrown) {
            assertSame(scenario.failure(), thrown.getClass(), scenario.name() + ": " + thrown);
            assertEquals(scenario.message(), thrown.getMessage(), scenario.name());
        }
    }
}
