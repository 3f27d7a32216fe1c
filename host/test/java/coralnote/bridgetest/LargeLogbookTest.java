// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import java.nio.file.Path;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * A logbook of 1,000 dives of 3,600 rows in one call: run under -Xcheck:jni, whose runner fails on
 * any warning, such as live local references beyond what the bridge reserved for one dive.
 */
@Tag("large")
class LargeLogbookTest {
    private static final int DIVES = 1000;
    private static final int ROWS = 3600;

    @TempDir Path dir;

    @Test
    void everyDiveOfAThousandArrivesWithItsWholeProfile() throws Exception {
        ImageBuilder image = new ImageBuilder("Suunto", "Vyper").devinfo(1, 2, 77);
        image.dive()
                .datetime(2020, 1, 1, 9, 0, 0)
                .field("divetime", ROWS)
                .field("maxdepth", 30.0)
                .field("repeat", DIVES)
                .field("generate", Map.of("rows", ROWS, "interval", 1, "maxdepth", 30.0,
                        "pressure", List.of(200, 50), "temperature", 18.0))
                .gasmix(0.32, 0.0);
        Path port = image.writeTo(dir.resolve("logbook.json"));

        Set<Dive> dives = new HashSet<>();
        Device device = DeviceConnector.loadUserDivesFromDevice(port.toString(), "Suunto",
                "Vyper", dives);

        assertNotNull(device);
        assertEquals("77", device.getName());
        assertEquals(DIVES, dives.size());
        for (Dive dive : dives) {
            assertEquals(ROWS, dive.getDepths().length, dive.getStart());
            assertEquals(ROWS, dive.getPressures().length, dive.getStart());
        }
    }
}
