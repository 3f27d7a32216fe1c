// SPDX-License-Identifier: MIT
package coralnote.bench;

import java.util.ArrayList;
import java.util.List;
import java.util.function.IntToDoubleFunction;

/**
 * Timing in rounds: every body is timed once a round, then all again in the next round, so that a
 * busy spell of the shared machine falls on every size alike instead of on the one being timed. A
 * figure is computed from each round's samples and reported as the median over the rounds, with
 * the least and the most of them beside it.
 *
 * <p>A sample is the process's CPU time (GC and JIT threads included) of enough runs of a body to
 * last a minimum time, after a collection.
 */
final class Rounds {
    /** A body to time; it may throw what the code under test throws. */
    interface Body {
        void run() throws Exception;
    }

    private final List<Body> bodies = new ArrayList<>();
    private double[][] samples = new double[0][];
    private int rounds;

    /** Adds a body timed each round; answers its index for {@link #sample}. */
    int add(Body body) {
        bodies.add(body);
        return bodies.size() - 1;
    }

    /**
     * Calibrates each body's runs per sample to at least {@code minimumNanos}, times
     * {@code warmUps} rounds unrecorded, then {@code rounds} rounds.
     */
    void run(int warmUps, int rounds, long minimumNanos) throws Exception {
        int[] runs = new int[bodies.size()];
        for (int body = 0; body < runs.length; body++) {
            runs[body] = 1;
            while (timeRuns(bodies.get(body), runs[body]) < minimumNanos) {
                runs[body] *= 2;
            }
        }
        samples = new double[bodies.size()][rounds];
        for (int round = -warmUps; round < rounds; round++) {
            for (int body = 0; body < runs.length; body++) {
                double perRun = (double) timeRuns(bodies.get(body), runs[body]) / runs[body];
                if (round >= 0) {
                    samples[body][round] = perRun;
                }
            }
        }
        this.rounds = rounds;
    }

    /** CPU nanoseconds a run of {@code body} took in {@code round}. */
    double sample(int body, int round) {
        return samples[body][round];
    }

    /** {@code figure.applyAsDouble(round)} over every round. */
    Measured over(IntToDoubleFunction figure) {
        double[] values = new double[rounds];
        for (int round = 0; round < rounds; round++) {
            values[round] = figure.applyAsDouble(round);
        }
        return Measured.of(values);
    }

    /** The samples of {@code body} over every round, each divided by {@code units}. */
    Measured per(int body, double units) {
        return over(round -> sample(body, round) / units);
    }

    /** The samples of {@code top} over those of {@code bottom}, round by round, times {@code scale}. */
    Measured ratio(int top, int bottom, double scale) {
        return over(round -> scale * sample(top, round) / sample(bottom, round));
    }

    /** Runs the body {@code runs} times; answers the CPU nanoseconds they took. */
    private static long timeRuns(Body body, int runs) throws Exception {
        System.gc();
        long start = BenchNative.processCpuNanos();
        for (int run = 0; run < runs; run++) {
            body.run();
        }
        return BenchNative.processCpuNanos() - start;
    }
}
