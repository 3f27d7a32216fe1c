package coralnote.bench;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;

/**
 * loadUserDivesFromDevice in a real JVM on generated images: the download and the Java conversion
 * apart, beside the JNI floor and a pure-Java program building the same objects, measured in this
 * one run; the cost per row against the size of the download; peak memory and local references;
 * the bridge's work against the time a dive computer needs to send the dives.
 *
 * <p>Times are the process's CPU time (GC and JIT threads included), the median of interleaved
 * repetitions after warm-up, with a collection before each repetition.
 */
public final class DownloadBench {
    private static final String VENDOR = "Shearwater";
    private static final String MODEL = "Perdix";
    private static final int WARMUPS = 1;
    private static final int REPETITIONS = 5;
    private static final long MIN_SAMPLE_NANOS = 60_000_000L;
    /** A typical logbook's density: 4 bytes a sample row, 10 bits a byte, at 115200 baud. */
    private static final double LINK_SECONDS_PER_ROW = 4 * 10 / 115200.0;

    private final Path directory;
    private final FigureTable table = new FigureTable();
    /** loadUserDivesFromDevice's nanoseconds per kept row, by "DxR", from the scaling runs. */
    private final Map<String, Double> exportPerRow = new HashMap<>();

    private DownloadBench(Path directory) {
        this.directory = directory;
    }

    public static void main(String[] args) throws Exception {
        Path examples = Path.of(args.length > 0 ? args[0] : "examples");
        Path directory = Files.createTempDirectory("divebridge-bench");
        boolean met;
        BenchNative.silenceStdout(true);
        try {
            met = new DownloadBench(directory).run(examples);
        } finally {
            BenchNative.silenceStdout(false);
        }
        System.exit(met ? 0 : 1);
    }

    private boolean run(Path examples) throws Exception {
        memory();  // first, so that the resident memory before it is the JVM's own
        compareWithReferences();
        scaling();
        linkBudget(examples);
        BenchNative.silenceStdout(false);
        return table.print("JVM figures (process CPU time, median of " + REPETITIONS
                + " interleaved repetitions after " + WARMUPS + " warm-ups)");
    }

    /** A body to time; it may throw what the code under test throws. */
    private interface Body {
        void run() throws Exception;
    }

    private static long cpuNanos() {
        return BenchNative.processCpuNanos();
    }

    /** Runs the body {@code runs} times; answers the CPU nanoseconds they took. */
    private static long timeRuns(Body body, int runs) throws Exception {
        System.gc();
        long start = cpuNanos();
        for (int run = 0; run < runs; run++) {
            body.run();
        }
        return cpuNanos() - start;
    }

    /** Runs per sample, doubled until a sample is long enough for the clock's resolution. */
    private static int calibrate(Body body) throws Exception {
        int runs = 1;
        while (timeRuns(body, runs) < MIN_SAMPLE_NANOS) {
            runs *= 2;
        }
        return runs;
    }

    /** CPU nanoseconds of one run of each body, median of interleaved repetitions. */
    private static double[] measure(Body... bodies) throws Exception {
        int[] runs = new int[bodies.length];
        for (int body = 0; body < bodies.length; body++) {
            runs[body] = calibrate(bodies[body]);
        }
        double[][] samples = new double[bodies.length][REPETITIONS];
        for (int round = 0; round < WARMUPS + REPETITIONS; round++) {
            for (int body = 0; body < bodies.length; body++) {
                long elapsed = timeRuns(bodies[body], runs[body]);
                if (round >= WARMUPS) {
                    samples[body][round - WARMUPS] = (double) elapsed / runs[body];
                }
            }
        }
        double[] medians = new double[bodies.length];
        for (int body = 0; body < bodies.length; body++) {
            Arrays.sort(samples[body]);
            medians[body] = samples[body][REPETITIONS / 2];
        }
        return medians;
    }

