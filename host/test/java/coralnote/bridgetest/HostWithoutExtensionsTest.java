// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static coralnote.bridgetest.DiveDownloadTest.MODEL;
import static coralnote.bridgetest.DiveDownloadTest.VENDOR;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.exceptions.CommunicationException;
import java.lang.reflect.Method;
import java.nio.file.Path;
import java.util.LinkedHashSet;
import java.util.Set;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * Runs against a host whose DeviceConnector declares none of the optional methods (progress,
 * fingerprints, pairing, log): every download brings every dive, as before.
 */
@Tag("host-without-extensions")
class HostWithoutExtensionsTest {
    @TempDir Path dir;

    @Test
    void aHostWithoutTheOptionalMethodsDownloadsAsBefore() throws Exception {
        for (Method method : DeviceConnector.class.getDeclaredMethods()) {
            assertTrue(java.lang.reflect.Modifier.isNative(method.getModifiers()),
                    method.getName());
        }
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 5150);
        for (int day = 1; day <= 3; day++) {
            image.dive().datetime(2024, 7, day, 9, 0, 0).field("divetime", 1800)
                    .field("maxdepth", 12.0).time(0).depth(1.0).time(10).depth(2.0);
        }
        Path port = image.writeTo(dir.resolve("logbook.json"));

        for (int download = 1; download <= 2; download++) {
            Set<Dive> dives = new LinkedHashSet<>();
            Device parent =
                    DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives);
            assertEquals("5150", parent.getName());
            assertEquals(3, dives.size(), "download " + download);
        }

        Path failing = image.fault("foreach", -7).writeTo(dir.resolve("failing.json"));
        CommunicationException thrown = assertThrows(CommunicationException.class,
                () -> DeviceConnector.loadUserDivesFromDevice(
                        failing.toString(), VENDOR, MODEL, new LinkedHashSet<>()));
        assertEquals("[-7]: Error downloading the dives.", thrown.getMessage());
    }
}
