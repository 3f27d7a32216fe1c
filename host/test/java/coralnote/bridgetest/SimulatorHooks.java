// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;

/**
 * What the JVM tests observe of the native side: live simulator handles, BLE stream calls and
 * resident memory.
 */
final class SimulatorHooks {
    static {
        System.loadLibrary("dcsim_jni_hooks");
    }

    private SimulatorHooks() {}

    /** libdivecomputer handles (contexts, descriptors, iterators, devices, parsers) alive now. */
    static native int liveHandles();

    /**
     * Counts from now on the calls BLE streams make to the bridge's callbacks, and at the
     * {@code stopAt}-th (0: none) interrupts the download from inside that call, on the
     * downloading thread.
     */
    static void stopAtStreamOperation(long stopAt) {
        countStreamOperations(coralnote.main.java.core.DeviceConnector.class, stopAt);
    }

    private static native void countStreamOperations(Class<?> connector, long stopAt);

    /** The calls counted since the last {@link #stopAtStreamOperation}. */
    static native long streamOperations();

    /** The process's resident memory in KiB, from /proc/self/status. */
    static long residentKiB() throws IOException {
        for (String line : Files.readAllLines(Path.of("/proc/self/status"))) {
            if (line.startsWith("VmRSS:")) {
                return Long.parseLong(line.replaceAll("[^0-9]", ""));
            }
        }
        throw new IOException("no VmRSS line in /proc/self/status");
    }
}
