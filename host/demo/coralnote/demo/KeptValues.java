// SPDX-License-Identifier: MIT
package coralnote.demo;

import java.io.IOException;
import java.io.Reader;
import java.io.StringWriter;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.HexFormat;
import java.util.Properties;

/** What the demo keeps between runs, by name, in a properties file; bytes are kept in hex. */
final class KeptValues {
    private final Path file;

    KeptValues(Path file) {
        this.file = file;
    }

    /** The text kept under {@code key}, or null. */
    String get(String key) {
        return load().getProperty(key);
    }

    /** The bytes kept under {@code key}, or null. */
    byte[] getBytes(String key) {
        String hex = get(key);
        return hex != null ? HexFormat.of().parseHex(hex) : null;
    }

    void putBytes(String key, byte[] bytes) {
        put(key, HexFormat.of().formatHex(bytes));
    }

    void put(String key, String value) {
        Properties kept = load();
        kept.setProperty(key, value);
        try {
            StringWriter text = new StringWriter();
            kept.store(text, null);
            AtomicFile.write(file, text.toString());
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }

    private Properties load() {
        Properties kept = new Properties();
        if (Files.exists(file)) {
            try (Reader reader = Files.newBufferedReader(file, StandardCharsets.UTF_8)) {
                kept.load(reader);
            } catch (IOException e) {
                throw new UncheckedIOException(e);
            }
        }
        return kept;
    }
}
