// SPDX-License-Identifier: MIT
package coralnote.main.java.core;

/** Receives libdivecomputer's log, e.g. to keep it for a bug report. */
@FunctionalInterface
public interface LibdivecomputerLog {
    int ERROR = 1;
    int WARNING = 2;
    int INFO = 3;
    int DEBUG = 4;

    /**
     * Called on the downloading thread for every line libdivecomputer logs during a download.
     *
     * @param level {@link #ERROR}, {@link #WARNING}, {@link #INFO} or {@link #DEBUG}
     * @param message the line; errors and warnings end with where libdivecomputer raised them
     */
    void line(int level, String message);
}
