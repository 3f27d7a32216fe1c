// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import coralnote.main.java.core.exceptions.CommunicationException;
import java.nio.file.Path;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * The bridge loaded from a folder without its BlueZ plug-in, as on a machine where Bluetooth LE
 * cannot load: every other transport works, and a BLE download says what it needs.
 */
@Tag("ble-unavailable")
class BleUnavailableTest {
    @TempDir Path dir;

    @Test
    void aSerialDownloadWorksAndABleDownloadSaysWhatItNeeds() throws Exception {
        assertFalse(BleDownloadTest.download(BleDownloadTest.REEF_WEEK.toString()).isEmpty());
        try (FakeBlueZ bluez = new FakeBlueZ(dir, FakeBlueZ.config(null,
                     FakeBlueZ.device(BleDownloadTest.ADDRESS, "Perdix", BleDownloadTest.REEF_WEEK,
                             "shearwater")))) {
            CommunicationException thrown = assertThrows(CommunicationException.class,
                    () -> BleDownloadTest.download("LE:" + BleDownloadTest.ADDRESS));
            assertTrue(thrown.getMessage().startsWith("[-1]: Error opening device: Bluetooth LE"
                    + " needs the bridge's BlueZ plug-in (libdivebridge_bluez.so beside the"
                    + " bridge)"), thrown.getMessage());
            assertTrue(bluez.journal("connected").isEmpty());
        }
    }
}
