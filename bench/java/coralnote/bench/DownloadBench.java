// SPDX-License-Identifier: MIT
package coralnote.bench;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;

/**
 * loadUserDivesFromDevice in a real JVM on generated images: the download and the Java conversion
 * apart, beside the JNI floor and a pure-Java program building the same objects, measured in this
 * one run; the cost per row against the size of the download; peak memory and local references;
 * the export's time against the time a dive computer needs to send the dives, reported (count_bench
 * judges the bridge's native work against it in instructions).
 *
 * <p>Times are the process's CPU time (GC and JIT threads included) in interleaved rounds after a
 * warm-up round (see {@link Rounds}): each figure is the median over the rounds, with their range.
 */
public final class DownloadBench {
    // The model of the generated images and the bundled logbook, and the rounds of every JVM
    // figure (DetailsBench times with the same).
    static final String VENDOR = "Shearwater";
    static final String MODEL = "Perdix";
    static final int WARMUPS = 1;
    static final int ROUNDS = 15;
    static final long MIN_SAMPLE_NANOS = 40_000_000L;
    /** A typical logbook's density: 4 bytes a sample row, 10 bits a byte, at 115200 baud. */
    private static final double LINK_SECONDS_PER_ROW = 4 * 10 / 115200.0;

    private final Path directory;
    private final FigureTable table = new FigureTable();
    /** loadUserDivesFromDevice's nanoseconds per kept row, by size, from the scaling rounds. */
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
        jniCalls();
        linkBudget(examples);
        BenchNative.silenceStdout(false);
        table.explain("ns, us, %: process CPU time (GC and JIT threads included), the median of "
                + ROUNDS + " interleaved rounds after " + WARMUPS + " warm-up, with their range.");
        table.explain("A JVM under callgrind is far too slow to count, so times are judged here"
                + " only as ratios measured in this one run (conversion / JNI floor); export / link"
                + " time is reported, the native part judged on counts (count_bench);");
        table.explain("growth is judged on counts: JNI calls per row below, native instructions"
                + " (count_bench); the growth of times is reported.");
        table.explain("calls: JNI functions the bridge called, counted by a JNIEnv that passes"
                + " each on; refs: local references alive at once; bytes: native heap (malloc's"
                + " count).");
        return table.print("JVM figures");
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
            Rounds rounds = new Rounds();
            int conversion = rounds.add(
                    () -> BenchNative.convert(prepared.handle, parent, new HashSet<>()));
            int floor = rounds.add(() -> {
                floorArrays.clear();
                for (int dive = 0; dive < prepared.dives; dive++) {
                    floorArrays.add(BenchNative.floorDive(prepared.handle, dive));
                }
            });
            int pure = rounds.add(() -> pureJava.build(parent, new HashSet<>()));
            int download = rounds.add(() -> BenchNative.download(port, VENDOR, MODEL));
            int export = rounds.add(() -> DeviceConnector.loadUserDivesFromDevice(
                    port, VENDOR, MODEL, new HashSet<>()));
            rounds.run(WARMUPS, ROUNDS, MIN_SAMPLE_NANOS);
            double cells = prepared.cells;
            double rows = prepared.rows;
            String size = ", D=100 R=3600";
            table.report("conversion per present cell" + size, rounds.per(conversion, cells), "ns");
            table.report("JNI floor per present cell" + size, rounds.per(floor, cells), "ns");
            table.report("pure Java per present cell" + size, rounds.per(pure, cells), "ns");
            table.atMost("conversion / JNI floor" + size, rounds.ratio(conversion, floor, 1), "x",
                    1.5);
            table.report("conversion / pure Java" + size, rounds.ratio(conversion, pure, 1), "x");
            table.report("download per row (bridge + simulator)" + size, rounds.per(download, rows),
                    "ns");
            table.report("Java conversion per row" + size, rounds.per(conversion, rows), "ns");
            table.report("loadUserDivesFromDevice per row" + size, rounds.per(export, rows), "ns");
            table.report("download share of loadUserDivesFromDevice" + size,
                    rounds.ratio(download, export, 100), "%");
        }
    }

    /** A generated image's size: D dives of R rows each. */
    private record Size(int dives, int rowsPerDive) {
        String name() {
            return "D=" + dives + " R=" + rowsPerDive;
        }

        long rows() {
            return (long) dives * rowsPerDive;
        }
    }

    /** What is timed of each size, by column: the download, the conversion, the whole export. */
    private static final String[] WHAT = {
            "download (bridge + simulator)", "conversion", "loadUserDivesFromDevice"};
    private static final int EXPORT = 2;

    /** The bodies of every size and the kept rows of each, timed in one set of rounds. */
    private final class Scaling {
        final Rounds rounds = new Rounds();
        final Map<Size, int[]> bodies = new HashMap<>();
        final Map<Size, Long> rows = new HashMap<>();

        void add(Size size, Prepared prepared) {
            String port = image(size.dives(), size.rowsPerDive());
            rows.put(size, prepared.rows);
            bodies.put(size, new int[] {
                    rounds.add(() -> BenchNative.download(port, VENDOR, MODEL)),
                    rounds.add(() -> BenchNative.convert(
                            prepared.handle, parent(), new HashSet<>())),
                    rounds.add(() -> DeviceConnector.loadUserDivesFromDevice(
                            port, VENDOR, MODEL, new HashSet<>()))});
        }

        double sample(Size size, int column, int round) {
            return rounds.sample(bodies.get(size)[column], round);
        }

        /** Nanoseconds a row of {@code size} costs beyond those of {@code fixed}, the smallest. */
        double perRow(Size size, Size fixed, int column, int round) {
            return (sample(size, column, round) - sample(fixed, column, round))
                    / (rows.get(size) - rows.get(fixed));
        }

        /**
         * Cost = fixed + perRow x rows, the fixed part being what {@code fixed} costs: reports the
         * per-row cost beyond it at {@code large} against that at {@code small}.
         */
        void growth(
                int column, Size fixed, String fixedName, Size small, Size large, String range) {
            table.report(WHAT[column] + ", fixed cost " + fixedName,
                    rounds.over(round -> sample(fixed, column, round) / 1000), "us");
            for (Size size : new Size[] {small, large}) {
                table.report(WHAT[column] + " per row beyond it, " + size.name(),
                        rounds.over(round -> perRow(size, fixed, column, round)), "ns");
            }
            table.report(WHAT[column] + " per-row growth, " + range,
                    rounds.over(round
                            -> perRow(large, fixed, column, round)
                                    / perRow(small, fixed, column, round)),
                    "x");
        }
    }

    private void scaling() throws Exception {
        Size oneRow = new Size(1, 1);
        Size shortDive = new Size(1, 100);
        Size thousandRows = new Size(1, 1000);
        Size longDive = new Size(1, 100000);
        Size noDive = new Size(0, 3600);
        Size typical = new Size(1, 3600);
        Size thousandDives = new Size(1000, 3600);
        Size[] sizes = {
                oneRow, shortDive, thousandRows, typical, longDive, noDive, thousandDives};
        Scaling scaling = new Scaling();
        List<Prepared> prepared = new ArrayList<>();
        try {
            for (Size size : sizes) {
                prepared.add(new Prepared(image(size.dives(), size.rowsPerDive()), VENDOR, MODEL));
                scaling.add(size, prepared.get(prepared.size() - 1));
            }
            scaling.rounds.run(WARMUPS, ROUNDS, MIN_SAMPLE_NANOS);
        } finally {
            prepared.forEach(Prepared::close);
        }
        for (int column = 0; column < WHAT.length; column++) {
            scaling.growth(column, oneRow, "per dive (one-row dive)", thousandRows, longDive,
                    "R=1,000 .. 100,000");
            scaling.growth(column, noDive, "per call (no dive)", typical, thousandDives,
                    "D=1 .. 1,000, R=3600");
        }
        for (Size size : new Size[] {shortDive, thousandDives}) {
            exportPerRow.put(size.name(), scaling.rounds.over(round
                    -> scaling.sample(size, EXPORT, round) / scaling.rows.get(size)).median());
        }
        pageFaults(typical, thousandDives);
    }

    /** Minor page faults of the process per thousand rows of one run, after a run to warm up. */
    private static double faultsPerThousandRows(Rounds.Body body, long rows) throws Exception {
        body.run();
        System.gc();
        long before = BenchNative.minorFaults();
        body.run();
        return (BenchNative.minorFaults() - before) * 1000.0 / rows;
    }

    /**
     * Whether an export lands in fresh pages, which the kernel must map and zero: the cause a
     * growth in D would have.
     */
    private void pageFaults(Size... sizes) throws Exception {
        for (Size size : sizes) {
            String port = image(size.dives(), size.rowsPerDive());
            long rows = size.rows();
            table.report("minor page faults per 1,000 rows, loadUserDivesFromDevice, "
                            + size.name(),
                    faultsPerThousandRows(() -> DeviceConnector.loadUserDivesFromDevice(
                            port, VENDOR, MODEL, new HashSet<>()), rows),
                    "faults");
        }
    }

    private static long statusKilobytes(String field) throws IOException {
        for (String line : Files.readAllLines(Path.of("/proc/self/status"))) {
            if (line.startsWith(field + ":")) {
                return Long.parseLong(line.replaceAll("[^0-9]", ""));
            }
        }
        throw new IOException(field + " not in /proc/self/status");
    }

    /** What an export asked of the JVM, counted by a JNIEnv that passes every call on. */
    private record ExportCounts(long peakReferences, long jniCalls) {}

    private static ExportCounts countedExport(String port) {
        long[] counts = new long[2];
        BenchNative.loadCounted(port, VENDOR, MODEL, new HashSet<>(), counts);
        return new ExportCounts(counts[0], counts[1]);
    }

    /**
     * The JNI calls of an export per row beyond those of {@code fixed}, at a small and a large
     * size: the conversion's work in a count that a run repeats, judged for growth.
     */
    private void jniCallGrowth(Size fixed, String fixedName, Size small, Size large, String range) {
        Map<Size, Long> calls = new HashMap<>();
        for (Size size : new Size[] {fixed, small, large}) {
            calls.put(size, countedExport(image(size.dives(), size.rowsPerDive())).jniCalls());
        }
        table.report("JNI calls, fixed " + fixedName, calls.get(fixed), "calls");
        double[] perRow = new double[2];
        Size[] judged = {small, large};
        for (int index = 0; index < judged.length; index++) {
            Size size = judged[index];
            perRow[index] = (double) (calls.get(size) - calls.get(fixed))
                    / (size.rows() - fixed.rows());
            table.report("JNI calls per row beyond it, " + size.name(), perRow[index], "calls");
        }
        table.atMost("JNI calls per row, growth " + range, perRow[1] / perRow[0], "x", 1.25);
    }

    private void jniCalls() {
        jniCallGrowth(new Size(1, 1), "per dive (one-row dive)", new Size(1, 1000),
                new Size(1, 100000), "R=1,000 .. 100,000");
        jniCallGrowth(new Size(0, 3600), "per call (no dive)", new Size(1, 3600),
                new Size(1000, 3600), "D=1 .. 1,000, R=3600");
    }

    private void memory() throws Exception {
        String oneDive = image(1, 3600);
        String thousandDives = image(1000, 3600);
        long peakOne = countedExport(oneDive).peakReferences();
        System.gc();
        long before = statusKilobytes("VmRSS");
        Files.writeString(Path.of("/proc/self/clear_refs"), "5");  // restarts the VmHWM peak
        long peakThousand = countedExport(thousandDives).peakReferences();
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
     * The export's whole time (the simulator's and the conversion's included) against the time the
     * rows take over the link, reported: a time turns with the machine and its load, so the verdict
     * is count_bench's, on the bridge's native instructions.
     */
    private void linkBudget(Path examples) throws Exception {
        String reefWeek = examples.resolve("reef-week.json").toString();
        long rows;
        try (Prepared prepared = new Prepared(reefWeek, VENDOR, MODEL)) {
            rows = prepared.rows;
        }
        Rounds rounds = new Rounds();
        int export = rounds.add(() -> DeviceConnector.loadUserDivesFromDevice(
                reefWeek, VENDOR, MODEL, new HashSet<>()));
        rounds.run(WARMUPS, ROUNDS, MIN_SAMPLE_NANOS);
        linkShare("examples/reef-week.json",
                rounds.per(export, rows).median());
        linkShare("generated D=1 R=100", exportPerRow.get("D=1 R=100"));
        linkShare("generated D=1000 R=3600", exportPerRow.get("D=1000 R=3600"));
    }

    private void linkShare(String logbook, double nanosPerRow) {
        table.report("measured: export / link time at 115200 baud, " + logbook,
                100 * nanosPerRow * 1e-9 / LINK_SECONDS_PER_ROW, "%");
    }
}
