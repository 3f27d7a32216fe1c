// SPDX-License-Identifier: MIT
package coralnote.bridgetest;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import coralnote.main.java.core.Cylinder;
import coralnote.main.java.core.Device;
import coralnote.main.java.core.Device.Interface;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.Gas;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import java.util.TreeSet;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;

/** The stand-in host's own rules, which the bridge tests rely on. */
@Tag("host")
class HostClassesTest {
    private static final Device OSTC = new Device("Heinrichs Weikamp", "OSTC 3", "12345");

    @Test
    void interfaceNumbersAreTheTransportNumbersOfTheTargetedRelease() {
        assertEquals(0, Interface.NONE.getNumber());
        assertEquals(1, Interface.SERIAL.getNumber());
        assertEquals(2, Interface.USB.getNumber());
        Set<Integer> known = new HashSet<>();
        for (Interface candidate : Interface.values()) {
            if (candidate.getNumber() >= 0) {
                assertTrue(known.add(candidate.getNumber()), "number used twice: " + candidate);
                assertSame(candidate, Interface.valueOf(candidate.getNumber()));
            }
        }
        // 0.5 and 0.6 number six transports 0 to 5; 0.7 and later give seven flags up to 32.
        assertTrue(known.equals(Set.of(0, 1, 2, 3, 4, 5))
                        || known.equals(Set.of(0, 1, 2, 4, 8, 16, 32)),
                known.toString());
        for (int number = -1; number <= 64; number++) {
            if (!known.contains(number)) {
                final int unknown = number;
                assertThrows(IllegalArgumentException.class, () -> Interface.valueOf(unknown));
            }
        }
    }

    @Test
    void deviceValidatesItsTexts() {
        assertThrows(IllegalArgumentException.class, () -> new Device(null, "G2", "G2", null));
        assertThrows(IllegalArgumentException.class, () -> new Device(" ", "G2", "G2", null));
        assertThrows(IllegalArgumentException.class, () -> new Device("Scubapro", "", "", null));
        assertThrows(IllegalArgumentException.class, () -> new Device("Scubapro", null, "1"));
        assertThrows(IllegalArgumentException.class, () -> new Device("Scubapro", "\t", "1"));
        assertNull(new Device(null, "G2", "1").getVendor());
    }

    @Test
    void devicesOrderByVendorIgnoringCaseThenProductNameAndInterface() {
        Device serial = new Device("Suunto", "Vyper", "Vyper", Interface.SERIAL);
        Device upperCase = new Device("SUUNTO", "Vyper", "Vyper", Interface.SERIAL);
        TreeSet<Device> devices = new TreeSet<>(List.of(
                new Device("suunto", "Vyper", "Vyper", Interface.USB), serial,
                new Device("Atomic Aquatics", "Cobalt", "Cobalt", Interface.USB),
                new Device(null, "Vyper", "7"), new Device("Suunto", "D9", "D9", Interface.SERIAL),
                new Device("Suunto", "Vyper", "1"), upperCase));

        assertEquals(List.of("null Vyper 7", "Atomic Aquatics Cobalt USB", "Suunto D9 SERIAL",
                             "Suunto Vyper 1", "Suunto Vyper SERIAL", "suunto Vyper USB"),
                devices.stream()
                        .map(d -> d.getVendor() + " " + d.getProduct() + " "
                                + (d.getInterface() == null ? d.getName() : d.getInterface()))
                        .toList());
        assertEquals(serial, upperCase);
        assertEquals(serial.hashCode(), upperCase.hashCode());
        assertNotEquals(serial, new Device("Suunto", "Vyper", "Vyper", Interface.USB));
    }

    @Test
    void gasValidatesAndNamesTheBlend() {
        assertEquals("Air", Gas.blendGas(21, 0).toString());
        assertEquals("EAN32", Gas.blendGas(32, 0).toString());
        assertEquals("Tx18/45", Gas.blendGas(18, 45).toString());
        assertEquals(Gas.blendGas(18, 45), Gas.blendGas(18, 45));
        assertEquals(37, Gas.blendGas(18, 45).getNitrogenPercent());
        for (int[] bad : new int[][] {{-1, 0}, {101, 0}, {21, -1}, {21, 101}, {60, 41}}) {
            assertThrows(IllegalArgumentException.class, () -> Gas.blendGas(bad[0], bad[1]));
        }
    }

