// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import coralnote.main.java.core.Device;
import coralnote.main.java.core.DeviceConnector;
import java.util.ArrayList;
import java.util.EnumSet;
import java.util.List;
import java.util.Set;
import java.util.TreeSet;
import java.util.concurrent.Callable;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;

/** The listing against the simulator's built-in catalogue. */
@Tag("listing")
class ListingTest {
    @Test
    void listsDozensOfDevicesCoveringEveryInterface() throws Exception {
        TreeSet<Device> devices = DeviceConnector.getSupportedDevices();

        assertNotNull(devices);
        assertTrue(devices.size() >= 24, "only " + devices.size() + " devices listed");
        Set<Device.Interface> interfaces = EnumSet.noneOf(Device.Interface.class);
        for (Device device : devices) {
            assertFalse(device.getVendor().isBlank(), device.toString());
            assertSame(device.getProduct(), device.getName(), "product passed twice: " + device);
            interfaces.add(device.getInterface());
        }
        Set<Device.Interface> known = EnumSet.noneOf(Device.Interface.class);
        for (Device.Interface candidate : Device.Interface.values()) {
            if (candidate.getNumber() >= 0) {
                known.add(candidate);
            }
        }
        assertEquals(known, interfaces);
        assertTrue(devices.stream().anyMatch(d -> d.getVendor().contains(" ")),
                "no vendor of two words");
    }

    @Test
    void everyCallListsAfresh() throws Exception {
        TreeSet<Device> first = DeviceConnector.getSupportedDevices();
        TreeSet<Device> second = DeviceConnector.getSupportedDevices();

        assertTrue(first != second);
        assertEquals(new ArrayList<>(first), new ArrayList<>(second));
    }

    @Test
    void listsOnSeveralThreadsAtOnce() throws Exception {
        List<Device> expected = new ArrayList<>(DeviceConnector.getSupportedDevices());
        ExecutorService pool = Executors.newFixedThreadPool(4);
        try {
            List<Callable<TreeSet<Device>>> calls = new ArrayList<>();
            for (int i = 0; i < 16; i++) {
                calls.add(DeviceConnector::getSupportedDevices);
            }
            for (Future<TreeSet<Device>> listing : pool.invokeAll(calls)) {
                assertEquals(expected, new ArrayList<>(listing.get()));
            }
        } finally {
            pool.shutdownNow();
        }
    }
}
