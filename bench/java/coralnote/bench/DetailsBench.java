// SPDX-License-Identifier: MIT
package coralnote.bench;

import static coralnote.bench.DownloadBench.MIN_SAMPLE_NANOS;
import static coralnote.bench.DownloadBench.MODEL;
import static coralnote.bench.DownloadBench.ROUNDS;
import static coralnote.bench.DownloadBench.VENDOR;
import static coralnote.bench.DownloadBench.WARMUPS;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.Dive;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.HashSet;
import java.util.LinkedHashSet;
import java.util.Set;

/**
 * What the optional Dive methods cost, in a JVM whose Dive declares all six: the details of the
 * bundled logbook, each dive repeated (gases, tanks, every tank's pressures, gas switches, deco,
 * ppO2 sensors, events, summary fields), handed over as primitive arrays, per value, against the
 * boxed profile per present cell, timed in the same interleaved rounds (see {@link Rounds}).
 */
public final class DetailsBench {
    /** Each dive of the logbook this many times, so that a round's fixed costs weigh little. */
    private static final int REPEATS = 10;

    private DetailsBench() {}

    public static void main(String[] args) throws Exception {
        Path examples = Path.of(args.length > 0 ? args[0] : "examples");
        String logbook = Files.readString(examples.resolve("reef-week.json"));
        Path port = Files.createTempFile("divebridge-details", ".json");
        Files.writeString(port, logbook.replace("\"datetime\": {",
                "\"repeat\": " + REPEATS + ", \"datetime\": {"));
        FigureTable table = new FigureTable();
        BenchNative.silenceStdout(true);
        long handle = BenchNative.prepareWithDetails(port.toString(), VENDOR, MODEL);
        try {
            Device parent = new Device(VENDOR, MODEL, "12345");
            // Dives whose profiles are set, in the records' order, to take the details again.
            Set<Dive> built = new LinkedHashSet<>();
            BenchNative.convert(handle, parent, built);
            Object[] dives = built.toArray();
            if (dives.length != BenchNative.dives(handle) || dives.length % REPEATS != 0) {
                throw new IllegalStateException("two dives of the logbook are equal");
            }
            Rounds rounds = new Rounds();
            int boxed = rounds.add(() -> BenchNative.convert(handle, parent, new HashSet<>()));
            int details = rounds.add(() -> BenchNative.handDetails(handle, dives));
            rounds.run(WARMUPS, ROUNDS, MIN_SAMPLE_NANOS);
            double cells = BenchNative.presentCells(handle);
            double values = BenchNative.detailValues(handle);
            String size = ", reef-week x" + REPEATS;
            table.report("boxed profile per present cell" + size, rounds.per(boxed, cells), "ns");
            table.report("details per value" + size, rounds.per(details, values), "ns");
            table.atMost("details per value / boxed profile per cell" + size,
                    rounds.over(round -> (rounds.sample(details, round) / values)
                            / (rounds.sample(boxed, round) / cells)),
                    "x", 0.1);
            table.report("detail values / present profile cells" + size, values / cells, "x");
        } finally {
            BenchNative.release(handle);
            BenchNative.silenceStdout(false);
            Files.delete(port);
        }
        table.explain("ns: process CPU time, the median of " + ROUNDS + " interleaved rounds after "
                + WARMUPS + " warm-up, with their range. A value: one number of a detail array"
                + " (a gas mix's oxygen, a tank pressure cell, an event's type, a field).");
        System.exit(table.print("Dive details") ? 0 : 1);
    }
}
