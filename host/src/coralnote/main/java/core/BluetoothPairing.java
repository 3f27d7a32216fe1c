// SPDX-License-Identifier: MIT
package coralnote.main.java.core;

/**
 * Pairs the Bluetooth LE dive computers that ask for a PIN code (Aqualung i330R, Apeks DSX): the
 * diver types the PIN the dive computer shows, and the access code it grants in return is kept and
 * presented on every later connection, so that it does not ask again.
 */
public interface BluetoothPairing {
    /**
     * Called on the downloading thread when the dive computer asks for the PIN code it shows; may
     * block while the diver types it.
     *
     * @return the digits typed, or null when the diver gives up
     */
    String pinCode(String name, String address);

    /** The access code kept for the dive computer, or null when there is none. */
    byte[] accessCode(String name, String address);

    /** Keeps the access code the dive computer granted, for the next connections. */
    void saveAccessCode(String name, String address, byte[] code);
}
