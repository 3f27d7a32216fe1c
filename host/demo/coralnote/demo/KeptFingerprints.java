// SPDX-License-Identifier: MIT
package coralnote.demo;

import coralnote.main.java.core.DiveFingerprints;
import java.nio.file.Path;

/**
 * The fingerprint of the newest dive downloaded from each dive computer, kept in a file of the
 * demo's, so that the next download brings only the new dives. Forgetting it for one run makes
 * that run download every dive, and keep the newest again.
 */
final class KeptFingerprints implements DiveFingerprints {
    private final KeptValues kept;
    private final boolean forget;
    private volatile boolean given;

    KeptFingerprints(Path file, boolean forget) {
        this.kept = new KeptValues(file);
        this.forget = forget;
    }

    /** Whether the last download was given a fingerprint: it brought only the new dives. */
    boolean given() {
        return given;
    }

    @Override
    public byte[] fingerprint(String vendor, String model, String serial) {
        byte[] fingerprint = forget ? null : kept.getBytes(key(vendor, model, serial));
        given = fingerprint != null;
        return fingerprint;
    }

    @Override
    public void save(String vendor, String model, String serial, byte[] fingerprint) {
        kept.putBytes(key(vendor, model, serial), fingerprint);
    }

    /**
     * How long the last download of every dive over {@code link} took, in milliseconds, or -1.
     * Each link keeps its own: a time over Bluetooth LE says nothing about a file read.
     */
    long fullDownloadMillis(String vendor, String model, String serial, String link) {
        String millis = kept.get("time/" + key(vendor, model, serial) + "/" + link);
        return millis != null ? Long.parseLong(millis) : -1;
    }

    void keepFullDownloadMillis(String vendor, String model, String serial, String link,
            long millis) {
        kept.put("time/" + key(vendor, model, serial) + "/" + link, Long.toString(millis));
    }

    private static String key(String vendor, String model, String serial) {
        return vendor + "/" + model + "/" + serial;
    }
}