    private String image(int dives, int rows) {
        String path = directory.resolve(dives + "x" + rows + ".json").toString();
        if (!Files.exists(Path.of(path))) {
            BenchNative.writeImage(path, dives, rows);
        }
        return path;
    }

    private static Device parent() {
        return new Device(VENDOR, MODEL, "12345");
    }

    /** A download kept natively, with the counts that turn times into per-row and per-cell costs. */
    private static final class Prepared implements AutoCloseable {
        final long handle;
        final int dives;
        final long rows;
        final long cells;

        Prepared(String port, String vendor, String model) {
            handle = BenchNative.prepare(port, vendor, model);
            dives = BenchNative.dives(handle);
            rows = BenchNative.keptRows(handle);
            cells = BenchNative.presentCells(handle);
        }

        @Override
        public void close() {
            BenchNative.release(handle);
        }
    }

    private void compareWithReferences() throws Exception {
        String port = image(100, 3600);
        try (Prepared prepared = new Prepared(port, VENDOR, MODEL)) {
            Device parent = parent();
            Set<Dive> built = new HashSet<>();
            BenchNative.convert(prepared.handle, parent, built);
            PureJavaDives pureJava = new PureJavaDives(built);
            List<Object[]> floorArrays = new ArrayList<>(prepared.dives);
            double[] times = measure(
                    () -> BenchNative.convert(prepared.handle, parent, new HashSet<>()),
                    () -> {
                        floorArrays.clear();
                        for (int dive = 0; dive < prepared.dives; dive++) {
                            floorArrays.add(BenchNative.floorDive(prepared.handle, dive));
                        }
                    },
                    () -> pureJava.build(parent, new HashSet<>()),
                    () -> BenchNative.download(port, VENDOR, MODEL),
                    () -> DeviceConnector.loadUserDivesFromDevice(
                            port, VENDOR, MODEL, new HashSet<>()));
            double cells = prepared.cells;
            double conversion = times[0] / cells;
            double floor = times[1] / cells;
            double pure = times[2] / cells;
            String size = ", D=100 R=3600";
            table.report("conversion per present cell" + size, conversion, "ns");
            table.report("JNI floor per present cell" + size, floor, "ns");
            table.report("pure Java per present cell" + size, pure, "ns");
            table.atMost("conversion / JNI floor" + size, conversion / floor, "x", 1.5);
            table.report("conversion / pure Java" + size, conversion / pure, "x");
            table.report("download per row (bridge + simulator)" + size,
                    times[3] / prepared.rows, "ns");
            table.report("Java conversion per row" + size, times[0] / prepared.rows, "ns");
            table.report("loadUserDivesFromDevice per row" + size, times[4] / prepared.rows, "ns");
            table.report("download share of loadUserDivesFromDevice" + size,
                    100 * times[3] / times[4], "%");
        }
    }

    /** Per-row costs of one image: download, conversion and the whole export. */
    private double[] perRow(int dives, int rows) throws Exception {
        String port = image(dives, rows);
        try (Prepared prepared = new Prepared(port, VENDOR, MODEL)) {
            double[] times = measure(
                    () -> BenchNative.download(port, VENDOR, MODEL),
                    () -> BenchNative.convert(prepared.handle, parent(), new HashSet<>()),
                    () -> DeviceConnector.loadUserDivesFromDevice(
                            port, VENDOR, MODEL, new HashSet<>()));
            for (int index = 0; index < times.length; index++) {
                times[index] /= prepared.rows;
            }
            return times;
        }
    }

