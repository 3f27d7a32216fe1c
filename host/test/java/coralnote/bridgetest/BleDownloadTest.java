// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.exceptions.CommunicationException;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Downloads over Bluetooth LE, through BlueZ on a private bus, from the fake BlueZ's devices. */
@Tag("ble")
class BleDownloadTest {
    static final String VENDOR = "Shearwater";
    static final String MODEL = "Perdix";
    static final String ADDRESS = "F0:11:22:33:44:55";
    static final Path REEF_WEEK =
            Path.of(System.getProperty("divebridge.examples"), "reef-week.json");
    // Release 0.9 tells which advertised names are a model's; before it, a scan cannot choose.
    static final boolean SCANS = System.getProperty("divebridge.release").equals("0.9");

    @TempDir Path dir;

    static Set<Dive> download(String port) throws Exception {
        Set<Dive> dives = new LinkedHashSet<>();
        DeviceConnector.loadUserDivesFromDevice(port, VENDOR, MODEL, dives);
        return dives;
    }

    private FakeBlueZ fake(Map<String, Object> device) throws IOException {
        return new FakeBlueZ(dir, FakeBlueZ.config(null, device));
    }

    private CompletableFuture<Set<Dive>> startDownload(String port) {
        return CompletableFuture.supplyAsync(() -> {
            try {
                return download(port);
            } catch (Exception e) {
                throw new IllegalStateException(e);
            }
        });
    }

    /**
     * The same dives as from the image's file, whichever way the device is found and whatever its
     * GATT layout: the characteristics are chosen by the known services, by flags or by name, and
     * the OSTC's module sends only against credits.
     */
    @Test
    void aBleDownloadBringsTheDivesOfTheImageItServes() throws Exception {
        Set<Dive> fromFile = download(REEF_WEEK.toString());
        for (String layout : List.of("shearwater", "suunto", "telit", "halcyon", "mclean")) {
            try (FakeBlueZ bluez = fake(FakeBlueZ.device(ADDRESS, "Perdix", REEF_WEEK, layout,
                         "interval_ms", 1, "firmware_service", true))) {
                assertEquals(fromFile, download("LE:" + ADDRESS.toLowerCase()), layout);
                assertTrue(bluez.clean(), bluez.describe());
                assertEquals(1, bluez.journal("disconnected").size());
                assertTrue(bluez.journal("disconnected").get(0).contains("\"by\": \"Disconnect\""));
            }
        }
    }

    /**
     * BlueZ takes a link down 2 s after Disconnect and meanwhile hands it to a Connect: a download
     * right after another waits for the old link to go and gets a link of its own. An LE
     * connection that aborts, as BlueZ reports so many, is tried again.
     */
    @Test
    void aDownloadRightAfterAnotherAndOneWhoseConnectionAbortsBringEveryDive() throws Exception {
        Set<Dive> fromFile = download(REEF_WEEK.toString());
        try (FakeBlueZ bluez = fake(FakeBlueZ.device(ADDRESS, "Perdix", REEF_WEEK, "shearwater",
                     "interval_ms", 1, "faults", Map.of("connect_aborts", 1)))) {
            assertEquals(fromFile, download("LE:" + ADDRESS));
            assertEquals(fromFile, download("LE:" + ADDRESS));
            assertTrue(bluez.clean(), bluez.describe());
            assertEquals(1, bluez.journal("connect_failed").size());
            List<String> links = bluez.journal("connected");
            List<String> drops = bluez.journal("disconnected");
            assertEquals(2, links.size());
            assertEquals(2, drops.size());
            assertTrue(time(drops.get(0)) <= time(links.get(1)),
                    "the second link came before the first went: " + drops + " " + links);
        }
    }

    private static double time(String journalLine) {
        return Double.parseDouble(journalLine.replaceAll(".*\"t\": ([0-9.]+).*", "$1"));
    }

    /**
     * An application that ended in the middle of a download leaves its link up (BlueZ keeps it),
     * and a connected dive computer no longer advertises: it is found by name and by address all
     * the same.
     */
    @Test
    void aDiveComputerLeftConnectedIsFoundByNameAndByAddress() throws Exception {
        Set<Dive> fromFile = download(REEF_WEEK.toString());
        try (FakeBlueZ bluez = fake(FakeBlueZ.device(ADDRESS, "Perdix 0042", REEF_WEEK,
                     "shearwater", "interval_ms", 1))) {
            List<String> ports = SCANS ? List.of("", "LE:" + ADDRESS) : List.of("LE:" + ADDRESS);
            for (String port : ports) {
                connectAndLeave();
                assertEquals(fromFile, download(port), port);
            }
            assertTrue(bluez.clean(), bluez.describe());
        }
    }

