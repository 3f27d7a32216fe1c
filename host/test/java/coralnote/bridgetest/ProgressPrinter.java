// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import java.util.LinkedHashSet;
import java.util.Set;

/**
 * Downloads one dive computer and prints every progress report beside the bridge's own event
 * lines, so that a test in another JVM can compare the two on this process's standard output.
 * Arguments: port, vendor, model.
 */
public final class ProgressPrinter {
    static final String REPORT_PREFIX = "Reported: ";

    private ProgressPrinter() {}

    public static void main(String[] args) throws Exception {
        DeviceConnector.setDownloadProgressListener(
                (current, maximum) -> System.out.println(REPORT_PREFIX + current + "/" + maximum));
        Set<Dive> dives = new LinkedHashSet<>();
        DeviceConnector.loadUserDivesFromDevice(args[0], args[1], args[2], dives);
        System.out.println("Dives: " + dives.size());
    }
}
