package coralnote.demo;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.exceptions.NativeException;
import coralnote.main.java.core.exceptions.UnknownDeviceException;
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Set;

/**
 * Lists the dive computers the bridge supports, then downloads every dive of one of them and
 * prints the logbook with a depth chart per dive.
 */
public final class DiveLogDemo {
    private static final String USAGE = "usage: DiveLogDemo [--vendor V] [--model M] [--port P]"
            + " [--pace MS] [--list-only] [--examples DIR]\n  defaults: the bundled simulator image"
            + " DIR/reef-week.json (Shearwater Perdix), DIR being ./examples\n  --pace MS: a"
            + " simulator image is read as a slow dive computer sends it, MS milliseconds for each"
            + " packet of 1 KiB";
    private static final String BUNDLED_IMAGE = "reef-week.json";
    private static final int PACKET_BYTES = 1024;

    private String vendor = "Shearwater";
    private String model = "Perdix";
    private String port;
    private String examples = "examples";
    private boolean listOnly;
    private int paceMs;
    private volatile boolean stopAsked;

    private final PrintStream out =
            new PrintStream(new FileOutputStream(FileDescriptor.out), true, StandardCharsets.UTF_8);

    public static void main(String[] args) {
        DiveLogDemo demo = new DiveLogDemo();
        if (!demo.parse(args)) {
            System.err.println(USAGE);
            System.exit(2);
        }
        System.exit(demo.run());
    }

    private boolean parse(String[] args) {
        for (int i = 0; i < args.length; i++) {
            String option = args[i];
            if (option.equals("--list-only")) {
                listOnly = true;
                continue;
            }
            if (i + 1 >= args.length) {
                return false;
            }
            String value = args[++i];
            switch (option) {
                case "--vendor":
                    vendor = value;
                    break;
                case "--model":
                    model = value;
                    break;
                case "--port":
                    port = value;
                    break;
                case "--examples":
                    examples = value;
                    break;
                case "--pace":
                    try {
                        paceMs = Integer.parseInt(value);
                    } catch (NumberFormatException e) {
                        return false;
                    }
                    if (paceMs <= 0) {
                        return false;
                    }
                    break;
                default:
                    return false;
            }
        }
        if (port == null) {
            port = Path.of(examples, BUNDLED_IMAGE).toString();
        }
        return true;
    }

    private int run() {
        try {
            if (paceMs > 0) {
                port = pacedCopy(Path.of(port)).toString();
            }
            new DeviceListing(out).print(DeviceConnector.getSupportedDevices());
            if (!listOnly) {
                download();
            }
            return 0;
        } catch (UnknownDeviceException e) {
            out.println(e.getMessage());
            out.println("Run with --list-only to see the supported dive computers.");
        } catch (NativeException e) {
            out.println("Download failed: " + e.getMessage()
                    + (e.getCause() == null ? "" : " (" + e.getCause() + ")"));
        } catch (IOException e) {
            out.println("Cannot pace " + port + ": " + e.getMessage());
        }
        return 1;
    }

    /**
     * A copy of a simulator image whose transfer moves in packets of 1 KiB, each after the pace,
     * the whole memory before the first dive, as many real dive computers send it.
     */
    private Path pacedCopy(Path image) throws IOException {
        String json = Files.readString(image, StandardCharsets.UTF_8).strip();
        if (!json.startsWith("{")) {
            throw new IOException("not a simulator image");
        }
        Path copy = Files.createTempFile("paced-", ".json");
        copy.toFile().deleteOnExit();
        String transfer = String.format("{\"transfer\": {\"block_size\": %d, \"block_delay_ms\": %d,"
                + " \"memory_first\": true},", PACKET_BYTES, paceMs);
        return Files.writeString(copy, transfer + json.substring(1), StandardCharsets.UTF_8);
    }

    /** Stops the download when a line arrives on standard input; a closed input stops nothing. */
    private void listenForStop() {
        Thread listener = new Thread(() -> {
            try {
                if (System.in.read() >= 0) {
                    stopAsked = true;
                    System.err.println("Stopping ...");
                    DeviceConnector.interruptDeviceDownload();
                }
            } catch (IOException e) {
                // no input to listen to: the download runs to its end
            }
        }, "stop-on-enter");
        listener.setDaemon(true);
        listener.start();
    }

    private void download() throws NativeException {
        out.println();
        out.printf("Downloading from %s %s on %s ...%n", vendor, model, port);
        System.err.println("Press Enter to stop the download. To hide the bridge's event lines,"
                + " pipe standard output through: grep -v '^Event:'");
        listenForStop();
        ProgressBar bar = new ProgressBar(System.err);
        DeviceConnector.setDownloadProgressListener(bar);
        Set<Dive> dives = new LinkedHashSet<>();
        Device device;
        try {
            device = DeviceConnector.loadUserDivesFromDevice(port, vendor, model, dives);
        } finally {
            DeviceConnector.setDownloadProgressListener(null);
            bar.finish();
        }
        // The bridge writes its progress lines through C stdio; let them out before the logbook.
        System.out.flush();
        if (stopAsked) {
            System.err.printf("Stopped: %d dive%s completed before the stop.%n", dives.size(),
                    dives.size() == 1 ? " was" : "s were");
        }

        List<Dive> logbook = new ArrayList<>(dives);
        logbook.sort(Comparator.comparing(Dive::getStart));
        out.println();
        out.printf("%s %s, serial %s: %d dive%s%n", device.getVendor(), device.getProduct(),
                device.getName(), logbook.size(), logbook.size() == 1 ? "" : "s");
        out.println();
        new DiveTable(out).print(logbook);
        DepthChart chart = new DepthChart(out);
        for (int i = 0; i < logbook.size(); i++) {
            out.println();
            out.printf("#%d  %s%n", i + 1, logbook.get(i).getStart());
            chart.print(logbook.get(i));
        }
    }
}
