package coralnote.main.java.core;

import coralnote.main.java.core.exceptions.NativeException;
import java.util.Set;
import java.util.TreeSet;

/** Entry points of the native dive computer bridge (libdivebridge). */
public final class DeviceConnector {
    static {
        System.loadLibrary("divebridge");
    }

    private static volatile DownloadProgressListener progressListener;

    private DeviceConnector() {}

    /** Sets who hears of the progress of the downloads that follow; null for nobody. */
    public static void setDownloadProgressListener(DownloadProgressListener listener) {
        progressListener = listener;
    }

    /**
     * Called by the bridge on the downloading thread for every progress event. An exception
     * thrown here stops the download, which then throws a NativeException caused by it.
     */
    private static void downloadProgress(long current, long maximum) {
        DownloadProgressListener listener = progressListener;
        if (listener != null) {
            listener.progress(current, maximum);
        }
    }

    /** Every dive computer model the installed libdivecomputer can talk to. */
    public static native TreeSet<Device> getSupportedDevices() throws NativeException;

    /**
     * Downloads every dive of the dive computer on {@code port} into {@code dives} and returns the
     * dive computer itself, carrying its serial number as third text.
     *
     * @throws coralnote.main.java.core.exceptions.UnknownDeviceException no model matches
     * @throws coralnote.main.java.core.exceptions.CommunicationException opening or transfer failed
     */
    public static native Device loadUserDivesFromDevice(
            String port, String vendor, String model, Set<Dive> dives) throws NativeException;

    /**
     * Asks a running download, from any thread, to stop as soon as the dive computer lets it: the
     * download then returns the dive computer with the dives completed before the stop.
     */
    public static native void interruptDeviceDownload();
}
