package coralnote.main.java.core;

import coralnote.main.java.core.exceptions.NativeException;
import java.util.Set;
import java.util.TreeSet;

/** Entry points of the native dive computer bridge (libdivebridge). */
public final class DeviceConnector {
    static {
        System.loadLibrary("divebridge");
    }

    private DeviceConnector() {}

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

    /** Asks a running download, on any thread, to stop at the next dive. */
    public static native void interruptDeviceDownload();
}
