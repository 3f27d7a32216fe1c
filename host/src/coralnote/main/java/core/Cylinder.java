// SPDX-License-Identifier: MIT
package coralnote.main.java.core;

/** A diving cylinder: water volume in litres and working pressure in bar. */
public final class Cylinder {
    private final float volume;
    private final float workPressure;

    public Cylinder(float volume, float workPressure) {
        this.volume = requirePositive(volume, "volume");
        this.workPressure = requirePositive(workPressure, "working pressure");
    }

    private static float requirePositive(float value, String what) {
        if (!Float.isFinite(value) || value <= 0) {
            throw new IllegalArgumentException("Invalid cylinder " + what + ": " + value);
        }
        return value;
    }

    public float getVolume() {
        return volume;
    }

    public float getWorkPressure() {
        return workPressure;
    }

    @Override
    public boolean equals(Object other) {
        if (!(other instanceof Cylinder)) {
            return false;
        }
        Cylinder cylinder = (Cylinder) other;
        return Float.compare(volume, cylinder.volume) == 0
                && Float.compare(workPressure, cylinder.workPressure) == 0;
    }

    @Override
    public int hashCode() {
        return 31 * Float.hashCode(volume) + Float.hashCode(workPressure);
    }

    @Override
    public String toString() {
        return volume + " l @ " + workPressure + " bar";
    }
}
