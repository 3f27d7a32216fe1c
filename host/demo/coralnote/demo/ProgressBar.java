// SPDX-License-Identifier: MIT
package coralnote.demo;

import coralnote.main.java.core.DownloadProgressListener;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.Path;

/**
 * Draws a download's progress on standard error: one line redrawn in place on a terminal, a plain
 * line every tenth of the way otherwise. Standard output keeps the bridge's event lines and the
 * logbook, so that either can be hidden without losing the other.
 */
final class ProgressBar implements DownloadProgressListener {
    private static final int WIDTH = 40;

    private final PrintStream err;
    private final boolean terminal;
    private String drawn = "";
    private long lastTenth = -1;

    ProgressBar(PrintStream err) {
        this.err = err;
        this.terminal = standardErrorIsTerminal();
    }

    @Override
    public void progress(long current, long maximum) {
        if (terminal) {
            redraw(current, maximum);
        } else {
            printEveryTenth(current, maximum);
        }
    }

    /** Ends the bar's line so that what follows starts on a line of its own. */
    void finish() {
        if (terminal && !drawn.isEmpty()) {
            err.println();
            drawn = "";
        }
    }

    private void redraw(long current, long maximum) {
        String line;
        if (maximum > 0) {
            int filled = (int) Math.min(WIDTH, current * WIDTH / maximum);
            line = String.format("[%s%s] %3d%%  %d/%d", "#".repeat(filled), ".".repeat(WIDTH - filled),
                    current * 100 / maximum, current, maximum);
        } else {
            line = String.format("[%s] %d transferred", "?".repeat(WIDTH), current);
        }
        if (!line.equals(drawn)) {
            err.print("\r" + line);
            err.flush();
            drawn = line;
        }
    }

    private void printEveryTenth(long current, long maximum) {
        long tenth = maximum > 0 ? Math.min(10, current * 10 / maximum) : 0;
        if (tenth != lastTenth) {
            err.println(maximum > 0 ? String.format("Progress: %d%% (%d/%d)",
                    Math.min(100, current * 100 / maximum), current, maximum)
                    : "Progress: " + current + " transferred");
            lastTenth = tenth;
        }
    }

    /** Whether file descriptor 2 is a terminal; without /proc, whether the JVM has a console. */
    private static boolean standardErrorIsTerminal() {
        try {
            String target = Files.readSymbolicLink(Path.of("/proc/self/fd/2")).toString();
            return target.startsWith("/dev/pts/") || target.startsWith("/dev/tty");
        } catch (IOException | UnsupportedOperationException | SecurityException e) {
            return System.console() != null;
        }
    }
}
