// SPDX-License-Identifier: MIT
package coralnote.bench;

import coralnote.main.java.core.Cylinder;
import coralnote.main.java.core.Device;
import coralnote.main.java.core.Dive;
import coralnote.main.java.core.Gas;
import java.util.ArrayList;
import java.util.List;
import java.util.Set;

/**
 * The pure-Java reference: the identical object graph (Gas, Cylinder, boxed summary values, Dive,
 * five boxed arrays, setDiveProfileAndUpdate, Set.add) built from plain Java values, as the bridge
 * builds it from native records.
 */
final class PureJavaDives {
    /** One column as plain values (exact for every float and int): present[i] says whether row i
     * holds values[i]. */
    private record Column(double[] values, boolean[] present) {
        static Column of(Number[] boxed) {
            double[] values = new double[boxed.length];
            boolean[] present = new boolean[boxed.length];
            for (int row = 0; row < boxed.length; row++) {
                if (boxed[row] != null) {
                    values[row] = boxed[row].doubleValue();
                    present[row] = true;
                }
            }
            return new Column(values, present);
        }
    }

    /** Everything one Dive is made from, held as primitives and characters. */
    private record DiveValues(char[] start, float diveTime, float maxDepth, Float averageDepth,
            Float usedPressure, Float bottomTemperature, int[] gas, float[] cylinder, Column times,
            Column depths, Column pressures, Column temperatures, Column events) {}

    private final List<DiveValues> dives = new ArrayList<>();

    /** Takes the values of the dives the bridge built, so that both build the same graph. */
    PureJavaDives(Iterable<Dive> built) {
        for (Dive dive : built) {
            Gas gas = dive.getGas();
            Cylinder cylinder = dive.getCylinder();
            dives.add(new DiveValues(dive.getStart().toCharArray(), dive.getDiveTime(),
                    dive.getMaxDepth(), dive.getAverageDepth(), dive.getUsedPressure(),
                    dive.getBottomTemperature(),
                    gas == null ? null : new int[] {gas.getOxygenPercent(), gas.getHeliumPercent()},
                    cylinder == null ? null
                            : new float[] {cylinder.getVolume(), cylinder.getWorkPressure()},
                    Column.of(dive.getTimes()), Column.of(dive.getDepths()),
                    Column.of(dive.getPressures()), Column.of(dive.getTemperatures()),
                    Column.of(dive.getEvents())));
        }
    }

    /** Builds every dive into {@code set}, boxing each value afresh as the bridge does. */
    @SuppressWarnings("removal")
    void build(Device parent, Set<Dive> set) {
        for (DiveValues values : dives) {
            Gas gas = values.gas() == null ? null : Gas.blendGas(values.gas()[0], values.gas()[1]);
            Float usedPressure = box(values.usedPressure());
            Float bottomTemperature = box(values.bottomTemperature());
            Cylinder cylinder = values.cylinder() == null ? null
                    : new Cylinder(values.cylinder()[0], values.cylinder()[1]);
            Float averageDepth = box(values.averageDepth());
            Dive dive = new Dive(parent, new String(values.start()), values.diveTime(),
                    values.maxDepth(), averageDepth, usedPressure, bottomTemperature, gas,
                    cylinder);
            dive.setDiveProfileAndUpdate(floats(values.times()), floats(values.depths()),
                    floats(values.pressures()), floats(values.temperatures()),
                    integers(values.events()));
            set.add(dive);
        }
    }

    @SuppressWarnings("removal")
    private static Float box(Float value) {
        return value == null ? null : new Float(value.floatValue());
    }

    @SuppressWarnings("removal")
    private static Float[] floats(Column column) {
        Float[] array = new Float[column.values().length];
        for (int row = 0; row < array.length; row++) {
            if (column.present()[row]) {
                array[row] = new Float((float) column.values()[row]);
            }
        }
        return array;
    }

    @SuppressWarnings("removal")
    private static Integer[] integers(Column column) {
        Integer[] array = new Integer[column.values().length];
        for (int row = 0; row < array.length; row++) {
            if (column.present()[row]) {
                array[row] = new Integer((int) column.values()[row]);
            }
        }
        return array;
    }
}
