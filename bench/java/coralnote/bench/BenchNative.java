// SPDX-License-Identifier: MIT
package coralnote.bench;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.Dive;
import java.util.Set;

/** The benchmark-only native library: prepared downloads, the JNI floor, counted exports. */
final class BenchNative {
    static {
        System.loadLibrary("divebridge_bench");
        initFloor();
    }

    private BenchNative() {}

    /** Writes an image of {@code dives} generated dives of {@code rows} sample rows each. */
    static native void writeImage(String path, int dives, int rows);

    /** Sends the process's standard output to /dev/null, or back. */
    static native void silenceStdout(boolean silence);

    /** CPU time of the whole process (every thread, GC and JIT included), in nanoseconds. */
    static native long processCpuNanos();

    /** Minor page faults of the whole process so far. */
    static native long minorFaults();

    /** Native heap bytes in use (malloc's small blocks and mapped ones). */
    static native long nativeHeapInUse();

    /** The bridge's download alone; the records are dropped. */
    static native void download(String port, String vendor, String model);

    /** Downloads and keeps the records natively; release the handle when done. */
    static native long prepare(String port, String vendor, String model);

    /** The same, collecting every detail a Dive may take. */
    static native long prepareWithDetails(String port, String vendor, String model);

    static native void release(long handle);

    static native int dives(long handle);

    /** Rows with a depth, the rows the conversion hands to Java. */
    static native long keptRows(long handle);

    /** Present cells of the kept rows: the boxed values the conversion creates. */
    static native long presentCells(long handle);

    /** The bridge's conversion of every prepared record into {@code set}. */
    static native void convert(long handle, Device parent, Set<Dive> set);

    /** The numbers the detail arrays of every prepared record hold, handed over as they are. */
    static native long detailValues(long handle);

    /** Hands each prepared record's details to the Dive of the same place in {@code dives}. */
    static native void handDetails(long handle, Object[] dives);

    private static native void initFloor();

    /** The JNI floor for one prepared dive: its five arrays, one boxed value per present cell. */
    static native Object[] floorDive(long handle, int dive);

    /**
     * The export through a counting JNIEnv; {@code counts} receives the peak of live local
     * references and the number of JNI calls.
     */
    static native Device loadCounted(
            String port, String vendor, String model, Set<Dive> set, long[] counts);
}