    /** Connects the device from a client that then leaves the bus, as a killed application. */
    private static void connectAndLeave() throws Exception {
        Process client = new ProcessBuilder("dbus-send", "--system", "--print-reply",
                "--dest=org.bluez", "/org/bluez/hci0/dev_" + ADDRESS.replace(':', '_'),
                "org.bluez.Device1.Connect").inheritIO().start();
        assertEquals(0, client.waitFor(), "dbus-send Connect");
    }

    /** An empty port text scans for the first device whose advertised name fits the model. */
    @Test
    void anEmptyPortFindsTheDiveComputerByItsName() throws Exception {
        try (FakeBlueZ bluez = new FakeBlueZ(dir, FakeBlueZ.config(null,
                     FakeBlueZ.device("C0:00:00:00:00:01", "Perdix 2 1A2B", REEF_WEEK,
                             "shearwater", "faults", Map.of("undiscovered", true)),
                     FakeBlueZ.device(ADDRESS, "Perdix 0042", REEF_WEEK, "shearwater",
                             "interval_ms", 1, "faults", Map.of("undiscovered", true))))) {
            if (!SCANS) {
                CommunicationException thrown =
                        assertThrows(CommunicationException.class, () -> download(""));
                assertTrue(thrown.getMessage().contains("needs its address"), thrown.getMessage());
                return;
            }
            assertEquals(download(REEF_WEEK.toString()), download(""));
            assertEquals(1, bluez.journal("connected").size());
            assertTrue(bluez.journal("connected").get(0).contains(ADDRESS));
            assertTrue(bluez.journal("discovery_stopped").get(0).contains("StopDiscovery"));
            assertTrue(bluez.clean(), bluez.describe());
        }
    }

