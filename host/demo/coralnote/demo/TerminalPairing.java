// SPDX-License-Identifier: MIT
package coralnote.demo;

import coralnote.main.java.core.BluetoothPairing;
import java.nio.file.Path;

/**
 * Pairs a Bluetooth dive computer that asks for a PIN: the diver types the PIN its screen shows,
 * and the access code it grants is kept in a file of the demo's, so that the next run asks nothing.
 */
final class TerminalPairing implements BluetoothPairing {
    private final TerminalInput input;
    private final KeptValues codes;

    TerminalPairing(TerminalInput input, Path file) {
        this.input = input;
        this.codes = new KeptValues(file);
    }

    @Override
    public String pinCode(String name, String address) {
        String pin = input.ask(String.format("%s (%s) shows a PIN code. Type it and press Enter: ",
                name, address));
        return pin == null || pin.isEmpty() ? null : pin;
    }

    @Override
    public byte[] accessCode(String name, String address) {
        return codes.getBytes(address);
    }

    @Override
    public void saveAccessCode(String name, String address, byte[] code) {
        codes.putBytes(address, code);
        System.err.printf("Paired with %s: the next download will not ask for the PIN.%n", name);
    }
}
