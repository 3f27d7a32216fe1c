// SPDX-License-Identifier: MIT
package coralnote.main.java.core;

/** Watches a running download, e.g. to move a progress bar. */
@FunctionalInterface
public interface DownloadProgressListener {
    /**
     * Called on the downloading thread for every progress event of the dive computer.
     *
     * @param current what has been transferred so far
     * @param maximum what the whole transfer will be, or 0 when the dive computer does not say
     */
    void progress(long current, long maximum);
}
