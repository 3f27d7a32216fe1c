// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static org.junit.jupiter.api.Assertions.assertDoesNotThrow;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import coralnote.main.java.core.BluetoothPairing;
import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.DiveFingerprints;
import coralnote.main.java.core.DownloadProgressListener;
import coralnote.main.java.core.LibdivecomputerLog;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * A stop at any moment of a download, swept rather than listed: the download is interrupted at
 * the N-th call to the host, or inside the N-th call the BLE stream answers, for every N until a
 * download runs whole. Each must end as a stopped download (the dive computer returned, only
 * dives it completed, no exception) and leave nothing that keeps the next download from bringing
 * every dive.
 */
@Tag("stop-sweep")
class StopSweepTest {
    static final String ADDRESS = "F0:11:22:33:44:55";
    // Where a download makes more calls than this, every N up to it, then every STRIDE-th.
    static final int EVERY_UP_TO = 60;
    static final int STRIDE = 7;

    @TempDir Path dir;

    /** A host with every optional method, each of which interrupts the download at its turn. */
    static final class StoppingHost implements DownloadProgressListener, LibdivecomputerLog,
            DiveFingerprints, BluetoothPairing {
        final String pin;
        int calls;
        int stopAt;

        StoppingHost(String pin) {
            this.pin = pin;
        }

        private void call() {
            if (++calls == stopAt) {
                DeviceConnector.interruptDeviceDownload();
            }
        }

        @Override
        public void progress(long current, long maximum) {
            call();
        }

        @Override
        public void line(int level, String message) {
            call();
        }

        @Override
        public byte[] fingerprint(String vendor, String model, String serial) {
            call();
            return null;
        }

        @Override
        public void save(String vendor, String model, String serial, byte[] fingerprint) {
            call();
        }

        @Override
        public String pinCode(String name, String address) {
            call();
            return pin;
        }

        @Override
        public byte[] accessCode(String name, String address) {
            call();
            return null;
        }

        @Override
        public void saveAccessCode(String name, String address, byte[] code) {
            call();
        }
    }

    interface Download {
        Device into(Set<Dive> dives) throws Exception;
    }

    @AfterEach
    void removeTheHost() {
        DeviceConnector.setDownloadProgressListener(null);
        DeviceConnector.setLibdivecomputerLog(null);
        DeviceConnector.setDiveFingerprints(null);
        DeviceConnector.setBluetoothPairing(null);
        SimulatorHooks.stopAtStreamOperation(0);
    }

    private static StoppingHost install(String pin) {
        StoppingHost host = new StoppingHost(pin);
        DeviceConnector.setDownloadProgressListener(host);
        DeviceConnector.setLibdivecomputerLog(host);
        DeviceConnector.setDiveFingerprints(host);
        DeviceConnector.setBluetoothPairing(host);
        return host;
    }

    private static boolean swept(long n, long total) {
        return total <= EVERY_UP_TO || n <= EVERY_UP_TO || n % STRIDE == 0;
    }

    /** Sweeps the host's calls, and with {@code streamCalls} the BLE stream's too. */
    private static void sweep(String what, Download download, String pin, boolean streamCalls)
            throws Exception {
        StoppingHost host = install(pin);
        SimulatorHooks.stopAtStreamOperation(0);
        Set<Dive> all = new LinkedHashSet<>();
        assertNotNull(download.into(all));
        List<Dive> whole = new ArrayList<>(all);
        assertTrue(whole.size() >= 2, what);
        final int hostCalls = host.calls;
        final long streamOperations = streamCalls ? SimulatorHooks.streamOperations() : 0;
        assertTrue(hostCalls > 0, what);
        assertTrue(!streamCalls || streamOperations > 0, what);

        for (int n = 1; n <= hostCalls; n++) {
            if (swept(n, hostCalls)) {
                host.calls = 0;
                host.stopAt = n;
                stopsCleanly(what + ", stopped at host call " + n, download, whole);
                host.stopAt = 0;
                bringsEveryDive(what + ", after a stop at host call " + n, download, whole);
            }
        }
        for (long n = 1; n <= streamOperations; n++) {
            if (swept(n, streamOperations)) {
                SimulatorHooks.stopAtStreamOperation(n);
                stopsCleanly(what + ", stopped at stream call " + n, download, whole);
                SimulatorHooks.stopAtStreamOperation(0);
                bringsEveryDive(what + ", after a stop at stream call " + n, download, whole);
            }
        }
    }

