// SPDX-License-Identifier: MIT
package coralnote.main.java.core;

/**
 * Lets a download bring only the dives added since the last one: the fingerprint of the newest
 * dive a download brought is kept per dive computer, and the next download stops at that dive.
 */
public interface DiveFingerprints {
    /** The fingerprint kept for this dive computer, or null to download every dive. */
    byte[] fingerprint(String vendor, String model, String serial);

    /**
     * Keeps the fingerprint of the newest dive of a download that brought every new dive; not
     * called after a download that was stopped or failed.
     */
    void save(String vendor, String model, String serial, byte[] fingerprint);
}
