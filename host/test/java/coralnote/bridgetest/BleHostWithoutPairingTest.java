// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.exceptions.CommunicationException;
import java.nio.file.Path;
import java.util.LinkedHashSet;
import java.util.Map;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * A host without the optional methods meets a dive computer that asks for its PIN, and a scan that
 * finds two of the model.
 */
@Tag("ble-host-without-extensions")
class BleHostWithoutPairingTest {
    @TempDir Path dir;

    @Test
    void aDiveComputerThatAsksForAPinIsRefusedWithTheReason() throws Exception {
        assumeTrue(BleDownloadTest.SCANS, "the i330R came with libdivecomputer 0.9");
        ImageBuilder image = new ImageBuilder(BlePairingTest.VENDOR, BlePairingTest.MODEL)
                .pinCode(BlePairingTest.PIN);
        image.dive().datetime(2025, 1, 1, 9, 0, 0).time(0).depth(3.0);
        Path port = image.writeTo(dir.resolve("i330r.json"));
        try (FakeBlueZ bluez = new FakeBlueZ(dir, FakeBlueZ.config(null,
                     FakeBlueZ.device(BlePairingTest.ADDRESS, BlePairingTest.NAME, port,
                             "shearwater", "interval_ms", 1)))) {
            // BlePairingTest's own helpers need the pairing interface this host lacks.
            CommunicationException thrown = assertThrows(CommunicationException.class,
                    () -> DeviceConnector.loadUserDivesFromDevice("LE:" + BlePairingTest.ADDRESS,
                            BlePairingTest.VENDOR, BlePairingTest.MODEL, new LinkedHashSet<>()));
            assertTrue(thrown.getMessage().endsWith("Error opening device: the dive computer"
                    + " asks for the PIN code it shows, and none was given."), thrown.getMessage());
            assertTrue(bluez.clean(), bluez.describe());
        }
    }

    /** Without a choice of its own, a host gets the first fitting device a scan finds. */
    @Test
    void aScanOpensTheFirstFittingDeviceFound() throws Exception {
        assumeTrue(BleDownloadTest.SCANS, "a scan tells the model's devices from 0.9 on");
        Path first = new ImageBuilder("Shearwater", "Perdix").writeTo(dir.resolve("first.json"));
        Map<String, Object> undiscovered = Map.of("undiscovered", true);
        try (FakeBlueZ bluez = new FakeBlueZ(dir, FakeBlueZ.config(null,
                     FakeBlueZ.device("F0:00:00:00:00:01", "Perdix 0001", first, "shearwater",
                             "interval_ms", 1, "discovery_delay_ms", 100, "faults", undiscovered),
                     FakeBlueZ.device("F0:00:00:00:00:02", "Perdix 0002", BleDownloadTest.REEF_WEEK,
                             "shearwater", "interval_ms", 1, "discovery_delay_ms", 300, "faults",
                             undiscovered)))) {
            DeviceConnector.loadUserDivesFromDevice("", "Shearwater", "Perdix",
                    new LinkedHashSet<>());
            assertEquals(1, bluez.journal("connected").size());
            assertTrue(bluez.journal("connected").get(0).contains("F0:00:00:00:00:01"));
        }
    }
}