    private static void stopsCleanly(String what, Download download, List<Dive> whole) {
        Set<Dive> dives = new LinkedHashSet<>();
        Device device = assertDoesNotThrow(() -> download.into(dives), what);
        assertNotNull(device, what);
        assertEquals(whole.subList(0, dives.size()), new ArrayList<>(dives), what);
    }

    private static void bringsEveryDive(String what, Download download, List<Dive> whole)
            throws Exception {
        Set<Dive> dives = new LinkedHashSet<>();
        download.into(dives);
        assertEquals(whole, new ArrayList<>(dives), what);
    }

    private Path smallLogbook(String vendor, String product, String pin) throws Exception {
        ImageBuilder builder = new ImageBuilder(vendor, product).devinfo(1, 2, 4242)
                .log(3, "opening the logbook").transfer(256, 1, false);
        if (pin != null) {
            builder.pinCode(pin);
        }
        // Each dive spans a few notifications of the BLE transfer.
        for (int day = 1; day <= 3; day++) {
            ImageBuilder.DiveBuilder dive = builder.dive().datetime(2025, 3, day, 9, 0, 0);
            for (int minute = 0; minute < 40; minute++) {
                dive.time(minute * 60).depth(4.0 + minute % 7);
            }
        }
        return builder.writeTo(dir.resolve(product + ".json"));
    }

    /** A device that answers quickly, so that the sweep's hundreds of downloads stay short. */
    private static Map<String, Object> quickDevice(String address, String name, Path image,
            Object... members) {
        List<Object> all = new ArrayList<>(List.of("interval_ms", 1, "connect_delay_ms", 2,
                "resolve_delay_ms", 2, "disconnect_timer_ms", 20));
        all.addAll(List.of(members));
        return FakeBlueZ.device(address, name, image, "shearwater", all.toArray());
    }

    @Test
    void aSerialDownloadStopsCleanlyAtEveryHostCall() throws Exception {
        Path image = smallLogbook("Shearwater", "Perdix", null);
        sweep("serial", dives -> DeviceConnector.loadUserDivesFromDevice(image.toString(),
                "Shearwater", "Perdix", dives), null, false);
    }

    @Test
    void aBleDownloadStopsCleanlyAtEveryHostAndStreamCallOnEveryLayout() throws Exception {
        Path image = smallLogbook("Shearwater", "Perdix", null);
        for (String layout : List.of("shearwater", "suunto", "telit", "halcyon", "mclean",
                "divesoft")) {
            try (FakeBlueZ bluez = new FakeBlueZ(dir, FakeBlueZ.config(null,
                         quickDevice(ADDRESS, "Perdix", image, "layout", layout)))) {
                sweep(layout, dives -> DeviceConnector.loadUserDivesFromDevice("LE:" + ADDRESS,
                        "Shearwater", "Perdix", dives), null, true);
                assertTrue(bluez.clean(), bluez.describe());
            }
        }
    }

    /** The PIN question, the access code and its keeping are host calls of their own. */
    @Test
    void aPairingDownloadStopsCleanlyAtEveryHostAndStreamCall() throws Exception {
        assumeTrue(BleDownloadTest.SCANS, "the i330R came with libdivecomputer 0.9");
        Path image = smallLogbook(BlePairingTest.VENDOR, BlePairingTest.MODEL, BlePairingTest.PIN);
        try (FakeBlueZ bluez = new FakeBlueZ(dir, FakeBlueZ.config(null,
                     quickDevice(BlePairingTest.ADDRESS, BlePairingTest.NAME, image, "layout",
                             BlePairingTest.pelagicLayout())))) {
            sweep("i330R", dives -> DeviceConnector.loadUserDivesFromDevice(
                    "LE:" + BlePairingTest.ADDRESS, BlePairingTest.VENDOR, BlePairingTest.MODEL,
                    dives), BlePairingTest.PIN, true);
            assertTrue(bluez.clean(), bluez.describe());
        }
    }
}
