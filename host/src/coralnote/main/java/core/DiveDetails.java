// SPDX-License-Identifier: MIT
package coralnote.main.java.core;

import java.util.ArrayList;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * Everything a dive computer recorded beyond a Dive's summary and five profile columns, as the
 * bridge hands it over: every gas mix and tank, the pressure of every tank, the other sample kinds
 * as named columns, every event, and the summary fields. Values keep libdivecomputer's units and
 * numbers (metres, bar, degrees Celsius, seconds, CNS as a fraction); gas mixes are in percent.
 * A column has one value per profile row, NaN where the row has none.
 */
public final class DiveDetails {
    /** Oxygen and helium in percent (NaN when the dive computer's mix could not be read). */
    public record GasMix(float oxygen, float helium, int usage) {}

    /** Gas mix index (-1 when unknown), litres, bar, libdivecomputer's volume type and usage. */
    public record Tank(int gasMix, float volume, float workPressure, float beginPressure,
            float endPressure, int volumeType, int usage) {}

    /** The profile row it belongs to (-1 before the first), libdivecomputer's type and values. */
    public record Event(int row, int type, int time, int flags, int value) {}

    private List<GasMix> gasMixes = List.of();
    private List<Tank> tanks = List.of();
    private float[][] tankPressures = new float[0][];
    private Map<String, float[]> sampleColumns = Map.of();
    private List<Event> events = List.of();
    private Map<String, Double> fields = Map.of();

    void setGasMixes(float[] oxygen, float[] helium, int[] usage) {
        requireSameLength(oxygen.length, helium.length, usage.length);
        List<GasMix> mixes = new ArrayList<>();
        for (int i = 0; i < oxygen.length; i++) {
            // As blendGas: a host refuses an impossible mix. NaN, a mix not read, passes.
            if (oxygen[i] < 0 || oxygen[i] > 100 || helium[i] < 0 || helium[i] > 100) {
                throw new IllegalArgumentException(
                        "Impossible gas mix: O2 " + oxygen[i] + "%, He " + helium[i] + "%");
            }
            mixes.add(new GasMix(oxygen[i], helium[i], usage[i]));
        }
        gasMixes = Collections.unmodifiableList(mixes);
    }

    void setTanks(int[] gasMix, float[] volume, float[] workPressure, float[] beginPressure,
            float[] endPressure, int[] volumeType, int[] usage) {
        requireSameLength(gasMix.length, volume.length, workPressure.length, beginPressure.length,
                endPressure.length, volumeType.length, usage.length);
        List<Tank> list = new ArrayList<>();
        for (int i = 0; i < gasMix.length; i++) {
            list.add(new Tank(gasMix[i], volume[i], workPressure[i], beginPressure[i],
                    endPressure[i], volumeType[i], usage[i]));
        }
        tanks = Collections.unmodifiableList(list);
    }

    void setTankPressures(float[][] pressures, int rows) {
        for (float[] column : pressures) {
            requireRows(column, rows);
        }
        tankPressures = pressures;  // the bridge's arrays are the Dive's own
    }

    void setSampleColumns(String[] names, float[][] columns, int rows) {
        requireSameLength(names.length, columns.length);
        Map<String, float[]> named = new LinkedHashMap<>();
        for (int i = 0; i < names.length; i++) {
            requireRows(columns[i], rows);
            if (names[i] == null || named.put(names[i], columns[i]) != null) {
                throw new IllegalArgumentException("Sample column names must be distinct.");
            }
        }
        sampleColumns = Collections.unmodifiableMap(named);
    }

    void setEvents(int[] rowOf, int[] types, int[] times, int[] flags, int[] values, int rows) {
        requireSameLength(rowOf.length, types.length, times.length, flags.length, values.length);
        List<Event> list = new ArrayList<>();
        for (int i = 0; i < rowOf.length; i++) {
            if (rowOf[i] < -1 || rowOf[i] >= rows) {
                throw new IllegalArgumentException("An event's row is outside the profile.");
            }
            list.add(new Event(rowOf[i], types[i], times[i], flags[i], values[i]));
        }
        events = Collections.unmodifiableList(list);
    }

    void setDiveFields(String[] names, double[] values) {
        requireSameLength(names.length, values.length);
        Map<String, Double> named = new LinkedHashMap<>();
        for (int i = 0; i < names.length; i++) {
            if (names[i] == null || named.put(names[i], values[i]) != null) {
                throw new IllegalArgumentException("Dive field names must be distinct.");
            }
        }
        fields = Collections.unmodifiableMap(named);
    }

    private static void requireSameLength(int... lengths) {
        for (int length : lengths) {
            if (length != lengths[0]) {
                throw new IllegalArgumentException("Detail arrays differ in length.");
            }
        }
    }

    private static void requireRows(float[] column, int rows) {
        if (column == null || column.length != rows) {
            throw new IllegalArgumentException("A column must have one value per profile row.");
        }
    }

    private static float[][] deepCopy(float[][] columns) {
        float[][] copy = new float[columns.length][];
        for (int i = 0; i < columns.length; i++) {
            copy[i] = columns[i].clone();
        }
        return copy;
    }

    public List<GasMix> getGasMixes() {
        return gasMixes;
    }

    public List<Tank> getTanks() {
        return tanks;
    }

    /** One column per tank number the pressure samples named (index = that number). */
    public float[][] getTankPressures() {
        return deepCopy(tankPressures);
    }

    /** Named columns: gasmix, deco.type, deco.depth, deco.time, deco.tts, ppo2.N, setpoint, ... */
    public Map<String, float[]> getSampleColumns() {
        Map<String, float[]> copy = new LinkedHashMap<>();
        sampleColumns.forEach((name, column) -> copy.put(name, column.clone()));
        return copy;
    }

    public List<Event> getEvents() {
        return events;
    }

    /** divemode, salinity.type, salinity.density, atmospheric, temperature.*, decomodel.*, ... */
    public Map<String, Double> getFields() {
        return fields;
    }
}
