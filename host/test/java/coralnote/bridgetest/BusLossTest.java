// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.exceptions.CommunicationException;
import java.nio.file.Path;
import java.util.List;
import java.util.Set;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * The system bus goes away in the middle of a BLE download (its daemon restarted): the download
 * fails as a broken transfer does, and the JVM lives on. A JVM of its own, since the bus stays
 * gone after it.
 */
@Tag("ble-bus-loss")
class BusLossTest {
    @TempDir Path dir;

    @AfterEach
    void removeTheListener() {
        DeviceConnector.setDownloadProgressListener(null);
    }

    /** The private bus's daemon: a sibling of this JVM, started by the same script. */
    private static ProcessHandle busDaemon() {
        List<ProcessHandle> daemons = ProcessHandle.current().parent().orElseThrow().children()
                .filter(p -> p.info().command().map(c -> c.endsWith("dbus-daemon")).orElse(false))
                .toList();
        assertEquals(1, daemons.size(), "the private bus's daemon");
        return daemons.get(0);
    }

    @Test
    void aDownloadWhoseBusGoesAwayFailsWithoutEndingTheJvm() throws Exception {
        try (FakeBlueZ bluez = new FakeBlueZ(dir, FakeBlueZ.config(null,
                     FakeBlueZ.device(BleDownloadTest.ADDRESS, "Perdix", BleDownloadTest.REEF_WEEK,
                             "shearwater", "interval_ms", 50)))) {
            CountDownLatch transferring = new CountDownLatch(3);
            DeviceConnector.setDownloadProgressListener((current, max) -> transferring.countDown());
            CompletableFuture<Set<Dive>> download = CompletableFuture.supplyAsync(() -> {
                try {
                    return BleDownloadTest.download("LE:" + BleDownloadTest.ADDRESS);
                } catch (Exception e) {
                    throw new IllegalStateException(e);
                }
            });
            assertTrue(transferring.await(20, TimeUnit.SECONDS));
            ProcessHandle daemon = busDaemon();
            assertTrue(daemon.destroyForcibly());
            daemon.onExit().get(10, TimeUnit.SECONDS);

            ExecutionException failed = assertThrows(ExecutionException.class,
                    () -> download.get(20, TimeUnit.SECONDS));
            CommunicationException thrown =
                    assertInstanceOf(CommunicationException.class, failed.getCause().getCause());
            assertTrue(thrown.getMessage().endsWith("Error downloading the dives."),
                    thrown.getMessage());
        }
        CommunicationException noBus = assertThrows(CommunicationException.class,
                () -> BleDownloadTest.download("LE:" + BleDownloadTest.ADDRESS));
        assertTrue(noBus.getMessage().contains("the system D-Bus cannot be reached"),
                noBus.getMessage());
        assertFalse(BleDownloadTest.download(BleDownloadTest.REEF_WEEK.toString()).isEmpty(),
                "a serial download still works");
    }
}
