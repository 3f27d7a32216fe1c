// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static coralnote.bridgetest.DiveDownloadTest.MODEL;
import static coralnote.bridgetest.DiveDownloadTest.VENDOR;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.DiveDetails;
import coralnote.main.java.core.DiveDetails.GasMix;
import coralnote.main.java.core.exceptions.CommunicationException;
import java.lang.reflect.Method;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * Runs against a host whose DeviceConnector declares none of the optional methods (progress,
 * fingerprints, pairing, log) and whose Dive declares two of its six: every download brings every
 * dive, as before, and the Dive gets what it declares.
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
        for (String method : List.of("setTanks", "setTankPressures", "setEvents", "setDiveFields")) {
            assertFalse(Arrays.stream(Dive.class.getMethods())
                    .anyMatch(declared -> declared.getName().equals(method)), method);
        }
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 5150);
        for (int day = 1; day <= 3; day++) {
            image.dive().datetime(2024, 7, day, 9, 0, 0).field("divetime", 1800)
                    .field("maxdepth", 12.0).field("divemode", 2).gasmix(0.32, 0).gasmix(0.5, 0)
                    .tank(0, 1, 12, 232, 200, 50)
                    .time(0).depth(1.0).pressure(200, 0).event(8).sample(Map.of("cns", 0.1))
                    .time(10).depth(2.0).pressure(190, 1);
        }
        Path port = image.writeTo(dir.resolve("logbook.json"));

        for (int download = 1; download <= 2; download++) {
            Set<Dive> dives = new LinkedHashSet<>();
            Device parent =
                    DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives);
            assertEquals("5150", parent.getName());
            assertEquals(3, dives.size(), "download " + download);
            for (Dive dive : dives) {
                DiveDetails details = dive.getDetails();
                assertEquals(List.of(new GasMix(32, 0, 0), new GasMix(50, 0, 0)),
                        details.getGasMixes());
                assertEquals(List.of("cns"), List.copyOf(details.getSampleColumns().keySet()));
                assertArrayEquals(new float[] {0.1f, Float.NaN},
                        details.getSampleColumns().get("cns"));
                assertEquals(List.of(), details.getTanks());
                assertEquals(List.of(), details.getEvents());
                assertEquals(Map.of(), details.getFields());
                assertArrayEquals(new Float[] {200f, null}, dive.getPressures());
            }
        }

        Path failing = image.fault("foreach", -7).writeTo(dir.resolve("failing.json"));
        CommunicationException thrown = assertThrows(CommunicationException.class,
                () -> DeviceConnector.loadUserDivesFromDevice(
                        failing.toString(), VENDOR, MODEL, new LinkedHashSet<>()));
        assertEquals("[-7]: Error downloading the dives.", thrown.getMessage());
    }
}