    @Test
    void cylinderRejectsImpossibleSizes() {
        for (float bad : new float[] {0, -12, Float.NaN, Float.POSITIVE_INFINITY}) {
            assertThrows(IllegalArgumentException.class, () -> new Cylinder(bad, 232));
            assertThrows(IllegalArgumentException.class, () -> new Cylinder(12, bad));
        }
    }

    @Test
    void diveValidatesItsSummary() {
        assertThrows(IllegalArgumentException.class, () -> dive(null, "2014-03-09 08:05:00", 0));
        assertThrows(IllegalArgumentException.class, () -> dive(OSTC, null, 0));
        for (float bad : new float[] {-1, Float.NaN, Float.POSITIVE_INFINITY}) {
            assertThrows(IllegalArgumentException.class, () -> dive(OSTC, "x", bad));
            assertThrows(IllegalArgumentException.class,
                    () -> new Dive(OSTC, "x", bad, 10, null, null, null, null, null));
        }
    }

    @Test
    void aDiveDownloadedTwiceIsTheSameDive() {
        Dive first = new Dive(OSTC, "2014-03-09 08:05:00", 3120, 30.5f, 12.25f, 150f, 18.5f,
                Gas.blendGas(21, 0), new Cylinder(12, 232));
        Dive again = new Dive(new Device("heinrichs weikamp", "OSTC 3", "12345"),
                "2014-03-09 08:05:00", 3120, 30.5f, null, null, null, null, null);

        assertEquals(first, again);
        assertEquals(first.hashCode(), again.hashCode());
        assertNotEquals(first, dive(OSTC, "2014-03-10 08:05:00", 30.5f));
        assertNotEquals(first, dive(new Device("Heinrichs Weikamp", "OSTC 3", "54321"),
                                   "2014-03-09 08:05:00", 30.5f));
    }

    @Test
    void profileMustBeAlignedAndAscending() {
        Dive dive = dive(OSTC, "x", 0);
        Float[] two = {0f, 10f};
        Integer[] events = {null, null};
        assertThrows(IllegalArgumentException.class,
                () -> dive.setDiveProfileAndUpdate(two, new Float[1], two, two, events));
        assertThrows(IllegalArgumentException.class,
                () -> dive.setDiveProfileAndUpdate(two, two, two, two, new Integer[3]));
        assertThrows(IllegalArgumentException.class, () -> dive.setDiveProfileAndUpdate(
                new Float[] {0f, null}, two, two, two, events));
        assertThrows(IllegalArgumentException.class, () -> dive.setDiveProfileAndUpdate(
                new Float[] {10f, 0f}, two, two, two, events));
        assertThrows(IllegalArgumentException.class,
                () -> dive.setDiveProfileAndUpdate(two, two, null, two, events));
        assertEquals(0, dive.getTimes().length);
    }

    @Test
    void profileIsCopiedAndFillsAMissingMaximumDepth() {
        Dive dive = dive(OSTC, "x", 0);
        Float[] times = {0f, 10f, 10f};
        Float[] depths = {1.5f, null, 12.5f};
        Integer[] events = {null, 8, 0};
        dive.setDiveProfileAndUpdate(times, depths, new Float[3], new Float[3], events);
        times[0] = 99f;

        assertEquals(12.5f, dive.getMaxDepth());
        assertArrayEquals(new Float[] {0f, 10f, 10f}, dive.getTimes());
        assertArrayEquals(new Integer[] {null, 8, 0}, dive.getEvents());
        assertEquals(dive(OSTC, "x", 0), dive);

        Dive reported = dive(OSTC, "x", 30.5f);
        reported.setDiveProfileAndUpdate(dive.getTimes(), depths, new Float[3], new Float[3], events);
        assertEquals(30.5f, reported.getMaxDepth());
    }

    private static Dive dive(Device device, String start, float maxDepth) {
        return new Dive(device, start, 60, maxDepth, null, null, null, null, null);
    }
}
