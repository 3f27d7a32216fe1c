// SPDX-License-Identifier: MIT
package coralnote.demo;

import coralnote.main.java.core.BluetoothDeviceChoice;
import java.nio.file.Path;

/**
 * Picks the Bluetooth LE dive computer when a scan finds several of the model: the diver types the
 * number of theirs. The address picked is kept in a file of the demo's, so that the next run opens
 * it directly ({@code LE:<address>}), without a scan.
 */
final class TerminalDeviceChoice implements BluetoothDeviceChoice {
    private final TerminalInput input;
    private final KeptValues addresses;
    private final String model;

    TerminalDeviceChoice(TerminalInput input, Path file, String model) {
        this.input = input;
        this.addresses = new KeptValues(file);
        this.model = model;
    }

    /** The address picked the last time a scan found this model, or null. */
    String keptAddress() {
        return addresses.get(model);
    }

    @Override
    public String choose(String[] names, String[] found) {
        int picked = 0;
        if (found.length > 1) {
            for (int i = 0; i < found.length; i++) {
                System.err.printf("  %d  %s (%s)%n", i + 1, names[i], found[i]);
            }
            String answer = input.ask("Which one is yours? Type its number and press Enter"
                    + " (Enter alone: 1): ");
            if (answer == null || answer.isBlank()) {
                answer = "1";
            }
            try {
                picked = Integer.parseInt(answer.trim()) - 1;
            } catch (NumberFormatException e) {
                return null;
            }
            if (picked < 0 || picked >= found.length) {
                return null;
            }
        }
        addresses.put(model, found[picked]);
        System.err.printf("Kept %s (%s): the next download opens it without a scan.%n",
                names[picked], found[picked]);
        return found[picked];
    }
}
