package coralnote.demo;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.exceptions.NativeException;
import coralnote.main.java.core.exceptions.UnknownDeviceException;
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
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
            + " [--list-only] [--examples DIR]\n  defaults: the bundled simulator image"
            + " DIR/reef-week.json (Shearwater Perdix), DIR being ./examples";
    private static final String BUNDLED_IMAGE = "reef-week.json";

    private String vendor = "Shearwater";
    private String model = "Perdix";
    private String port;
    private String examples = "examples";
    private boolean listOnly;

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
        }
        return 1;
    }

    private void download() throws NativeException {
        out.println();
        out.printf("Downloading from %s %s on %s ...%n", vendor, model, port);
        Set<Dive> dives = new LinkedHashSet<>();
        Device device = DeviceConnector.loadUserDivesFromDevice(port, vendor, model, dives);
        // The bridge writes its progress lines through C stdio; let them out before the logbook.
        System.out.flush();

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
