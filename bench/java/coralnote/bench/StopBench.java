// SPDX-License-Identifier: MIT
package coralnote.bench;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.HashSet;
import java.util.Set;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;

/**
 * How promptly a download stops, and what a progress report costs. The stop latency is the wall
 * time from interruptDeviceDownload to the return of loadUserDivesFromDevice while a simulated
 * dive computer moves its memory in paced packets, as many real ones do before the first dive.
 */
public final class StopBench {
    static {
        System.loadLibrary("divebridge_bench");
    }

    private static final String VENDOR = "Shearwater";
    private static final String MODEL = "Perdix";
    private static final int PACKET_BYTES = 1024;
    private static final int PACKET_MS = 20;
    private static final int STOPS = 15;
    private static final int PACKETS_BEFORE_STOP = 5;
    private static final int REPORTS = 2_000_000;

    private final FigureTable table = new FigureTable();

    private StopBench() {}

    private static native long timeReports(int calls);

    private static native long timeFloorCalls(int calls);

    public static void main(String[] args) throws Exception {
        Path example = Path.of(args.length > 0 ? args[0] : "examples", "reef-week.json");
        BenchNative.silenceStdout(true);
        boolean met;
        try {
            StopBench bench = new StopBench();
            bench.stopLatency(example);
            bench.reportCost();
            BenchNative.silenceStdout(false);
            met = bench.table.print("Stopping and progress (wall time)");
        } finally {
            BenchNative.silenceStdout(false);
        }
        System.exit(met ? 0 : 1);
    }

    /** The example logbook, its memory moved in packets of 1 KiB, each after 20 ms. */
    private static Path pacedCopy(Path example) throws Exception {
        String json = Files.readString(example).strip();
        Path copy = Files.createTempFile("divebridge-paced-", ".json");
        copy.toFile().deleteOnExit();
        return Files.writeString(copy, String.format("{\"transfer\": {\"block_size\": %d,"
                + " \"block_delay_ms\": %d, \"memory_first\": true},", PACKET_BYTES, PACKET_MS)
                + json.substring(1));
    }

    private void stopLatency(Path example) throws Exception {
        Path port = pacedCopy(example);
        double[] latencies = new double[STOPS];
        double[] spared = new double[STOPS];
        long fullMillis = timeWholeTransfer(port);
        for (int stop = 0; stop < STOPS; stop++) {
            CountDownLatch packets = new CountDownLatch(PACKETS_BEFORE_STOP);
            DeviceConnector.setDownloadProgressListener((current, maximum) -> packets.countDown());
            Set<Dive> dives = new HashSet<>();
            long started = System.nanoTime();
            CompletableFuture<Device> download = CompletableFuture.supplyAsync(() -> {
                try {
                    return DeviceConnector.loadUserDivesFromDevice(
                            port.toString(), VENDOR, MODEL, dives);
                } catch (Exception e) {
                    throw new IllegalStateException(e);
                }
            });
            packets.await(30, TimeUnit.SECONDS);
            long interrupted = System.nanoTime();
            DeviceConnector.interruptDeviceDownload();
            download.get(60, TimeUnit.SECONDS);
            long returned = System.nanoTime();
            DeviceConnector.setDownloadProgressListener(null);
            latencies[stop] = (returned - interrupted) / 1e6;
            spared[stop] = fullMillis - (interrupted - started) / 1e6;
        }
        Arrays.sort(latencies);
        Arrays.sort(spared);
        table.report("stop latency, median of " + STOPS + " stops (packets of 1 KiB every "
                + PACKET_MS + " ms)", latencies[STOPS / 2], "ms");
        table.atMost("stop latency, slowest of " + STOPS + " stops", latencies[STOPS - 1], "ms",
                50);
        table.report("what a stop at the next dive waited instead: the rest of the memory",
                spared[STOPS / 2], "ms");
    }

    private static long timeWholeTransfer(Path port) throws Exception {
        long started = System.nanoTime();
        DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, new HashSet<>());
        return TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - started);
    }

    private void reportCost() {
        double[] bridge = new double[5];
        double[] floor = new double[5];
        timeReports(REPORTS);  // warm-up: the JIT compiles the Java side
        timeFloorCalls(REPORTS);
        for (int round = 0; round < bridge.length; round++) {
            bridge[round] = timeReports(REPORTS) / (double) REPORTS;
            floor[round] = timeFloorCalls(REPORTS) / (double) REPORTS;
        }
        Arrays.sort(bridge);
        Arrays.sort(floor);
        double perReport = bridge[bridge.length / 2];
        double perCall = floor[floor.length / 2];
        table.report("progress report through the bridge, per report", perReport, "ns");
        table.report("JNI floor: the same Java method called bare, per call", perCall, "ns");
        table.report("progress report / JNI floor", perReport / perCall, "x");
    }
}
