// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static coralnote.bridgetest.DiveDownloadTest.MODEL;
import static coralnote.bridgetest.DiveDownloadTest.VENDOR;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.LibdivecomputerLog;
import coralnote.main.java.core.exceptions.CommunicationException;
import coralnote.main.java.core.exceptions.NativeException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Set;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** libdivecomputer's log reaching a host that declares libdivecomputerLog. */
@Tag("download")
class LibdivecomputerLogTest {
    @TempDir Path dir;

    private final List<String> lines = new ArrayList<>();

    @AfterEach
    void forgetTheLog() {
        DeviceConnector.setLibdivecomputerLog(null);
    }

    private ImageBuilder twoDives() {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 77);
        for (int day = 1; day <= 2; day++) {
            image.dive().datetime(2024, 5, day, 9, 0, 0).time(0).depth(1.0);
        }
        return image;
    }

    @Test
    void aFailingDownloadTellsTheHostWhatLibdivecomputerSaidOfIt() throws Exception {
        DeviceConnector.setLibdivecomputerLog((level, message) -> lines.add(level + " " + message));
        Path port = twoDives().log(LibdivecomputerLog.INFO, "connected to the dive computer")
                .fault("foreach", -7).writeTo(dir.resolve("failing.json"));

        assertThrows(CommunicationException.class, () -> DeviceConnector.loadUserDivesFromDevice(
                port.toString(), VENDOR, MODEL, new LinkedHashSet<>()));

        assertEquals("3 connected to the dive computer", lines.get(0));
        String error = lines.get(lines.size() - 1);
        assertTrue(error.startsWith("1 ") && error.contains("(status -7)")
                && error.contains(" [in api_device.cpp:") && error.endsWith("(dc_device_foreach)]"),
                error);
    }

    /** Bytes that are not UTF-8 reach Java as far as it can hold them: each as U+FFFD. */
    @Test
    void aLineThatIsNotUtf8ReachesJavaWhole() throws Exception {
        DeviceConnector.setLibdivecomputerLog((level, message) -> lines.add(message));
        // "A", a lone continuation byte, "B", an emoji (four bytes), a truncated sequence, "C".
        Path port = twoDives().logBytes(LibdivecomputerLog.WARNING, "41ff42f09f9880e28243")
                .writeTo(dir.resolve("bytes.json"));

        Set<Dive> dives = new LinkedHashSet<>();
        DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives);

        assertEquals(2, dives.size());
        assertTrue(lines.get(0).startsWith("A\uFFFDB\uD83D\uDE00\uFFFD\uFFFDC [in "), lines.get(0));
    }

    @Test
    void aLogThatThrowsEndsTheDownloadWithItsExceptionAsTheCause() throws Exception {
        IllegalStateException refused = new IllegalStateException("disk full");
        DeviceConnector.setLibdivecomputerLog((level, message) -> {
            throw refused;
        });
        Path port = twoDives().log(LibdivecomputerLog.ERROR, "first line").log(
                LibdivecomputerLog.ERROR, "second line").writeTo(dir.resolve("logged.json"));

        Set<Dive> dives = new LinkedHashSet<>();
        NativeException thrown = assertThrows(NativeException.class,
                () -> DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives));

        assertEquals("Could not report the libdivecomputer log.", thrown.getMessage());
        assertInstanceOf(IllegalStateException.class, thrown.getCause());
        assertTrue(dives.isEmpty());
    }
}
