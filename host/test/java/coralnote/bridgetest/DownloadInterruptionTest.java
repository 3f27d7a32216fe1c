// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static coralnote.bridgetest.DiveDownloadTest.MODEL;
import static coralnote.bridgetest.DiveDownloadTest.VENDOR;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.exceptions.CommunicationException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Set;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** A download running on one Java thread while others interrupt it or list devices. */
@Tag("download")
class DownloadInterruptionTest {
    private static final int DIVES = 6;
    // Wide enough that a loaded machine still interrupts between the first and the second dive.
    private static final int DELAY_MS = 1000;

    @TempDir Path dir;

    /** Six dives, each delivered {@code delayMs} after the previous one. */
    private Path slowLogbook(int delayMs) throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 4242)
                .delayMs(delayMs).journal(dir.resolve("journal.log"));
        for (int day = 1; day <= DIVES; day++) {
            image.dive().datetime(2024, 2, day, 10, 0, 0).field("divetime", 3000)
                    .field("maxdepth", 15.0).time(0).depth(1.0).time(10).depth(2.0);
        }
        return image.writeTo(dir.resolve("slow.json"));
    }

    private CompletableFuture<Device> startDownload(Path port, Set<Dive> dives) {
        return CompletableFuture.supplyAsync(() -> {
            try {
                return DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives);
            } catch (Exception e) {
                throw new IllegalStateException(e);
            }
        });
    }

    /** Six dives whose memory takes over two seconds to move, journaled to {@code name}.log. */
    private Path pacedLogbook(String name) throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 4242)
                .transfer(16, 60, true).journal(dir.resolve(name + ".log"));
        for (int day = 1; day <= DIVES; day++) {
            image.dive().datetime(2024, 2, day, 10, 0, 0).field("divetime", 3000)
                    .field("maxdepth", 15.0).time(0).depth(1.0).time(10).depth(2.0);
        }
        return image.writeTo(dir.resolve(name + ".json"));
    }

    private void awaitTransferStart() throws Exception {
        awaitTransferStart("journal");
    }

    private void awaitTransferStart(String journal) throws Exception {
        long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(20);
        while (!ImageBuilder.readJournal(dir.resolve(journal + ".log")).contains("foreach")) {
            assertTrue(System.nanoTime() < deadline, "the download never started");
            Thread.sleep(10);
        }
    }

    @Test
    void anInterruptStopsAtTheNextDiveKeepingEarlierOnes() throws Exception {
        Set<Dive> dives = new LinkedHashSet<>();
        CompletableFuture<Device> download = startDownload(slowLogbook(DELAY_MS), dives);
        awaitTransferStart();
        Thread.sleep(DELAY_MS * 3 / 2);

        DeviceConnector.interruptDeviceDownload();
        Device parent = download.get(20, TimeUnit.SECONDS);

        assertEquals("4242", parent.getName());
        List<String> starts = new ArrayList<>();
        dives.forEach(dive -> starts.add(dive.getStart()));
        assertTrue(starts.size() >= 1 && starts.size() < DIVES, "kept " + starts);
        for (int i = 0; i < starts.size(); i++) {
            assertEquals(String.format("2024-02-%02d 10:00:00", i + 1), starts.get(i));
        }
        assertEquals("close", lastJournalLine());
    }

    @Test
    void anInterruptInTheMiddleOfATransferReturnsAtOnceWithNoDive() throws Exception {
        // About forty packets of 60 ms: the whole memory takes over two seconds to move.
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 4242)
                .transfer(16, 60, true).journal(dir.resolve("journal.log"));
        for (int day = 1; day <= DIVES; day++) {
            image.dive().datetime(2024, 2, day, 10, 0, 0).field("divetime", 3000)
                    .field("maxdepth", 15.0).time(0).depth(1.0).time(10).depth(2.0);
        }
        Path port = image.writeTo(dir.resolve("paced.json"));
        CountDownLatch packets = new CountDownLatch(3);
        long[] last = new long[2];
        DeviceConnector.setDownloadProgressListener((current, maximum) -> {
            last[0] = current;
            last[1] = maximum;
            packets.countDown();
        });
        Set<Dive> dives = new LinkedHashSet<>();
        try {
            CompletableFuture<Device> download = startDownload(port, dives);
            assertTrue(packets.await(20, TimeUnit.SECONDS), "the transfer never started");

            long interrupted = System.nanoTime();
            DeviceConnector.interruptDeviceDownload();
            Device parent = download.get(20, TimeUnit.SECONDS);
            long stoppedMs = TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - interrupted);

            assertEquals("4242", parent.getName());
            assertTrue(dives.isEmpty());
            assertTrue(last[0] < last[1], "the transfer ran to its end");
            assertTrue(stoppedMs < 1000, "stopped " + stoppedMs + " ms after the interrupt");
            assertEquals("close", lastJournalLine());
        } finally {
            DeviceConnector.setDownloadProgressListener(null);
        }
    }

    /**
     * A stop reaches every download running when it is asked for, and none that starts after it,
     * however soon: a download that opens meanwhile must not erase the stop meant for another.
     */
    @Test
    void anInterruptStopsEveryRunningDownloadAndNoLaterOne() throws Exception {
        Set<Dive> first = new LinkedHashSet<>();
        Set<Dive> second = new LinkedHashSet<>();
        CompletableFuture<Device> firstDownload = startDownload(pacedLogbook("first"), first);
        CompletableFuture<Device> secondDownload = startDownload(pacedLogbook("second"), second);
        awaitTransferStart("first");
        awaitTransferStart("second");

        DeviceConnector.interruptDeviceDownload();
        firstDownload.get(20, TimeUnit.SECONDS);
        secondDownload.get(20, TimeUnit.SECONDS);
        assertTrue(first.isEmpty() && second.isEmpty(), first.size() + " and " + second.size());

        Set<Dive> running = new LinkedHashSet<>();
        Set<Dive> later = new LinkedHashSet<>();
        CompletableFuture<Device> runningDownload = startDownload(pacedLogbook("running"), running);
        awaitTransferStart("running");
        DeviceConnector.interruptDeviceDownload();
        DeviceConnector.loadUserDivesFromDevice(slowLogbook(0).toString(), VENDOR, MODEL, later);
        runningDownload.get(20, TimeUnit.SECONDS);
        assertTrue(running.isEmpty(), "the running download kept " + running.size() + " dives");
        assertEquals(DIVES, later.size());
    }

    @Test
    void aCancellationNobodyAskedForIsADownloadFailure() throws Exception {
        Path port = new ImageBuilder(VENDOR, MODEL).fault("foreach", -10)
                .writeTo(dir.resolve("cancelled.json"));
        CommunicationException thrown = assertThrows(CommunicationException.class,
                () -> DeviceConnector.loadUserDivesFromDevice(
                        port.toString(), VENDOR, MODEL, new LinkedHashSet<>()));
        assertEquals("[-10]: Error downloading the dives.", thrown.getMessage());
    }

    @Test
    void anInterruptBeforeTheDownloadIsForgotten() throws Exception {
        DeviceConnector.interruptDeviceDownload();
        Set<Dive> dives = new LinkedHashSet<>();

        DeviceConnector.loadUserDivesFromDevice(slowLogbook(0).toString(), VENDOR, MODEL, dives);

        assertEquals(DIVES, dives.size());
    }

    @Test
    void devicesCanBeListedBesideADownload() throws Exception {
        Set<Dive> dives = new LinkedHashSet<>();
        CompletableFuture<Device> download = startDownload(slowLogbook(100), dives);
        awaitTransferStart();

        int listings = 0;
        while (!download.isDone()) {
            assertFalse(DeviceConnector.getSupportedDevices().isEmpty());
            listings++;
        }

        assertEquals("4242", download.get().getName());
        assertEquals(DIVES, dives.size());
        assertTrue(listings > 0);
    }

    private String lastJournalLine() throws Exception {
        List<String> calls = ImageBuilder.readJournal(dir.resolve("journal.log"));
        return calls.get(calls.size() - 1);
    }
}
