// SPDX-License-Identifier: MIT
package coralnote.bench;

import java.util.Arrays;

/** A figure measured in rounds: its median over the rounds and the range they spanned. */
record Measured(double median, double least, double most) {
    static Measured of(double[] values) {
        double[] sorted = values.clone();
        Arrays.sort(sorted);
        int middle = sorted.length / 2;
        double median = sorted.length % 2 == 1 ? sorted[middle]
                                               : (sorted[middle - 1] + sorted[middle]) / 2;
        return new Measured(median, sorted[0], sorted[sorted.length - 1]);
    }
}
