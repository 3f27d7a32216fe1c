package coralnote.bridgetest;

import static coralnote.bridgetest.DiveDownloadTest.MODEL;
import static coralnote.bridgetest.DiveDownloadTest.VENDOR;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import java.nio.file.Path;
import java.util.LinkedHashSet;
import java.util.Set;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Runs against a host whose DeviceConnector has no downloadProgress: downloads work as before. */
@Tag("host-without-progress")
class HostWithoutProgressTest {
    @TempDir Path dir;

    @Test
    void aHostWithoutTheProgressMethodDownloadsAsBefore() throws Exception {
        assertThrows(NoSuchMethodException.class,
                () -> DeviceConnector.class.getDeclaredMethod(
                        "downloadProgress", long.class, long.class));
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 5150);
        for (int day = 1; day <= 3; day++) {
            image.dive().datetime(2024, 7, day, 9, 0, 0).field("divetime", 1800)
                    .field("maxdepth", 12.0).time(0).depth(1.0).time(10).depth(2.0);
        }
        Path port = image.writeTo(dir.resolve("logbook.json"));
        Set<Dive> dives = new LinkedHashSet<>();

        Device parent = DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives);

        assertEquals("5150", parent.getName());
        assertEquals(3, dives.size());
    }
}
