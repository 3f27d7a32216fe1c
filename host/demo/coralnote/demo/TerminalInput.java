// SPDX-License-Identifier: MIT
package coralnote.demo;

import coralnote.main.java.core.DeviceConnector;
import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.util.concurrent.SynchronousQueue;
import java.util.concurrent.TimeUnit;

/**
 * The demo's one reader of standard input: a line answers the question asked, when there is one
 * (a Bluetooth PIN), and otherwise stops the download. A closed input answers nothing.
 */
final class TerminalInput {
    private static final String CLOSED = "\0closed";

    private final SynchronousQueue<String> answers = new SynchronousQueue<>();
    private volatile boolean asking;
    private volatile boolean stopAsked;
    private volatile boolean closed;

    void start() {
        Thread reader = new Thread(this::read, "terminal-input");
        reader.setDaemon(true);
        reader.start();
    }

    boolean stopAsked() {
        return stopAsked;
    }

    /** Asks on standard error and waits for the answer; null when the input is closed. */
    String ask(String question) {
        System.err.print(question);
        System.err.flush();
        asking = true;
        try {
            // The input may close before the question or while it waits.
            for (String answer = null; !closed; ) {
                answer = answers.poll(100, TimeUnit.MILLISECONDS);
                if (answer != null) {
                    return answer.equals(CLOSED) ? null : answer;
                }
            }
            return null;
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            return null;
        } finally {
            asking = false;
        }
    }

    private void read() {
        BufferedReader input =
                new BufferedReader(new InputStreamReader(System.in, StandardCharsets.UTF_8));
        try {
            for (String line = input.readLine(); line != null; line = input.readLine()) {
                if (asking) {
                    answers.put(line.strip());
                } else {
                    stopAsked = true;
                    System.err.println("Stopping ...");
                    DeviceConnector.interruptDeviceDownload();
                }
            }
            closed = true;
            answers.offer(CLOSED);
        } catch (IOException e) {
            // no input to listen to: the download runs to its end
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }
}
