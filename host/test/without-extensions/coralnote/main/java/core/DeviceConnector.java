// SPDX-License-Identifier: MIT
package coralnote.main.java.core;

import coralnote.main.java.core.exceptions.NativeException;
import java.util.Set;
import java.util.TreeSet;

/** A host's DeviceConnector as it was before downloadProgress: the three native methods only. */
public final class DeviceConnector {
    static {
        System.loadLibrary("divebridge");
    }

    private DeviceConnector() {}

    public static native TreeSet<Device> getSupportedDevices() throws NativeException;

    public static native Device loadUserDivesFromDevice(
            String port, String vendor, String model, Set<Dive> dives) throws NativeException;

    public static native void interruptDeviceDownload();
}
