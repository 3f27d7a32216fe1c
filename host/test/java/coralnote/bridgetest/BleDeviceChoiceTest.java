// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import coralnote.main.java.core.BluetoothDeviceChoice;
import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.exceptions.CommunicationException;
import coralnote.main.java.core.exceptions.NativeException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * Two dive computers of the model in range, the diver's and a buddy's, and a device of another
 * kind: a scan offers the host the two, and opens the one it picks.
 */
@Tag("ble")
class BleDeviceChoiceTest {
    static final String MINE = "F0:00:00:00:00:01";
    static final String BUDDYS = "F0:00:00:00:00:02";

    @TempDir Path dir;
    private Path myImage;
    private Path buddysImage;

    /** Remembers what it was offered and answers as the test says. */
    static class Diver implements BluetoothDeviceChoice {
        final List<String> offered = new ArrayList<>();
        String answer;

        @Override
        public String choose(String[] names, String[] addresses) {
            for (int i = 0; i < names.length; i++) {
                offered.add(names[i] + " " + addresses[i]);
            }
            return answer;
        }
    }

    @BeforeEach
    void writeTwoLogbooks() throws Exception {
        assumeTrue(BleDownloadTest.SCANS, "a scan tells the model's devices from 0.9 on");
        ImageBuilder mine = new ImageBuilder("Shearwater", "Perdix");
        mine.dive().datetime(2025, 2, 1, 9, 0, 0).time(0).depth(5.0);
        myImage = mine.writeTo(dir.resolve("mine.json"));
        ImageBuilder buddys = new ImageBuilder("Shearwater", "Perdix");
        for (int day = 1; day <= 2; day++) {
            buddys.dive().datetime(2025, 3, day, 9, 0, 0).time(0).depth(7.0);
        }
        buddysImage = buddys.writeTo(dir.resolve("buddys.json"));
    }

    @AfterEach
    void forgetTheChoice() {
        DeviceConnector.setBluetoothDeviceChoice(null);
    }

    private FakeBlueZ fake() throws Exception {
        Map<String, Object> undiscovered = Map.of("undiscovered", true);
        return new FakeBlueZ(dir, FakeBlueZ.config(null,
                FakeBlueZ.device("C0:00:00:00:00:09", "Polar H10 1234", myImage, "shearwater",
                        "discovery_delay_ms", 50, "faults", undiscovered),
                FakeBlueZ.device(MINE, "Perdix 0001", myImage, "shearwater", "interval_ms", 1,
                        "discovery_delay_ms", 100, "faults", undiscovered),
                FakeBlueZ.device(BUDDYS, "Perdix 0002", buddysImage, "shearwater",
                        "interval_ms", 1, "discovery_delay_ms", 300, "faults", undiscovered)));
    }

    private static Device scan(Set<Dive> dives) throws Exception {
        return DeviceConnector.loadUserDivesFromDevice("", "Shearwater", "Perdix", dives);
    }

    @Test
    void theHostIsOfferedBothAndTheOneItPicksIsOpened() throws Exception {
        Diver diver = new Diver();
        diver.answer = BUDDYS.toLowerCase();
        DeviceConnector.setBluetoothDeviceChoice(diver);
        try (FakeBlueZ bluez = fake()) {
            Set<Dive> dives = new LinkedHashSet<>();
            scan(dives);
            assertEquals(List.of("Perdix 0001 " + MINE, "Perdix 0002 " + BUDDYS),
                    diver.offered);
            assertEquals(BleDownloadTest.download(buddysImage.toString()), dives);
            assertTrue(bluez.clean(), bluez.describe());
        }
    }

    @Test
    void nonePickedOrAStopWhileAskedIsAStoppedDownloadAndAnotherAddressFails() throws Exception {
        Diver diver = new Diver();
        DeviceConnector.setBluetoothDeviceChoice(diver);
        try (FakeBlueZ bluez = fake()) {
            Set<Dive> dives = new LinkedHashSet<>();
            assertNotNull(scan(dives));
            assertTrue(dives.isEmpty());

            DeviceConnector.setBluetoothDeviceChoice((names, addresses) -> {
                DeviceConnector.interruptDeviceDownload();
                return addresses[0];
            });
            assertNotNull(scan(dives));
            assertTrue(dives.isEmpty());

            diver.answer = "C0:00:00:00:00:09";
            DeviceConnector.setBluetoothDeviceChoice(diver);
            CommunicationException thrown =
                    assertThrows(CommunicationException.class, () -> scan(dives));
            assertEquals("[-2]: Error opening device: the application chose 'C0:00:00:00:00:09',"
                    + " which is not one of the dive computers found.", thrown.getMessage());
            assertTrue(bluez.journal("connected").isEmpty());
            assertTrue(bluez.clean(), bluez.describe());
        }
    }

    @Test
    void aChoiceThatThrowsEndsTheDownloadWithItsExceptionAsTheCause() throws Exception {
        IllegalStateException closed = new IllegalStateException("the dialog was closed");
        DeviceConnector.setBluetoothDeviceChoice((names, addresses) -> {
            throw closed;
        });
        try (FakeBlueZ bluez = fake()) {
            NativeException thrown =
                    assertThrows(NativeException.class, () -> scan(new LinkedHashSet<>()));
            assertEquals("Could not ask the application which dive computer to use.",
                    thrown.getMessage());
            assertSame(closed, thrown.getCause());
            assertTrue(bluez.clean(), bluez.describe());
        }
    }
}
