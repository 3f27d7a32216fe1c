// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import coralnote.main.java.core.BluetoothPairing;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.exceptions.CommunicationException;
import coralnote.main.java.core.exceptions.NativeException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
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
 * Dive computers that pair by PIN (Aqualung i330R, Apeks DSX, from libdivecomputer 0.9): the
 * diver types the PIN once, and the access code the dive computer grants opens it from then on.
 */
@Tag("ble")
class BlePairingTest {
    static final String VENDOR = "Aqualung";
    static final String MODEL = "i330R";
    static final String ADDRESS = "D4:11:22:33:44:55";
    static final String NAME = "i330R 0012345";
    static final String PIN = "482913";

    @TempDir Path dir;
    private Path image;

    /** Remembers what it was asked, answers the PIN it is given, keeps codes by address. */
    static class Diver implements BluetoothPairing {
        final List<String> asked = new ArrayList<>();
        final Map<String, byte[]> codes = new HashMap<>();
        String pin;

        @Override
        public String pinCode(String name, String address) {
            asked.add("pin " + name + " " + address);
            return pin;
        }

        @Override
        public byte[] accessCode(String name, String address) {
            asked.add("code " + address);
            return codes.get(address);
        }

        @Override
        public void saveAccessCode(String name, String address, byte[] code) {
            asked.add("save " + address);
            codes.put(address, code);
        }
    }

    @BeforeEach
    void writeThePinProtectedImage() throws Exception {
        assumeTrue(BleDownloadTest.SCANS, "the i330R came with libdivecomputer 0.9");
        ImageBuilder builder = new ImageBuilder(VENDOR, MODEL).devinfo(1, 2, 330).pinCode(PIN);
        for (int day = 1; day <= 2; day++) {
            builder.dive().datetime(2025, 1, day, 9, 0, 0).time(0).depth(3.0);
        }
        image = builder.writeTo(dir.resolve("i330r.json"));
    }

    @AfterEach
    void forgetThePairing() {
        DeviceConnector.setBluetoothPairing(null);
    }

    static Map<String, Object> pelagicLayout() {
        return Map.of("services", List.of(Map.of(
                "uuid", "ca7b0001-f785-4c38-b599-c7c5fbadb034", "characteristics", List.of(
                        Map.of("uuid", "ca7b0002-f785-4c38-b599-c7c5fbadb034",
                                "flags", List.of("notify"), "roles", List.of("data-out")),
                        Map.of("uuid", "ca7b0003-f785-4c38-b599-c7c5fbadb034",
                                "flags", List.of("write"), "roles", List.of("data-in"))))));
    }

    private FakeBlueZ fake() throws Exception {
        return new FakeBlueZ(dir, FakeBlueZ.config(null,
                FakeBlueZ.device(ADDRESS, NAME, image, "shearwater", "layout", pelagicLayout(),
                        "interval_ms", 1)));
    }

    static Set<Dive> download() throws Exception {
        Set<Dive> dives = new LinkedHashSet<>();
        DeviceConnector.loadUserDivesFromDevice("LE:" + ADDRESS, VENDOR, MODEL, dives);
        return dives;
    }

    @Test
    void theFirstDownloadAsksForThePinOnceAndTheNextPresentsTheCode() throws Exception {
        Diver diver = new Diver();
        diver.pin = PIN;
        DeviceConnector.setBluetoothPairing(diver);
        try (FakeBlueZ bluez = fake()) {
            assertEquals(2, download().size());
            assertEquals(List.of("code " + ADDRESS, "pin " + NAME + " " + ADDRESS,
                    "save " + ADDRESS), diver.asked);
            byte[] granted = diver.codes.get(ADDRESS);
            assertNotNull(granted);

            diver.asked.clear();
            assertEquals(2, download().size());
            assertEquals(List.of("code " + ADDRESS), diver.asked);
            assertArrayEquals(granted, diver.codes.get(ADDRESS));
        }
    }

    @Test
    void aWrongPinOrNoneIsRefusedAndSaysWhy() throws Exception {
        Diver diver = new Diver();
        DeviceConnector.setBluetoothPairing(diver);
        try (FakeBlueZ bluez = fake()) {
            diver.pin = "111111";
            CommunicationException wrong = assertThrows(CommunicationException.class,
                    BlePairingTest::download);
            assertTrue(wrong.getMessage().endsWith(
                    "Error opening device: the dive computer refused the PIN code."),
                    wrong.getMessage());

            diver.pin = null;
            CommunicationException none = assertThrows(CommunicationException.class,
                    BlePairingTest::download);
            assertTrue(none.getMessage().endsWith("Error opening device: the dive computer asks"
                    + " for the PIN code it shows, and none was given."), none.getMessage());
            assertTrue(diver.codes.isEmpty());
            assertTrue(bluez.clean(), bluez.describe());
        }
    }

    @Test
    void aPairingThatThrowsEndsTheDownloadWithItsExceptionAsTheCause() throws Exception {
        IllegalStateException gone = new IllegalStateException("the dialog was closed");
        DeviceConnector.setBluetoothPairing(new Diver() {
            @Override
            public String pinCode(String name, String address) {
                throw gone;
            }
        });
        try (FakeBlueZ bluez = fake()) {
            NativeException thrown = assertThrows(NativeException.class, BlePairingTest::download);
            assertEquals("Could not ask the application for the Bluetooth PIN code.",
                    thrown.getMessage());
            assertEquals(gone, thrown.getCause());
            assertTrue(bluez.clean(), bluez.describe());
        }
    }
}
