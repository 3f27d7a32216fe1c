// SPDX-License-Identifier: MIT
package coralnote.demo;

import coralnote.main.java.core.LibdivecomputerLog;
import java.io.IOException;
import java.io.PrintWriter;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;

/** libdivecomputer's log of the last download, in a file of the demo's, for a bug report. */
final class DownloadLog implements LibdivecomputerLog, AutoCloseable {
    private static final String[] LEVELS = {"NONE", "ERROR", "WARNING", "INFO", "DEBUG"};

    private final Path file;
    private final PrintWriter writer;

    DownloadLog(Path file) throws IOException {
        this.file = file;
        Files.createDirectories(file.getParent());
        this.writer = new PrintWriter(Files.newBufferedWriter(file, StandardCharsets.UTF_8));
    }

    Path file() {
        return file;
    }

    @Override
    public void line(int level, String message) {
        writer.printf("%s: %s%n", level >= 0 && level < LEVELS.length ? LEVELS[level] : level,
                message);
        if (writer.checkError()) {
            throw new UncheckedIOException(new IOException("cannot write " + file));
        }
    }

    @Override
    public void close() {
        writer.close();
    }
}
