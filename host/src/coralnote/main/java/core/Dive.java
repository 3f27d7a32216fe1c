// SPDX-License-Identifier: MIT
package coralnote.main.java.core;

import java.util.Arrays;
import java.util.Objects;

/**
 * One dive of a logbook: its summary as the dive computer reported it and, once attached, its
 * sample profile (one row per sample, aligned across the five arrays).
 */
public final class Dive {
    private final Device device;
    private final String start;
    private final float diveTime;
    private final float reportedMaxDepth;
    private final Float averageDepth;
    private final Float usedPressure;
    private final Float bottomTemperature;
    private final Gas gas;
    private final Cylinder cylinder;

    private float maxDepth;
    private Float[] times = new Float[0];
    private Float[] depths = new Float[0];
    private Float[] pressures = new Float[0];
    private Float[] temperatures = new Float[0];
    private Integer[] events = new Integer[0];
    private final DiveDetails details = new DiveDetails();

    /**
     * @param start the start as the dive computer's local time, "yyyy-MM-dd HH:mm:ss"
     * @param diveTime seconds
     * @param maxDepth metres; 0 when the dive computer does not report it
     * @param averageDepth metres, or null
     * @param usedPressure bar consumed from the first cylinder, or null
     * @param bottomTemperature degrees Celsius, or null
     */
    public Dive(Device device, String start, float diveTime, float maxDepth, Float averageDepth,
            Float usedPressure, Float bottomTemperature, Gas gas, Cylinder cylinder) {
        if (device == null || start == null) {
            throw new IllegalArgumentException("A dive needs a device and a start.");
        }
        this.device = device;
        this.start = start;
        this.diveTime = requireNonNegative(diveTime, "dive time");
        this.reportedMaxDepth = requireNonNegative(maxDepth, "maximum depth");
        this.maxDepth = this.reportedMaxDepth;
        this.averageDepth = averageDepth;
        this.usedPressure = usedPressure;
        this.bottomTemperature = bottomTemperature;
        this.gas = gas;
        this.cylinder = cylinder;
    }

    private static float requireNonNegative(float value, String what) {
        if (!Float.isFinite(value) || value < 0) {
            throw new IllegalArgumentException("Invalid " + what + ": " + value);
        }
        return value;
    }

    /**
     * Attaches the sample profile (seconds, metres, bar, degrees Celsius, event codes; null where a
     * row has no such value) and derives what the summary lacks: a maximum depth of 0 becomes the
     * deepest sample.
     */
    public void setDiveProfileAndUpdate(Float[] times, Float[] depths, Float[] pressures,
            Float[] temperatures, Integer[] events) {
        requireProfile(times, depths, pressures, temperatures, events);
        this.times = times.clone();
        this.depths = depths.clone();
        this.pressures = pressures.clone();
        this.temperatures = temperatures.clone();
        this.events = events.clone();
        if (maxDepth == 0) {
            maxDepth = deepest(this.depths);
        }
    }

    // What the dive computer recorded beyond the profile, handed over by the bridge after the
    // profile; each column has one value per profile row. The JVM tests cut some of these out to
    // make a host that declares only part of them, so each body is one statement.
    public void setGasMixes(float[] oxygen, float[] helium, int[] usage) {
        details.setGasMixes(oxygen, helium, usage);
    }

    public void setTanks(int[] gasMix, float[] volume, float[] workPressure,
            float[] beginPressure, float[] endPressure, int[] volumeType, int[] usage) {
        details.setTanks(gasMix, volume, workPressure, beginPressure, endPressure, volumeType,
                usage);
    }

    public void setTankPressures(float[][] pressures) {
        details.setTankPressures(pressures, times.length);
    }

    public void setSampleColumns(String[] names, float[][] columns) {
        details.setSampleColumns(names, columns, times.length);
    }

    public void setEvents(int[] rows, int[] types, int[] times, int[] flags, int[] values) {
        details.setEvents(rows, types, times, flags, values, this.times.length);
    }

    public void setDiveFields(String[] names, double[] values) {
        details.setDiveFields(names, values);
    }

    private static void requireProfile(Float[] times, Float[] depths, Float[] pressures,
            Float[] temperatures, Integer[] events) {
        if (times == null || depths == null || pressures == null || temperatures == null
                || events == null) {
            throw new IllegalArgumentException("A profile needs all five columns.");
        }
        int rows = times.length;
        if (depths.length != rows || pressures.length != rows || temperatures.length != rows
                || events.length != rows) {
            throw new IllegalArgumentException("Profile columns differ in length.");
        }
        float previous = Float.NEGATIVE_INFINITY;
        for (Float time : times) {
            if (time == null || !(time >= previous)) {
                throw new IllegalArgumentException("Profile times must be present and ascending.");
            }
            previous = time;
        }
    }

    private static float deepest(Float[] depths) {
        float deepest = 0;
        for (Float depth : depths) {
            if (depth != null && depth > deepest) {
                deepest = depth;
            }
        }
        return deepest;
    }

    public DiveDetails getDetails() {
        return details;
    }

    public Device getDevice() {
        return device;
    }

    public String getStart() {
        return start;
    }

    public float getDiveTime() {
        return diveTime;
    }

    public float getMaxDepth() {
        return maxDepth;
    }

    public Float getAverageDepth() {
        return averageDepth;
    }

    public Float getUsedPressure() {
        return usedPressure;
    }

    public Float getBottomTemperature() {
        return bottomTemperature;
    }

    public Gas getGas() {
        return gas;
    }

    public Cylinder getCylinder() {
        return cylinder;
    }

    public Float[] getTimes() {
        return times.clone();
    }

    public Float[] getDepths() {
        return depths.clone();
    }

    public Float[] getPressures() {
        return pressures.clone();
    }

    public Float[] getTemperatures() {
        return temperatures.clone();
    }

    public Integer[] getEvents() {
        return events.clone();
    }

    /** A dive downloaded twice is the same dive: same device, start, duration and reported depth. */
    @Override
    public boolean equals(Object other) {
        if (!(other instanceof Dive)) {
            return false;
        }
        Dive dive = (Dive) other;
        return device.equals(dive.device) && start.equals(dive.start)
                && Float.compare(diveTime, dive.diveTime) == 0
                && Float.compare(reportedMaxDepth, dive.reportedMaxDepth) == 0;
    }

    @Override
    public int hashCode() {
        return Objects.hash(device, start, diveTime, reportedMaxDepth);
    }

    @Override
    public String toString() {
        return start + " " + diveTime + " s, " + maxDepth + " m, " + gas + " ("
                + Arrays.asList(device.getVendor(), device.getProduct(), device.getName()) + ")";
    }
}
