// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import coralnote.main.java.core.exceptions.NativeException;
import java.util.List;
import java.util.TreeSet;
import java.util.stream.Collectors;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestInfo;

/**
 * The listing against small catalogues. A JVM cannot change its environment, so each nested class
 * runs in its own JVM whose DCSIM_CATALOGUE names the catalogue file of the class's tag.
 */
class CatalogueListingTest {
    @BeforeEach
    void requireMatchingCatalogue(TestInfo info) {
        String tag = info.getTags().stream().filter(t -> t.startsWith("catalogue-")).findFirst()
                .orElseThrow();
        String file = tag.substring("catalogue-".length()) + ".json";
        String catalogue = System.getenv("DCSIM_CATALOGUE");
        assertTrue(catalogue != null && catalogue.endsWith("/" + file),
                "run with DCSIM_CATALOGUE=.../" + file + ", not " + catalogue);
    }

    static List<String> describe(TreeSet<Device> devices) {
        return devices.stream()
                .map(d -> d.getVendor() + "|" + d.getProduct() + "|" + d.getName() + "|"
                        + d.getInterface())
                .collect(Collectors.toList());
    }

    @Nested
    @Tag("catalogue-small")
    class SmallCatalogue {
        @Test
        void oneDevicePerDistinctDescriptorInDeviceOrder() throws Exception {
            TreeSet<Device> devices = DeviceConnector.getSupportedDevices();

            // The repeated OSTC 3 and the upper-case SUUNTO entry compare equal to earlier ones.
            assertEquals(List.of("Atomic Aquatics|Cobalt|Cobalt|USB",
                                 "Heinrichs Weikamp|OSTC 3|OSTC 3|SERIAL",
                                 "Heinrichs Weikamp|OSTC 3|OSTC 3|BLUETOOTH",
                                 "Reefnet|Sensus|Sensus|NONE",
                                 "Scubapro|G2|G2|USBHID",
                                 "Suunto|Vyper|Vyper|SERIAL",
                                 "Uwatec|Smart Pro|Smart Pro|IRDA"),
                    describe(devices));
            for (Device device : devices) {
                assertSame(device.getProduct(), device.getName());
            }
        }
    }

    @Nested
    @Tag("catalogue-empty")
    class EmptyCatalogue {
        @Test
        void givesAnEmptySet() throws Exception {
            TreeSet<Device> devices = DeviceConnector.getSupportedDevices();

            assertNotNull(devices);
            assertTrue(devices.isEmpty());
        }
    }

    @Nested
    @Tag("catalogue-failing-iterator")
    class FailingIterator {
        @Test
        void keepsTheDevicesListedBeforeTheFailure() throws Exception {
            assertEquals(List.of("Mares|Puck Pro|Puck Pro|SERIAL", "Suunto|Vyper|Vyper|SERIAL"),
                    describe(DeviceConnector.getSupportedDevices()));
        }
    }

    @Nested
    @Tag("catalogue-unknown-transport")
    class UnknownTransport {
        @Test
        void failsWithTheInterfaceLookupAsCause() {
            NativeException thrown =
                    assertThrows(NativeException.class, DeviceConnector::getSupportedDevices);

            assertSame(NativeException.class, thrown.getClass());
            assertEquals("Unknown device communication interface encountered.",
                    thrown.getMessage());
            assertSame(IllegalArgumentException.class, thrown.getCause().getClass());
            assertTrue(thrown.getCause().getMessage().contains("99"));
        }
    }

    @Nested
    @Tag("catalogue-blank-vendor")
    class BlankVendor {
        @Test
        void failsWithTheDeviceConstructorAsCause() {
            NativeException thrown =
                    assertThrows(NativeException.class, DeviceConnector::getSupportedDevices);

            assertSame(NativeException.class, thrown.getClass());
            assertEquals("Could not create device.", thrown.getMessage());
            assertSame(IllegalArgumentException.class, thrown.getCause().getClass());
            assertTrue(thrown.getCause().getMessage().contains("vendor"));
        }
    }
}
