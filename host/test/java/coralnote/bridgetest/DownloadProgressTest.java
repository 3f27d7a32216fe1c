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
import coralnote.main.java.core.exceptions.NativeException;
import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Set;
import java.util.concurrent.TimeUnit;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** A host that declares downloadProgress hears every progress event of a download. */
@Tag("download")
class DownloadProgressTest {
    private static final Pattern EVENT_LINE =
            Pattern.compile("Event: progress .*\\((\\d+)/(\\d+)\\)");

    @TempDir Path dir;

    @AfterEach
    void forgetTheListener() {
        DeviceConnector.setDownloadProgressListener(null);
    }

    private Path logbook(int dives) throws Exception {
        ImageBuilder image = new ImageBuilder(VENDOR, MODEL).devinfo(10, 110, 31)
                .journal(dir.resolve("journal.log"));
        for (int day = 1; day <= dives; day++) {
            image.dive().datetime(2024, 6, day, 9, 0, 0).field("divetime", 1800)
                    .field("maxdepth", 12.0).time(0).depth(1.0).time(10).depth(2.0);
        }
        return image.writeTo(dir.resolve("logbook.json"));
    }

    private static String classPathOf(Class<?> type) throws Exception {
        return Paths.get(type.getProtectionDomain().getCodeSource().getLocation().toURI())
                .toString();
    }

    /** The progress reports heard by another JVM, and the event lines the bridge printed there. */
    @Test
    void reportsArriveInOrderEndAtTheMaximumAndMatchThePrintedLines() throws Exception {
        String java = Paths.get(System.getProperty("java.home"), "bin", "java").toString();
        String classPath = classPathOf(DeviceConnector.class) + File.pathSeparator
                + classPathOf(ProgressPrinter.class);
        Process child = new ProcessBuilder(java, "-Xcheck:jni",
                "-Djava.library.path=" + System.getProperty("java.library.path"),
                "-cp", classPath, ProgressPrinter.class.getName(),
                logbook(4).toString(), VENDOR, MODEL)
                .redirectErrorStream(true).start();
        String output = new String(child.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        assertTrue(child.waitFor(60, TimeUnit.SECONDS), output);
        assertEquals(0, child.exitValue(), output);
        assertFalse(output.contains("WARNING"), output);

        List<String> printed = new ArrayList<>();
        List<String> reported = new ArrayList<>();
        for (String line : output.split("\n")) {
            Matcher event = EVENT_LINE.matcher(line);
            if (event.find()) {
                printed.add(event.group(1) + "/" + event.group(2));
            } else if (line.startsWith(ProgressPrinter.REPORT_PREFIX)) {
                reported.add(line.substring(ProgressPrinter.REPORT_PREFIX.length()));
            }
        }
        assertTrue(output.contains("Dives: 4"), output);
        assertEquals(printed, reported);
        assertTrue(reported.size() >= 6, output);
        long previous = -1;
        for (String report : reported) {
            String[] values = report.split("/");
            long current = Long.parseLong(values[0]);
            assertTrue(current >= previous, output);
            previous = current;
        }
        String[] last = reported.get(reported.size() - 1).split("/");
        assertEquals(last[1], last[0]);
    }

    @Test
    void aReportThatThrowsStopsTheDownloadWithItsCauseAndAddsNothing() throws Exception {
        IllegalStateException refused = new IllegalStateException("the progress bar is gone");
        int[] reports = {0};
        DeviceConnector.setDownloadProgressListener((current, maximum) -> {
            if (++reports[0] == 2) {
                throw refused;
            }
        });
        Set<Dive> dives = new LinkedHashSet<>();
        Path port = logbook(3);

        NativeException thrown = assertThrows(NativeException.class,
                () -> DeviceConnector.loadUserDivesFromDevice(port.toString(), VENDOR, MODEL, dives));

        assertSame(NativeException.class, thrown.getClass());
        assertEquals("Could not report download progress.", thrown.getMessage());
        assertSame(refused, thrown.getCause());
        assertEquals(2, reports[0]);
        assertTrue(dives.isEmpty());
        List<String> journal = ImageBuilder.readJournal(dir.resolve("journal.log"));
        assertEquals("close", journal.get(journal.size() - 1));
    }
}
