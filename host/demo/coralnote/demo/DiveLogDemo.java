// SPDX-License-Identifier: MIT
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
import java.util.Collection;
import java.util.HashSet;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Set;
import java.util.concurrent.TimeUnit;

/**
 * Lists the dive computers the bridge supports, then downloads the dives of one of them, adds
 * them to the logbook kept for it and prints the logbook with a depth chart per dive.
 */
public final class DiveLogDemo {
    private static final String USAGE = "usage: DiveLogDemo [--vendor V] [--model M] [--port P]"
            + " [--pace MS] [--all] [--state DIR] [--list-only] [--examples DIR]\n  defaults: the"
            + " bundled simulator image DIR/reef-week.json (Shearwater Perdix), DIR being"
            + " ./examples\n  --pace MS: a simulator image is read as a slow dive computer sends"
            + " it, MS milliseconds for each packet of 1 KiB\n  --all: download every dive, not"
            + " only those added since the last download\n  --state DIR: where the demo keeps"
            + " logbooks, fingerprints, Bluetooth access codes and the last download's log"
            + " (default ~/.divebridge-demo)";
    private static final String BUNDLED_IMAGE = "reef-week.json";
    private static final int PACKET_BYTES = 1024;

    private String vendor = "Shearwater";
    private String model = "Perdix";
    private String port;
    private String examples = "examples";
    private Path state = Path.of(System.getProperty("user.home"), ".divebridge-demo");
    private boolean listOnly;
    private boolean all;
    private int paceMs;
    private final TerminalInput input = new TerminalInput();

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
            if (option.equals("--all")) {
                all = true;
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
                case "--state":
                    state = Path.of(value);
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
            out.println("libdivecomputer's log of this download: " + logFile());
        } catch (IOException e) {
            out.println("Cannot pace " + port + " or write " + state + ": " + e.getMessage());
        }
        return 1;
    }

    /**
     * After a whole download: how many dives were new, and its time against the last download of
     * every dive over the same link; a file read takes milliseconds where Bluetooth LE takes
     * seconds, whatever either brings.
     */
    private void tellWhatWasNew(KeptFingerprints fingerprints, Device device, int dives,
            long millis) {
        String serial = device.getName();
        String link = link();
        if (!fingerprints.given()) {
            fingerprints.keepFullDownloadMillis(vendor, model, serial, link, millis);
            out.printf("%nEvery dive downloaded in %d ms %s; the next download brings only new"
                    + " ones (--all downloads every dive again).%n", millis, link);
            return;
        }
        long full = fingerprints.fullDownloadMillis(vendor, model, serial, link);
        out.printf("%n%s new dive%s since the last download, in %d ms %s%s%n",
                dives == 0 ? "No" : Integer.toString(dives), dives == 1 ? "" : "s", millis, link,
                full >= 0 ? " (every dive took " + full + " ms)."
                        : ".\nNo download of every dive " + link + " yet to compare it with (--all"
                                + " makes one).");
    }

    /** How this run reaches the dive computer, as the timing line says it. */
    private String link() {
        if (port.isEmpty() || port.regionMatches(true, 0, "LE:", 0, 3)) {
            return "over Bluetooth LE";
        }
        if (paceMs > 0) {
            return "from an image file paced at " + paceMs + " ms per KiB";
        }
        if (Files.isRegularFile(Path.of(port))) {
            return "from an image file";
        }
        return "on " + port;
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

    private Path logFile() {
        return state.resolve("last-download.log");
    }

    private void download() throws NativeException, IOException {
        TerminalDeviceChoice choice = new TerminalDeviceChoice(input,
                state.resolve("bluetooth-devices.properties"), vendor + " " + model);
        if (port.isEmpty() && choice.keptAddress() != null) {
            port = "LE:" + choice.keptAddress();
        }
        out.println();
        out.printf("Downloading from %s %s on %s ...%n", vendor, model,
                port.isEmpty() ? "the one a Bluetooth LE scan finds" : port);
        System.err.println("Press Enter to stop the download. To hide the bridge's event lines,"
                + " pipe standard output through: grep -v '^Event:'");
        input.start();
        ProgressBar bar = new ProgressBar(System.err);
        KeptFingerprints fingerprints =
                new KeptFingerprints(state.resolve("fingerprints.properties"), all);
        DeviceConnector.setDownloadProgressListener(bar);
        DeviceConnector.setDiveFingerprints(fingerprints);
        DeviceConnector.setBluetoothPairing(
                new TerminalPairing(input, state.resolve("bluetooth-access-codes.properties")));
        DeviceConnector.setBluetoothDeviceChoice(choice);
        Set<Dive> dives = new LinkedHashSet<>();
        Device device;
        long started = System.nanoTime();
        try (DownloadLog log = new DownloadLog(logFile())) {
            DeviceConnector.setLibdivecomputerLog(log);
            device = DeviceConnector.loadUserDivesFromDevice(port, vendor, model, dives);
        } finally {
            DeviceConnector.setLibdivecomputerLog(null);
            DeviceConnector.setBluetoothDeviceChoice(null);
            DeviceConnector.setBluetoothPairing(null);
            DeviceConnector.setDiveFingerprints(null);
            DeviceConnector.setDownloadProgressListener(null);
            bar.finish();
        }
        long millis = TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - started);
        // The bridge writes its progress lines through C stdio; let them out before the logbook.
        System.out.flush();
        if (input.stopAsked()) {
            System.err.printf("Stopped: %d dive%s completed before the stop.%n", dives.size(),
                    dives.size() == 1 ? " was" : "s were");
        } else {
            tellWhatWasNew(fingerprints, device, dives.size(), millis);
        }

        showLogbook(device, dives, fingerprints.given());
    }

    /**
     * Adds the downloaded dives to the logbook kept for the dive computer and prints it: the table
     * of every kept dive, then the depth charts of this download's dives, or of every kept dive
     * when it brought none.
     */
    private void showLogbook(Device device, Set<Dive> downloaded, boolean onlyNew)
            throws IOException {
        KeptLogbook kept = new KeptLogbook(state.resolve("logbooks"), device);
        List<Dive> before;
        try {
            before = kept.load();
        } catch (IOException e) {
            out.printf("%nCannot read the kept logbook (%s); moved it to %s. --all downloads"
                    + " every dive again.%n", e.getMessage(), kept.setAside());
            before = new ArrayList<>();
        }
        Set<String> keptBefore = identities(before);
        Set<String> brought = identities(downloaded);
        List<Dive> logbook = downloaded.isEmpty() ? before : kept.add(before, downloaded);
        List<Integer> added = new ArrayList<>();
        List<Integer> charted = new ArrayList<>();
        for (int i = 0; i < logbook.size(); i++) {
            String identity = KeptLogbook.identity(logbook.get(i));
            if (downloaded.isEmpty() || brought.contains(identity)) {
                charted.add(i);
            }
            if (!keptBefore.contains(identity)) {
                added.add(i + 1);
            }
        }
        out.println();
        if (logbook.isEmpty()) {
            // A fingerprint kept without its logbook (an older demo's state) hides the old dives.
            out.printf("%s %s, serial %s: no dives in the logbook yet%s%n", device.getVendor(),
                    device.getProduct(), device.getName(),
                    onlyNew ? "; --all downloads every dive again" : "");
            return;
        }
        out.printf("%s %s, serial %s: %d dive%s in the logbook%s%n", device.getVendor(),
                device.getProduct(), device.getName(), logbook.size(),
                logbook.size() == 1 ? "" : "s", news(logbook.size(), downloaded.size(), added));
        out.println();
        new DiveTable(out).print(logbook);
        DepthChart chart = new DepthChart(out);
        for (int i : charted) {
            out.println();
            out.printf("#%d  %s%n", i + 1, logbook.get(i).getStart());
            chart.print(logbook.get(i));
        }
    }

    private static Set<String> identities(Collection<Dive> dives) {
        Set<String> identities = new HashSet<>();
        for (Dive dive : dives) {
            identities.add(KeptLogbook.identity(dive));
        }
        return identities;
    }

    /** What the logbook's heading adds: which dives are new, or that it is the one kept. */
    private String news(int dives, int downloaded, List<Integer> added) {
        if (downloaded == 0) {
            return ", kept from earlier downloads";
        }
        String again = downloaded > added.size()
                ? ", " + (downloaded - added.size()) + " downloaded again" : "";
        if (added.isEmpty()) {
            return ", none new" + again;
        }
        if (added.size() == dives) {
            return dives == 1 ? ", new" : ", all new";
        }
        StringBuilder numbers = new StringBuilder();
        for (int number : added) {
            numbers.append(numbers.length() == 0 ? "#" : ", #").append(number);
        }
        return ", " + added.size() + " new (" + numbers + ")" + again;
    }
}
