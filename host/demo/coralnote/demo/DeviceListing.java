// SPDX-License-Identifier: MIT
package coralnote.demo;

import coralnote.main.java.core.Device;
import java.io.PrintStream;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.TreeSet;

/** Prints the supported dive computers, one vendor to a paragraph. */
final class DeviceListing {
    private static final int WIDTH = 100;

    private final PrintStream out;

    DeviceListing(PrintStream out) {
        this.out = out;
    }

    void print(TreeSet<Device> devices) {
        Map<String, List<String>> byVendor = new LinkedHashMap<>();
        for (Device device : devices) {
            byVendor.computeIfAbsent(device.getVendor(), vendor -> new ArrayList<>())
                    .add(device.getProduct() + " (" + transport(device) + ")");
        }
        out.printf("%d supported dive computers from %d vendors%n", devices.size(),
                byVendor.size());
        int vendorWidth = byVendor.keySet().stream().mapToInt(String::length).max().orElse(0);
        byVendor.forEach((vendor, products) -> printVendor(vendor, vendorWidth, products));
    }

    private static String transport(Device device) {
        return device.getInterface().name().toLowerCase(Locale.ROOT);
    }

    /** Wraps the products under their vendor so that no line runs past the width. */
    private void printVendor(String vendor, int vendorWidth, List<String> products) {
        String indent = " ".repeat(vendorWidth + 2);
        StringBuilder line = new StringBuilder(String.format("%-" + vendorWidth + "s  ", vendor));
        boolean first = true;
        for (String product : products) {
            String item = first ? product : ", " + product;
            if (!first && line.length() + item.length() > WIDTH) {
                out.println(line.append(','));
                line = new StringBuilder(indent).append(product);
            } else {
                line.append(item);
            }
            first = false;
        }
        out.println(line);
    }
}
