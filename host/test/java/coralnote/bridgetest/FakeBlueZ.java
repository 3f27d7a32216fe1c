// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.Writer;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;

/**
 * The fake BlueZ with its simulated dive computers (simulator/fake-bluez), started for one test on
 * the private bus the test JVM runs on, and stopped by {@link #close}.
 */
final class FakeBlueZ implements AutoCloseable {
    static final Path DIRECTORY = Path.of(System.getProperty("divebridge.fakebluez"));

    private final Process process;
    private final BufferedReader answers;
    private final Writer commands;
    private final Path journal;

    /** Starts the fake with {@code config} (adapters and devices), written as its JSON. */
    FakeBlueZ(Path dir, Map<String, Object> config) throws IOException {
        Path own = Files.createTempDirectory(dir, "bluez");
        Path file = Files.writeString(own.resolve("fake-bluez.json"), ImageBuilder.toJson(config));
        journal = own.resolve("journal.jsonl");
        process = new ProcessBuilder("/usr/bin/python3",
                DIRECTORY.resolve("fake_bluez.py").toString(), file.toString(), "--journal",
                journal.toString())
                .redirectError(ProcessBuilder.Redirect.INHERIT)
                .start();
        answers = new BufferedReader(
                new InputStreamReader(process.getInputStream(), StandardCharsets.UTF_8));
        commands = process.outputWriter(StandardCharsets.UTF_8);
        assertEquals("READY", answers.readLine(), "the fake BlueZ did not start");
    }

    /** One device serving {@code image} on {@code layout}, with the members given after. */
    static Map<String, Object> device(String address, String name, Path image, String layout,
            Object... members) {
        Map<String, Object> device = new LinkedHashMap<>();
        device.put("address", address);
        device.put("name", name);
        device.put("image", image.toAbsolutePath().toString());
        device.put("layout", layout);
        for (int i = 0; i < members.length; i += 2) {
            device.put((String) members[i], members[i + 1]);
        }
        return device;
    }

    static Map<String, Object> config(List<Object> adapters, Object... devices) {
        Map<String, Object> config = new LinkedHashMap<>();
        if (adapters != null) {
            config.put("adapters", adapters);
        }
        config.put("devices", List.of(devices));
        return config;
    }

    /** The fake's state as one JSON line: discovery, connections and notify sessions. */
    String state() throws IOException {
        commands.write("state\n");
        commands.flush();
        return answers.readLine();
    }

    /**
     * Whether nothing a client started is left: no discovery, connection or notify session. A
     * client's Disconnect reaches BlueZ after its call has returned, and BlueZ takes the link down
     * only when its disconnect timer fires: this waits up to 5 s for that.
     */
    boolean clean() throws IOException, InterruptedException {
        long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(5);
        for (;;) {
            String state = state();
            boolean clean = state.contains("\"discovery_sessions\": []")
                    && state.contains("\"connected\": []")
                    && state.contains("\"notify_sessions\": []")
                    && !state.contains("\"discovering\": true");
            if (clean || System.nanoTime() > deadline) {
                return clean;
            }
            Thread.sleep(20);
        }
    }

    /** The state and the whole journal, to say what was left behind. */
    String describe() throws IOException {
        return state() + "\n" + String.join("\n", Files.readAllLines(journal));
    }

    /** The journal's lines (JSON objects) whose event is {@code event}. */
    List<String> journal(String event) throws IOException {
        List<String> lines = new ArrayList<>();
        for (String line : Files.readAllLines(journal)) {
            if (line.contains("\"event\": \"" + event + "\"")) {
                lines.add(line);
            }
        }
        return lines;
    }

    @Override
    public void close() throws Exception {
        try {
            commands.write("quit\n");
            commands.flush();
        } catch (IOException gone) {
            // it has ended already (it ends when the bus goes away)
        }
        if (!process.waitFor(10, TimeUnit.SECONDS)) {
            process.destroyForcibly();
        }
    }
}
