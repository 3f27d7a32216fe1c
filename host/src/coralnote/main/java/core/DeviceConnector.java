// SPDX-License-Identifier: MIT
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
    private static volatile BluetoothPairing bluetoothPairing;
    private static volatile DiveFingerprints diveFingerprints;
    private static volatile LibdivecomputerLog libdivecomputerLog;
    private static volatile BluetoothDeviceChoice bluetoothDeviceChoice;

    private DeviceConnector() {}

    /** Sets who hears of the progress of the downloads that follow; null for nobody. */
    public static void setDownloadProgressListener(DownloadProgressListener listener) {
        progressListener = listener;
    }

    /** Sets who pairs the Bluetooth LE dive computers that ask for a PIN; null for nobody. */
    public static void setBluetoothPairing(BluetoothPairing pairing) {
        bluetoothPairing = pairing;
    }

    /** Sets who keeps the dive fingerprints; null to download every dive. */
    public static void setDiveFingerprints(DiveFingerprints fingerprints) {
        diveFingerprints = fingerprints;
    }

    /**
     * Sets who picks the Bluetooth LE dive computer when a scan finds some; null to take the first
     * found.
     */
    public static void setBluetoothDeviceChoice(BluetoothDeviceChoice choice) {
        bluetoothDeviceChoice = choice;
    }

    /** Sets who receives libdivecomputer's log; null for nobody. */
    public static void setLibdivecomputerLog(LibdivecomputerLog log) {
        libdivecomputerLog = log;
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

    // The bridge calls the methods below on the downloading thread when they are declared; an
    // exception thrown by one ends the download with a NativeException caused by it.

    private static String bluetoothPinCode(String name, String address) {
        BluetoothPairing pairing = bluetoothPairing;
        return pairing != null ? pairing.pinCode(name, address) : null;
    }

    private static byte[] bluetoothAccessCode(String name, String address) {
        BluetoothPairing pairing = bluetoothPairing;
        return pairing != null ? pairing.accessCode(name, address) : null;
    }

    private static void saveBluetoothAccessCode(String name, String address, byte[] code) {
        BluetoothPairing pairing = bluetoothPairing;
        if (pairing != null) {
            pairing.saveAccessCode(name, address, code);
        }
    }

    private static byte[] diveFingerprint(String vendor, String model, String serial) {
        DiveFingerprints fingerprints = diveFingerprints;
        return fingerprints != null ? fingerprints.fingerprint(vendor, model, serial) : null;
    }

    private static void saveDiveFingerprint(String vendor, String model, String serial,
            byte[] fingerprint) {
        DiveFingerprints fingerprints = diveFingerprints;
        if (fingerprints != null) {
            fingerprints.save(vendor, model, serial, fingerprint);
        }
    }

    private static String chooseBluetoothDevice(String[] names, String[] addresses) {
        BluetoothDeviceChoice choice = bluetoothDeviceChoice;
        return choice != null ? choice.choose(names, addresses) : addresses[0];
    }

    private static void libdivecomputerLog(int level, String message) {
        LibdivecomputerLog log = libdivecomputerLog;
        if (log != null) {
            log.line(level, message);
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
