// SPDX-License-Identifier: MIT
package coralnote.main.java.core;

/**
 * Picks the Bluetooth LE dive computer to download from when a scan (an empty port text) finds
 * devices of the model: on a dive boat, a buddy's of the same model is often in range. The address
 * picked is worth keeping: {@code "LE:" + address} as the port text opens that one next time,
 * without a scan.
 */
public interface BluetoothDeviceChoice {
    /**
     * Called on the downloading thread once the scan has found every fitting device in range (at
     * least one); may block while the diver picks.
     *
     * @param names the advertised names, in the order found
     * @param addresses their addresses, in the same order
     * @return the address of the device to open, or null when the diver gives up (the download
     *     then ends as a stopped one, with no dive)
     */
    String choose(String[] names, String[] addresses);
}
