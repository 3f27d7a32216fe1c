// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static coralnote.bridgetest.DiveDownloadTest.MODEL;
import static coralnote.bridgetest.DiveDownloadTest.VENDOR;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.DiveFingerprints;
import coralnote.main.java.core.exceptions.CommunicationException;
import coralnote.main.java.core.exceptions.NativeException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Downloading only the dives added since the last download, for a host that keeps fingerprints. */
@Tag("download")
class DiveFingerprintTest {
    @TempDir Path dir;

    /** A host's store: what it was asked and told, by "vendor/model/serial". */
    static class Store implements DiveFingerprints {
        final Map<String, byte[]> kept = new HashMap<>();
        final List<String> asked = new ArrayList<>();
        int saves;

        @Override
        public byte[] fingerprint(String vendor, String model, String serial) {
            asked.add(vendor + "/" + model + "/" + serial);
            return kept.get(vendor + "/" + model + "/" + serial);
        }

        @Override
        public void save(String vendor, String model, String serial, byte[] fingerprint) {
            saves++;
            kept.put(vendor + "/" + model + "/" + serial, fingerprint);
        }
    }

    private final Store store = new Store();

    @AfterEach
    void forgetTheStore() {
        DeviceConnector.setDiveFingerprints(null);
        DeviceConnector.setDownloadProgressListener(null);
    }

    /** The dives of the given days, the newest first as dive computers hand them out. */
    private Path logbook(String name, int... days) throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 2024);
        for (int day : days) {
            image.dive().datetime(2024, 6, day, 9, 0, 0).field("divetime", 1800).time(0)
                    .depth(1.0);
        }
        return image.writeTo(dir.resolve(name));
    }

    private static List<String> startsOf(Set<Dive> dives) {
        List<String> starts = new ArrayList<>();
        dives.forEach(dive -> starts.add(dive.getStart().substring(0, 10)));
        return starts;
    }

    private static Set<Dive> download(Path port) throws Exception {
        Set<Dive> dives = new LinkedHashSet<>();
        DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives);
        return dives;
    }

    @Test
    void aSecondDownloadBringsOnlyTheDivesAddedSince() throws Exception {
        DeviceConnector.setDiveFingerprints(store);
        assertEquals(3, download(logbook("first.json", 3, 2, 1)).size());
        assertEquals(List.of(VENDOR + "/" + MODEL + "/2024"), store.asked);
        assertEquals(1, store.saves);

        Set<Dive> added = download(logbook("second.json", 5, 4, 3, 2, 1));
        assertEquals(List.of("2024-06-05", "2024-06-04"), startsOf(added));
        assertEquals(2, store.saves);

        assertTrue(download(logbook("third.json", 5, 4, 3, 2, 1)).isEmpty());
        assertEquals(2, store.saves, "a download that brought nothing keeps the fingerprint");
    }

    @Test
    void aStoppedOrFailedDownloadSavesNothing() throws Exception {
        DeviceConnector.setDiveFingerprints(store);
        ImageBuilder slow = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 2024)
                .transfer(16, 50, false);
        for (int day = 1; day <= 6; day++) {
            slow.dive().datetime(2024, 6, day, 9, 0, 0).time(0).depth(1.0);
        }
        Path port = slow.writeTo(dir.resolve("slow.json"));
        CountDownLatch transferring = new CountDownLatch(3);
        DeviceConnector.setDownloadProgressListener((current, maximum) -> transferring.countDown());
        Set<Dive> dives = new LinkedHashSet<>();
        CompletableFuture<Void> download = CompletableFuture.runAsync(() -> {
            try {
                DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives);
            } catch (NativeException e) {
                throw new IllegalStateException(e);
            }
        });
        assertTrue(transferring.await(20, TimeUnit.SECONDS));
        DeviceConnector.interruptDeviceDownload();
        download.get(20, TimeUnit.SECONDS);
        assertEquals(0, store.saves, "stopped after " + dives.size() + " dives");

        Path failing = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 2024).fault("foreach", -6)
                .fault("foreach_after", 1).writeTo(dir.resolve("failing.json"));
        assertThrows(CommunicationException.class, () -> download(failing));
        assertEquals(0, store.saves);
    }

    /** A fingerprint libdivecomputer refuses (kept for another model, say) is left aside. */
    @Test
    void aRefusedFingerprintBringsEveryDive() throws Exception {
        store.kept.put(VENDOR + "/" + MODEL + "/2024", new byte[] {1, 2, 3});
        DeviceConnector.setDiveFingerprints(store);
        assertEquals(3, download(logbook("logbook.json", 3, 2, 1)).size());
        assertEquals(7, store.kept.get(VENDOR + "/" + MODEL + "/2024").length);
    }

    @Test
    void aStoreThatThrowsEndsTheDownloadWithItsExceptionAsTheCause() throws Exception {
        Path port = logbook("logbook.json", 3, 2, 1);
        RuntimeException unreadable = new IllegalStateException("store unreadable");
        DeviceConnector.setDiveFingerprints(new Store() {
            @Override
            public byte[] fingerprint(String vendor, String model, String serial) {
                throw unreadable;
            }
        });
        Set<Dive> dives = new LinkedHashSet<>();
        NativeException asking = assertThrows(NativeException.class,
                () -> DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives));
        assertEquals("Could not ask the application for the dive fingerprint.", asking.getMessage());
        assertEquals(unreadable, asking.getCause());
        assertTrue(dives.isEmpty());

        DeviceConnector.setDiveFingerprints(new Store() {
            @Override
            public void save(String vendor, String model, String serial, byte[] fingerprint) {
                throw unreadable;
            }
        });
        NativeException saving = assertThrows(NativeException.class,
                () -> DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives));
        assertEquals("Could not save the dive fingerprint.", saving.getMessage());
        assertInstanceOf(IllegalStateException.class, saving.getCause());
        // Saving comes last: every dive reached the host before, and stays with it.
        assertEquals(3, dives.size());
    }
}
