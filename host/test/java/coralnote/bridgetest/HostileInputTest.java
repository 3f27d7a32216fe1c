// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static coralnote.bridgetest.DiveDownloadTest.MODEL;
import static coralnote.bridgetest.DiveDownloadTest.VENDOR;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTimeoutPreemptively;
import static org.junit.jupiter.api.Assertions.assertTrue;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.exceptions.CommunicationException;
import coralnote.main.java.core.exceptions.NativeException;
import coralnote.main.java.core.exceptions.UnknownDeviceException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.stream.Stream;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * Input nobody should send, through the real JVM: every call ends in one exception of the host's
 * family or in dives whose values are what the dive computer reported, and leaves no native
 * handle alive.
 */
@Tag("hostile")
class HostileInputTest {
    private static final String MEBI_TEXT = "x".repeat(1 << 20);
    private static final long UNSIGNED_MAX = 4294967295L;

    @TempDir Path dir;

    @AfterEach
    void nothingNativeIsLeftAlive() {
        assertEquals(0, SimulatorHooks.liveHandles());
    }

    private Path plainImage(String name) throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 99);
        image.dive().datetime(2024, 5, 1, 9, 0, 0).field("divetime", 1800).field("maxdepth", 12.0)
                .gasmix(0.21, 0).time(0).depth(1.0).time(10).depth(2.0);
        return image.writeTo(dir.resolve(name));
    }

    private static <T extends NativeException> T assertFails(Class<T> type, String message,
            String port, String vendor, String model, Set<Dive> dives) {
        NativeException thrown = assertThrows(NativeException.class,
                () -> DeviceConnector.loadUserDivesFromDevice(port, vendor, model, dives));
        assertSame(type, thrown.getClass(), thrown::toString);
        if (message != null) {
            assertEquals(message, thrown.getMessage());
        }
        return type.cast(thrown);
    }

    private static String noMatch(String vendor, String model, String port) {
        return "No matching device found: vendor='" + vendor + "', model='" + model + "', port='"
                + port + "'";
    }

    // Texts -----------------------------------------------------------------------------------

    @Test
    void nullTextsEndInOneExceptionEach() throws Exception {
        String port = plainImage("plain.json").toString();
        Set<Dive> dives = new LinkedHashSet<>();

        assertFails(CommunicationException.class, "[-2]: Error opening device.", null, VENDOR,
                MODEL, dives);
        assertFails(UnknownDeviceException.class, noMatch(VENDOR, "", port), port, VENDOR, null,
                dives);
        assertFails(UnknownDeviceException.class, noMatch("", "", ""), null, null, null, dives);
        assertTrue(dives.isEmpty());

        Device parent = DeviceConnector.loadUserDivesFromDevice(port, null, MODEL, dives);
        assertNull(parent.getVendor());
        assertEquals(1, dives.size());
    }

    @Test
    void emptyTextsEndInOneExceptionEach() throws Exception {
        String port = plainImage("plain.json").toString();
        Set<Dive> dives = new LinkedHashSet<>();

        assertFails(CommunicationException.class, "[-4]: Error opening device.", "", VENDOR, MODEL,
                dives);
        assertFails(UnknownDeviceException.class, noMatch("", "", port), port, "", "", dives);
        assertFails(UnknownDeviceException.class, noMatch(VENDOR, "", port), port, VENDOR, "",
                dives);
        assertTrue(dives.isEmpty());
    }

    @Test
    void mebibyteTextsAreCarriedWholeIntoTheMessage() throws Exception {
        String port = plainImage("plain.json").toString();
        Set<Dive> dives = new LinkedHashSet<>();

        assertFails(UnknownDeviceException.class, noMatch(MEBI_TEXT, MODEL, port), port,
                MEBI_TEXT, MODEL, dives);
        assertFails(UnknownDeviceException.class, noMatch(VENDOR, MEBI_TEXT, port), port, VENDOR,
                MEBI_TEXT, dives);
        // No file system takes a path of a mebibyte: the port cannot be opened.
        assertFails(CommunicationException.class, "[-6]: Error opening device.", MEBI_TEXT, VENDOR,
                MODEL, dives);
        assertTrue(dives.isEmpty());
    }

    @ParameterizedTest
    @ValueSource(strings = {"Heinrichs Wéikamp", "海鸥 \uD83D\uDC20", "nul\u0000inside",
                            "lone \uD800 surrogate", "\u00FF\uFFFF"})
    void nonAsciiTextsComeBackUnchanged(String text) throws Exception {
        String port = plainImage("plain.json").toString();
        Set<Dive> dives = new LinkedHashSet<>();

        assertFails(UnknownDeviceException.class, noMatch(text, MODEL, port), port, text, MODEL,
                dives);
        assertFails(UnknownDeviceException.class, noMatch(VENDOR, text, port), port, VENDOR, text,
                dives);
        // Built as text: a path object cannot hold every one of these characters.
        String missing = dir + "/" + text;
        assertFails(CommunicationException.class, "[-4]: Error opening device.", missing, VENDOR,
                MODEL, dives);
        assertTrue(dives.isEmpty());
    }

    @Test
    void aPortNamedOutsideAsciiOpens() throws Exception {
        Path port = plainImage("tauchgänge-ÄÖÜ.json");
        Set<Dive> dives = new LinkedHashSet<>();

        Device parent = DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives);

        assertEquals("99", parent.getName());
        assertEquals(1, dives.size());
    }

    @Test
    void aNullSetFailsBeforeAnythingIsOpened() throws Exception {
        Path journal = dir.resolve("journal.log");
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).journal(journal);
        image.dive().time(0).depth(1.0);
        Path port = image.writeTo(dir.resolve("image.json"));

        assertFails(NativeException.class, "The set for the downloaded dives is null.",
                port.toString(), VENDOR, MODEL, null);
        assertEquals(List.of(), ImageBuilder.readJournal(journal));
    }

    // Images ----------------------------------------------------------------------------------

    static Stream<Arguments> damagedImages() throws Exception {
        String whole = Files.readString(Path.of(System.getProperty("divebridge.examples"),
                "reef-week.json"));
        String own = whole.replace("\"Shearwater\"", "\"" + VENDOR + "\"")
                .replace("\"Perdix\"", "\"" + MODEL + "\"");
        List<Arguments> images = new ArrayList<>();
        images.add(Arguments.of("empty", new byte[0]));
        images.add(Arguments.of("binary", new byte[] {0, (byte) 0xFF, 0x7F, (byte) 0xC0, 0x0A}));
        images.add(Arguments.of("array", "[1, 2, 3]".getBytes(StandardCharsets.UTF_8)));
        images.add(Arguments.of("unknown key",
                ("{\"vendor\":\"" + VENDOR + "\",\"product\":\"" + MODEL + "\",\"dvies\":[]}")
                        .getBytes(StandardCharsets.UTF_8)));
        images.add(Arguments.of("other model", whole.getBytes(StandardCharsets.UTF_8)));
        images.add(Arguments.of("invalid UTF-8",
                own.replace("\"Heinrichs", "\"\u00FFHeinrichs").getBytes(StandardCharsets.ISO_8859_1)));
        for (int eighth = 1; eighth < 8; eighth++) {
            images.add(Arguments.of("cut at " + eighth + "/8",
                    own.substring(0, own.length() * eighth / 8).getBytes(StandardCharsets.UTF_8)));
        }
        images.add(Arguments.of("last byte cut",
                own.strip().substring(0, own.strip().length() - 1).getBytes(StandardCharsets.UTF_8)));
        return images.stream();
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("damagedImages")
    void aDamagedImageFailsToOpen(String name, byte[] content) throws Exception {
        Path port = Files.write(dir.resolve("damaged.json"), content);
        Set<Dive> dives = new LinkedHashSet<>();

        assertFails(CommunicationException.class, "[-6]: Error opening device.", port.toString(),
                VENDOR, MODEL, dives);
        assertTrue(dives.isEmpty());
    }

    @Test
    void aDirectoryAsPortFailsToOpen() {
        assertFails(CommunicationException.class, "[-6]: Error opening device.", dir.toString(),
                VENDOR, MODEL, new LinkedHashSet<>());
    }

    // Counts ----------------------------------------------------------------------------------

    static Stream<Arguments> absurdCounts() {
        return Stream.of(
                Arguments.of("gasmix_count", "[-2]: Error parsing the gas mix."),
                Arguments.of("tank_count", "[-2]: Error parsing the tank."));
    }

    /** A dive claiming 4 294 967 295 entries while holding two: the third read fails at once. */
    @ParameterizedTest(name = "{0}")
    @MethodSource("absurdCounts")
    void anAbsurdCountEndsWithTheReadersMessage(String count, String message) throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL);
        image.dive().datetime(2024, 5, 1, 9, 0, 0).gasmix(0.21, 0).gasmix(0.5, 0)
                .tank(0, 1, 12, 232, 200, 50).tank(1, 1, 7, 200, 200, 150)
                .field(count, UNSIGNED_MAX).time(0).depth(1.0);
        Path port = image.writeTo(dir.resolve("counts.json"));
        Set<Dive> dives = new LinkedHashSet<>();

        assertTimeoutPreemptively(Duration.ofSeconds(30), () -> assertFails(NativeException.class,
                message, port.toString(), VENDOR, MODEL, dives));
        assertTrue(dives.isEmpty());
    }

    // Values ----------------------------------------------------------------------------------

    private Set<Dive> download(ImageBuilder image) throws Exception {
        Path port = image.writeTo(dir.resolve("values.json"));
        Set<Dive> dives = new LinkedHashSet<>();
        DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives);
        return dives;
    }

    private static ImageBuilder.DiveBuilder plainDive(ImageBuilder image) {
        return image.dive().datetime(2024, 5, 1, 9, 0, 0).field("divetime", 1800)
                .field("maxdepth", 12.0);
    }

    @ParameterizedTest
    @ValueSource(doubles = {Double.NaN, Double.POSITIVE_INFINITY, Double.NEGATIVE_INFINITY})
    void nonFiniteSummaryValuesAreNeverPresentedAsMeasurements(double value) throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL);
        plainDive(image).field("avgdepth", value).field("temperature_minimum", value)
                .gasmix(0.21, 0).tank(0, 1, 12, 232, value, 50).time(0).depth(1.0);
        plainDive(image).datetime(2024, 5, 2, 9, 0, 0).field("avgdepth", 8.0)
                .field("temperature_minimum", 20.0)
                .gasmix(value, 0).tank(0, 1, 12, 232, 200, value).time(0).depth(1.0);

        List<Dive> dives = new ArrayList<>(download(image));

        assertEquals(2, dives.size());
        Dive first = dives.get(0);
        assertNull(first.getAverageDepth());
        assertNull(first.getBottomTemperature());
        assertNull(first.getUsedPressure());
        assertEquals("Air", String.valueOf(first.getGas()));
        Dive second = dives.get(1);
        assertEquals(8.0f, second.getAverageDepth());
        assertNull(second.getUsedPressure());
        assertNull(second.getGas());
    }

    @Test
    void valuesBeyondTheRangeOfAFloatAreNeverPresentedAsMeasurements() throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL);
        plainDive(image).field("avgdepth", 1e300).field("temperature_minimum", -1e300)
                .gasmix(0.21, 0).tank(0, 1, 12, 232, 1e300, 50).time(0).depth(1.0);

        Dive dive = download(image).iterator().next();

        assertNull(dive.getAverageDepth());
        assertNull(dive.getBottomTemperature());
        assertNull(dive.getUsedPressure());
    }

    /** Values the host validates itself come back as the host's refusal, chained. */
    static Stream<Arguments> refusedValues() {
        return Stream.of(
                Arguments.of("maxdepth", Double.NaN, "Could not create dive."),
                Arguments.of("maxdepth", Double.POSITIVE_INFINITY, "Could not create dive."),
                Arguments.of("maxdepth", -5.0, "Could not create dive."),
                Arguments.of("volume", Double.POSITIVE_INFINITY, "Could not create cylinder."),
                Arguments.of("workpressure", Double.POSITIVE_INFINITY,
                        "Could not create cylinder."));
    }

    @ParameterizedTest(name = "{0} {1}")
    @MethodSource("refusedValues")
    void valuesTheHostRefusesEndInItsException(String what, double value, String message)
            throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL);
        ImageBuilder.DiveBuilder dive = plainDive(image).gasmix(0.21, 0).time(0).depth(1.0);
        if (what.equals("maxdepth")) {
            dive.field("maxdepth", value);
        } else {
            dive.tank(0, 1, what.equals("volume") ? value : 12, what.equals("volume") ? 232 : value,
                    200, 50);
        }
        Path port = image.writeTo(dir.resolve("refused.json"));

        NativeException thrown = assertFails(NativeException.class, message, port.toString(),
                VENDOR, MODEL, new LinkedHashSet<>());
        assertInstanceOf(IllegalArgumentException.class, thrown.getCause());
    }

    @Test
    void nonFiniteSamplesKeepTheirRowsAndTheirValues() throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL);
        plainDive(image).time(0).depth(Double.NaN).pressure(Double.NaN).temperature(Double.NaN)
                .time(10).depth(Double.POSITIVE_INFINITY).pressure(Double.NEGATIVE_INFINITY)
                .temperature(Double.NEGATIVE_INFINITY)
                .time(20).depth(Double.NEGATIVE_INFINITY).pressure(Double.POSITIVE_INFINITY);

        Dive dive = download(image).iterator().next();

        assertEquals(3, dive.getTimes().length);
        assertTrue(dive.getDepths()[0].isNaN());
        assertEquals(Float.POSITIVE_INFINITY, dive.getDepths()[1]);
        assertEquals(0.0f, dive.getDepths()[2]);
        assertTrue(dive.getPressures()[0].isNaN());
        assertEquals(0.0f, dive.getPressures()[1]);
        assertEquals(Float.POSITIVE_INFINITY, dive.getPressures()[2]);
        assertTrue(dive.getTemperatures()[0].isNaN());
        assertEquals(Float.NEGATIVE_INFINITY, dive.getTemperatures()[1]);
        assertNull(dive.getTemperatures()[2]);
    }

    static Stream<Arguments> outOfRangeDates() {
        return Stream.of(
                Arguments.of(new int[] {-2147483648, -2147483648, -2147483648, -2147483648,
                                        -2147483648, -2147483648},
                        "-2147483648--2147483648--2147483648 -2147483648:-2147483648:-2147483648"),
                Arguments.of(new int[] {2147483647, 13, 32, 24, 60, 61},
                        "2147483647-13-32 24:60:61"),
                Arguments.of(new int[] {0, 0, 0, 0, 0, 0}, "0000-00-00 00:00:00"),
                Arguments.of(new int[] {-1, -1, -1, -1, -1, -1}, "-001--1--1 -1:-1:-1"));
    }

    /** Whatever the dive computer's clock says is written in full, never cut or overrun. */
    @ParameterizedTest
    @MethodSource("outOfRangeDates")
    void datesOutOfRangeAreWrittenInFull(int[] date, String text) throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL);
        image.dive().datetime(date[0], date[1], date[2], date[3], date[4], date[5])
                .field("divetime", 60).time(0).depth(1.0);

        assertEquals(text, download(image).iterator().next().getStart());
    }

    @Test
    void aMillionSampleRowsArriveWhole() throws Exception {
        int rows = 1_000_000;
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL);
        plainDive(image).field("generate", Map.of("rows", rows, "interval", 1, "maxdepth", 40.0,
                "pressure", List.of(230, 40), "temperature", 12.5));

        Dive dive = download(image).iterator().next();

        Float[] times = dive.getTimes();
        Float[] depths = dive.getDepths();
        assertEquals(rows, times.length);
        assertEquals(rows, depths.length);
        assertEquals(rows, dive.getPressures().length);
        assertEquals(0.0f, times[0]);
        assertEquals((float) (rows - 1), times[rows - 1]);
        assertEquals(40.0f, depths[rows / 2]);
        assertEquals(12.5f, dive.getTemperatures()[rows - 1]);
        assertEquals(40.0f, dive.getPressures()[rows - 1]);
    }
}
