// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static coralnote.bridgetest.DiveDownloadTest.MODEL;
import static coralnote.bridgetest.DiveDownloadTest.VENDOR;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.exceptions.CommunicationException;
import coralnote.main.java.core.exceptions.NativeException;
import coralnote.main.java.core.exceptions.UnknownDeviceException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.function.Consumer;
import java.util.stream.Stream;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/** Every kind of failure reaches Java as the right exception, with the device closed. */
@Tag("download")
class DownloadFailureTest {
    @TempDir Path dir;

    private Path journal() {
        return dir.resolve("journal.log");
    }

    /** An image of three plain dives; {@code third} may break the last one. */
    private ImageBuilder threeDives(Consumer<ImageBuilder.DiveBuilder> third) {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 777).journal(journal());
        for (int day = 1; day <= 3; day++) {
            ImageBuilder.DiveBuilder dive = image.dive().datetime(2023, 5, day, 9, 0, 0)
                    .field("divetime", 2700).field("maxdepth", 21.0).gasmix(0.21, 0)
                    .time(0).depth(1.0).time(10).depth(2.0);
            if (day == 3) {
                third.accept(dive);
            }
        }
        return image;
    }

    private NativeException download(Class<? extends NativeException> type, String message,
            ImageBuilder image, Set<Dive> dives) throws Exception {
        Path port = image.writeTo(dir.resolve("image.json"));
        NativeException thrown = assertThrows(NativeException.class,
                () -> DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives));
        assertSame(type, thrown.getClass());
        assertEquals(message, thrown.getMessage());
        return thrown;
    }

    private void assertClosedAfterOpening() throws Exception {
        List<String> calls = ImageBuilder.readJournal(journal());
        assertEquals("open", calls.get(0));
        assertEquals("close", calls.get(calls.size() - 1));
    }

    @Test
    void openingFailsAsCommunicationFailure() throws Exception {
        download(CommunicationException.class, "[-6]: Error opening device.",
                threeDives(dive -> {}).fault("open", -6), new LinkedHashSet<>());

        assertFalse(ImageBuilder.readJournal(journal()).contains("set_events"));
        assertFalse(ImageBuilder.readJournal(journal()).contains("close"));
    }

    @Test
    void aPortWithoutDeviceFailsToOpen() {
        String port = dir.resolve("no-such-device").toString();
        NativeException thrown = assertThrows(NativeException.class,
                () -> DeviceConnector.loadUserDivesFromDevice(port, VENDOR, MODEL, new LinkedHashSet<>()));

        assertSame(CommunicationException.class, thrown.getClass());
        assertEquals("[-4]: Error opening device.", thrown.getMessage());
    }

    @Test
    void hooksThatCannotBeRegisteredFailAfterClosing() throws Exception {
        download(NativeException.class, "[-2]: Error registering the event handler.",
                threeDives(dive -> {}).fault("set_events", -2), new LinkedHashSet<>());
        assertClosedAfterOpening();

        download(NativeException.class, "[-5]: Error registering the cancellation handler.",
                threeDives(dive -> {}).fault("set_cancel", -5), new LinkedHashSet<>());
        assertEquals(List.of("open", "set_events", "close", "open", "set_events", "set_cancel",
                             "close"),
                ImageBuilder.readJournal(journal()));
    }

    @Test
    void aFailedTransferDeliversNoDive() throws Exception {
        Set<Dive> dives = new LinkedHashSet<>();
        download(CommunicationException.class, "[-7]: Error downloading the dives.",
                threeDives(dive -> {}).fault("foreach", -7).fault("foreach_after", 2), dives);

        assertTrue(dives.isEmpty());
        assertClosedAfterOpening();
    }

    @Test
    void aDiveThatCannotBeParsedEndsTheDownload() throws Exception {
        Set<Dive> dives = new LinkedHashSet<>();
        download(NativeException.class, "[-9]: Error parsing the datetime.",
                threeDives(dive -> dive.fault("datetime", -9)), dives);

        assertTrue(dives.isEmpty());
        assertClosedAfterOpening();
    }

    @Test
    void anUnknownDeviceIsNamedInFullAndNothingIsOpened() {
        String port = dir.resolve("image.json").toString();
        NativeException thrown = assertThrows(NativeException.class,
                () -> DeviceConnector.loadUserDivesFromDevice(port, "Acme", "Nemo", new LinkedHashSet<>()));

        assertSame(UnknownDeviceException.class, thrown.getClass());
        assertEquals("No matching device found: vendor='Acme', model='Nemo', port='" + port + "'",
                thrown.getMessage());
    }

    static Stream<Arguments> conversionFailures() {
        return Stream.of(
                Arguments.of("Could not create dive.",
                        (Consumer<ImageBuilder.DiveBuilder>) dive -> dive.field("maxdepth", -1.0)),
                Arguments.of("Could not create gas.",
                        (Consumer<ImageBuilder.DiveBuilder>) dive -> dive.field("gasmixes",
                                List.of(Map.of("oxygen", 0.8, "helium", 0.5)))),
                Arguments.of("Could not create cylinder.",
                        (Consumer<ImageBuilder.DiveBuilder>) dive -> dive.tank(0, 1,
                                Double.POSITIVE_INFINITY, 232, 200, 50)),
                Arguments.of("Could not set dive profile.",
                        (Consumer<ImageBuilder.DiveBuilder>) dive -> dive.time(5).depth(3.0)));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("conversionFailures")
    void aDiveTheHostRejectsEndsTheCallKeepingEarlierDives(String message,
            Consumer<ImageBuilder.DiveBuilder> breakDive) throws Exception {
        Set<Dive> dives = new LinkedHashSet<>();
        NativeException thrown =
                download(NativeException.class, message, threeDives(breakDive), dives);

        assertSame(IllegalArgumentException.class, thrown.getCause().getClass());
        List<String> starts = new ArrayList<>();
        dives.forEach(dive -> starts.add(dive.getStart()));
        assertEquals(List.of("2023-05-01 09:00:00", "2023-05-02 09:00:00"), starts);
        assertClosedAfterOpening();
    }

    @Test
    void aSetThatRefusesDivesEndsTheCall() throws Exception {
        NativeException thrown = download(NativeException.class, "Could not save dive.",
                threeDives(dive -> {}), Set.of());

        assertSame(UnsupportedOperationException.class, thrown.getCause().getClass());
        assertClosedAfterOpening();
    }

    @Test
    void aMissingSetIsOneClearFailureBeforeAnythingOpens() throws Exception {
        Path port = threeDives(dive -> {}).writeTo(dir.resolve("image.json"));
        NativeException thrown = assertThrows(NativeException.class,
                () -> DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, null));

        assertFalse(thrown.getMessage().isBlank());
        assertTrue(ImageBuilder.readJournal(journal()).isEmpty());
    }
}
