// SPDX-License-Identifier: MIT
package coralnote.main.java.core;

import java.util.Comparator;
import java.util.Objects;

/**
 * A dive computer: either a supported model from the listing (vendor, product, name, interface) or
 * the physical device a download came from (vendor, model, serial number as name, no interface).
 */
public final class Device implements Comparable<Device> {
    /** How a dive computer talks to the host, numbered as libdivecomputer's dc_transport_t. */
    public enum Interface {
        NONE(TransportNumbers.NONE),
        SERIAL(TransportNumbers.SERIAL),
        USB(TransportNumbers.USB),
        USBHID(TransportNumbers.USBHID),
        IRDA(TransportNumbers.IRDA),
        BLUETOOTH(TransportNumbers.BLUETOOTH),
        BLE(TransportNumbers.BLE);

        private final int number;

        Interface(int number) {
            this.number = number;
        }

        /** The libdivecomputer transport number of this interface; -1 when the release has none. */
        public int getNumber() {
            return number;
        }

        /** The interface with libdivecomputer transport number {@code number}. */
        public static Interface valueOf(int number) {
            for (Interface candidate : values()) {
                if (candidate.number >= 0 && candidate.number == number) {
                    return candidate;
                }
            }
            throw new IllegalArgumentException("Unknown transport number: " + number);
        }
    }

    private static final Comparator<String> TEXT_ORDER =
            Comparator.nullsFirst(Comparator.<String>naturalOrder());
    private static final Comparator<Device> ORDER =
            Comparator.comparing(Device::getVendor,
                               Comparator.nullsFirst(String.CASE_INSENSITIVE_ORDER))
                    .thenComparing(Device::getProduct, TEXT_ORDER)
                    .thenComparing(Device::getName, TEXT_ORDER)
                    .thenComparing(Device::getInterface,
                            Comparator.nullsFirst(Comparator.<Interface>naturalOrder()));

    private final String vendor;
    private final String product;
    private final String name;
    private final Interface iface;

    /** A supported model as the listing reports it. */
    public Device(String vendor, String product, String name, Interface iface) {
        this.vendor = requireText(vendor, "vendor");
        this.product = requireText(product, "product");
        this.name = name;
        this.iface = iface;
    }

    /** The dive computer of a download; the vendor may be null when it was chosen by model. */
    public Device(String vendor, String model, String serial) {
        this.vendor = vendor;
        this.product = requireText(model, "model");
        this.name = serial;
        this.iface = null;
    }

    private static String requireText(String text, String what) {
        if (text == null || text.isBlank()) {
            throw new IllegalArgumentException("A device needs a " + what + ".");
        }
        return text;
    }

    public String getVendor() {
        return vendor;
    }

    /** The product; for a downloaded device the model it was selected by. */
    public String getProduct() {
        return product;
    }

    /** The third text: the product again in the listing, the serial number after a download. */
    public String getName() {
        return name;
    }

    /** The interface, or null for a downloaded device. */
    public Interface getInterface() {
        return iface;
    }

    @Override
    public int compareTo(Device other) {
        return ORDER.compare(this, other);
    }

    @Override
    public boolean equals(Object other) {
        return other instanceof Device && compareTo((Device) other) == 0;
    }

    @Override
    public int hashCode() {
        return Objects.hash(foldCase(vendor), product, name, iface);
    }

    /** Folds each character as String.CASE_INSENSITIVE_ORDER does, so equal vendors hash alike. */
    private static String foldCase(String text) {
        if (text == null) {
            return null;
        }
        StringBuilder folded = new StringBuilder(text.length());
        for (int i = 0; i < text.length(); i++) {
            folded.append(Character.toLowerCase(Character.toUpperCase(text.charAt(i))));
        }
        return folded.toString();
    }

    @Override
    public String toString() {
        String text = (vendor == null ? "" : vendor + " ") + product;
        if (name != null && !name.equals(product)) {
            text += " (" + name + ")";
        }
        return iface == null ? text : text + " [" + iface + "]";
    }
}