    private void scaling() throws Exception {
        int[][] sizes = {{1, 100}, {1, 1000}, {1, 10000}, {1, 100000}, {1, 3600}, {1000, 3600}};
        double[][] costs = new double[sizes.length][];
        for (int size = 0; size < sizes.length; size++) {
            costs[size] = perRow(sizes[size][0], sizes[size][1]);
            exportPerRow.put(sizes[size][0] + "x" + sizes[size][1], costs[size][2]);
            String name = " per row, D=" + sizes[size][0] + " R=" + sizes[size][1];
            table.report("download" + name, costs[size][0], "ns");
            table.report("conversion" + name, costs[size][1], "ns");
            table.report("loadUserDivesFromDevice" + name, costs[size][2], "ns");
        }
        String[] what = {"download", "conversion", "loadUserDivesFromDevice"};
        for (int column = 0; column < what.length; column++) {
            double[] overRows = {costs[1][column], costs[2][column], costs[3][column]};
            table.atMost(what[column] + " per-row spread, R=1,000 .. 100,000 (max/min)",
                    spread(overRows), "x", 1.25);
            double[] overDives = {costs[4][column], costs[5][column]};
            table.atMost(what[column] + " per-row spread, D=1 .. 1,000, R=3600 (max/min)",
                    spread(overDives), "x", 1.25);
        }
    }

    private static double spread(double[] values) {
        double least = Arrays.stream(values).min().orElseThrow();
        double most = Arrays.stream(values).max().orElseThrow();
        return most / least;
    }

    private static long statusKilobytes(String field) throws IOException {
        for (String line : Files.readAllLines(Path.of("/proc/self/status"))) {
            if (line.startsWith(field + ":")) {
                return Long.parseLong(line.replaceAll("[^0-9]", ""));
            }
        }
        throw new IOException(field + " not in /proc/self/status");
    }

    private static int peakLocalReferences(String port) {
        int[] peak = new int[1];
        BenchNative.loadCounted(port, VENDOR, MODEL, new HashSet<>(), peak);
        return peak[0];
    }

    private void memory() throws Exception {
        String oneDive = image(1, 3600);
        String thousandDives = image(1000, 3600);
        int peakOne = peakLocalReferences(oneDive);
        System.gc();
        long before = statusKilobytes("VmRSS");
        Files.writeString(Path.of("/proc/self/clear_refs"), "5");  // restarts the VmHWM peak
        int peakThousand = peakLocalReferences(thousandDives);
        long peak = statusKilobytes("VmHWM");
        table.report("peak live local references, D=1 R=3600", peakOne, "refs");
        table.atMost("peak live local references, D=1000 R=3600", peakThousand, "refs", peakOne);
        table.report("peak resident memory, D=1000 R=3600", peak / 1024.0, "MiB");
        table.report("resident memory before that download", before / 1024.0, "MiB");

        long heapBefore = BenchNative.nativeHeapInUse();
        try (Prepared prepared = new Prepared(thousandDives, VENDOR, MODEL)) {
            double held = BenchNative.nativeHeapInUse() - heapBefore;
            table.atMost("native memory of a stored row, D=1000 R=3600", held / prepared.rows,
                    "bytes", 48);
        }
    }

    /**
     * The export's whole time (the simulator's included) against 1 % of the time the rows take over
     * the link.
     */
    private void linkBudget(Path examples) throws Exception {
        String reefWeek = examples.resolve("reef-week.json").toString();
        long rows;
        try (Prepared prepared = new Prepared(reefWeek, VENDOR, MODEL)) {
            rows = prepared.rows;
        }
        double perRow = measure(() -> DeviceConnector.loadUserDivesFromDevice(
                                        reefWeek, VENDOR, MODEL, new HashSet<>()))[0]
                / rows;
        linkShare("examples/reef-week.json", perRow);
        linkShare("generated D=1 R=100", exportPerRow.get("1x100"));
        linkShare("generated D=1000 R=3600", exportPerRow.get("1000x3600"));
    }

    private void linkShare(String logbook, double nanosPerRow) {
        table.atMost("bridge work / link time at 115200 baud, " + logbook,
                100 * nanosPerRow * 1e-9 / LINK_SECONDS_PER_ROW, "%", 1.0);
    }
}