    /**
     * A stop while the bridge scans, connects or waits for a notification ends the call at once
     * as a stopped download, and leaves BlueZ as it found it.
     */
    @Test
    void aStopEndsTheScanTheConnectionAndTheTransferAtOnce() throws Exception {
        Map<String, Map<String, Object>> phases = new java.util.LinkedHashMap<>();
        phases.put("scan", FakeBlueZ.device(ADDRESS, "Perdix", REEF_WEEK, "shearwater",
                "discovery_delay_ms", 60000, "faults", Map.of("undiscovered", true)));
        phases.put("connection", FakeBlueZ.device(ADDRESS, "Perdix", REEF_WEEK, "shearwater",
                "connect_delay_ms", 60000));
        phases.put("transfer", FakeBlueZ.device(ADDRESS, "Perdix", REEF_WEEK, "shearwater",
                "interval_ms", 50));
        for (Map.Entry<String, Map<String, Object>> phase : phases.entrySet()) {
            try (FakeBlueZ bluez = fake(phase.getValue())) {
                CountDownLatch transferring = new CountDownLatch(3);
                DeviceConnector.setDownloadProgressListener((current, max) -> transferring.countDown());
                try {
                    CompletableFuture<Set<Dive>> download = startDownload("LE:" + ADDRESS);
                    if (phase.getKey().equals("transfer")) {
                        assertTrue(transferring.await(20, TimeUnit.SECONDS));
                    } else {
                        Thread.sleep(1000);
                    }
                    long asked = System.nanoTime();
                    DeviceConnector.interruptDeviceDownload();
                    Set<Dive> dives = download.get(20, TimeUnit.SECONDS);
                    long stoppedMs = TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - asked);

                    assertTrue(dives.isEmpty(), phase.getKey());
                    assertTrue(stoppedMs < 1000, phase.getKey() + " stopped after " + stoppedMs);
                    assertTrue(bluez.clean(), phase.getKey() + ": " + bluez.state());
                } finally {
                    DeviceConnector.setDownloadProgressListener(null);
                }
            }
        }
    }

    private String failureOf(Map<String, Object> config, String port) throws Exception {
        try (FakeBlueZ bluez = new FakeBlueZ(dir, config)) {
            CommunicationException thrown =
                    assertThrows(CommunicationException.class, () -> download(port));
            assertTrue(bluez.clean(), bluez.describe());
            return thrown.getMessage();
        }
    }

    /** Every way the link can fail is one exception that names it, with nothing left behind. */
    @Test
    void eachFailureIsOneCommunicationExceptionThatNamesIt() throws Exception {
        String port = "LE:" + ADDRESS;
        Map<String, Object> device =
                FakeBlueZ.device(ADDRESS, "Perdix", REEF_WEEK, "shearwater", "interval_ms", 1);
        assertEquals("[-4]: Error opening device: this computer has no Bluetooth adapter.",
                failureOf(FakeBlueZ.config(List.of()), port));
        assertEquals("[-4]: Error opening device: no Bluetooth adapter is powered on.",
                failureOf(FakeBlueZ.config(List.of(Map.of("powered", false)), device), port));
        assertEquals("[-4]: Error opening device: the device F0:11:22:33:44:56 was not found by"
                        + " a Bluetooth LE scan of 10 s.",
                failureOf(FakeBlueZ.config(null, device), "LE:F0:11:22:33:44:56"));
        assertTrue(failureOf(FakeBlueZ.config(null, with(device, "faults",
                                     Map.of("connect", "refuse"))), port)
                .startsWith("[-6]: Error opening device: the connection to " + ADDRESS
                        + " failed (org.bluez.Error.Failed"));
        Map<String, Object> standardOnly = Map.of("services", List.of(Map.of("uuid", "180f",
                "characteristics", List.of(Map.of("uuid", "2a19", "flags",
                        List.of("read", "write", "notify"), "roles", List.of("data-in",
                                "data-out"))))));
        assertEquals("[-1]: Error opening device: " + ADDRESS
                        + " offers no known dive computer data service.",
                failureOf(FakeBlueZ.config(null, with(device, "layout", standardOnly)), port));
        assertEquals("[-7]: Error opening device.",
                failureOf(FakeBlueZ.config(null, with(device, "faults", Map.of("silence", true))),
                        port));
        assertEquals("[-6]: Error opening device.", failureOf(FakeBlueZ.config(null,
                with(device, "faults", Map.of("write_refused", true))), port));
        assertEquals("[-6]: Error downloading the dives.", failureOf(FakeBlueZ.config(null,
                with(device, "faults", Map.of("disconnect_after", 20000))), port));
    }

    @Test
    void withoutBlueZTheBridgeSaysSo() {
        CommunicationException thrown =
                assertThrows(CommunicationException.class, () -> download("LE:" + ADDRESS));
        assertEquals("[-4]: Error opening device: BlueZ is not running (no org.bluez on the"
                + " system D-Bus).", thrown.getMessage());
    }

    /** Bursts and a notification larger than any packet still bring every dive. */
    @Test
    void burstsAndOversizedNotificationsLoseNothing() throws Exception {
        Set<Dive> fromFile = download(REEF_WEEK.toString());
        for (Map<String, Object> faults :
                List.of(Map.<String, Object>of("burst", true), Map.<String, Object>of("oversized", true))) {
            try (FakeBlueZ bluez = fake(FakeBlueZ.device(ADDRESS, "Perdix", REEF_WEEK,
                         "shearwater", "faults", faults))) {
                assertEquals(fromFile, download("LE:" + ADDRESS), faults.toString());
            }
        }
    }

    /** Each failed opening releases what it took: threads and file descriptors stay as they were. */
    @Test
    void aThousandFailedOpensLeaveNothingBehind() throws Exception {
        try (FakeBlueZ bluez = new FakeBlueZ(dir, FakeBlueZ.config(List.of(Map.of("powered", false)),
                     FakeBlueZ.device(ADDRESS, "Perdix", REEF_WEEK, "shearwater")))) {
            assertThrows(CommunicationException.class, () -> download("LE:" + ADDRESS));
            long threads = nativeThreadsOfThisOne();
            long descriptors = count("/proc/self/fd");
            for (int i = 0; i < 1000; i++) {
                assertThrows(CommunicationException.class, () -> download("LE:" + ADDRESS));
            }
            assertEquals(threads, nativeThreadsOfThisOne());
            assertEquals(descriptors, count("/proc/self/fd"));
            assertFalse(bluez.state().isEmpty());
        }
    }

    /**
     * The threads named as this one: a thread the bridge starts takes its starter's name, while
     * the JVM's own threads, whose number varies, have names of their own.
     */
    private static long nativeThreadsOfThisOne() throws IOException {
        String name = Files.readString(Path.of("/proc/thread-self/comm"));
        try (var tasks = Files.list(Path.of("/proc/self/task"))) {
            return tasks.filter(task -> {
                try {
                    return Files.readString(task.resolve("comm")).equals(name);
                } catch (IOException e) {
                    return false;  // the thread ended meanwhile
                }
            }).count();
        }
    }

    private static long count(String directory) throws IOException {
        try (var entries = Files.list(Path.of(directory))) {
            return entries.count();
        }
    }

    private static Map<String, Object> with(Map<String, Object> device, String member,
            Object value) {
        Map<String, Object> changed = new java.util.LinkedHashMap<>(device);
        changed.put(member, value);
        return changed;
    }
}
