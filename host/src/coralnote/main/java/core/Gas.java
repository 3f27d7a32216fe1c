// SPDX-License-Identifier: MIT
package coralnote.main.java.core;

/** A breathing gas given by its oxygen and helium content in whole percent. */
public final class Gas {
    private static final int AIR_OXYGEN = 21;

    private final int oxygenPercent;
    private final int heliumPercent;

    private Gas(int oxygenPercent, int heliumPercent) {
        this.oxygenPercent = oxygenPercent;
        this.heliumPercent = heliumPercent;
    }

    /** The blend of {@code oxygenPercent} oxygen and {@code heliumPercent} helium, rest nitrogen. */
    public static Gas blendGas(int oxygenPercent, int heliumPercent) {
        if (oxygenPercent < 0 || oxygenPercent > 100 || heliumPercent < 0 || heliumPercent > 100
                || oxygenPercent + heliumPercent > 100) {
            throw new IllegalArgumentException(
                    "Impossible gas blend: O2 " + oxygenPercent + "%, He " + heliumPercent + "%");
        }
        return new Gas(oxygenPercent, heliumPercent);
    }

    public int getOxygenPercent() {
        return oxygenPercent;
    }

    public int getHeliumPercent() {
        return heliumPercent;
    }

    public int getNitrogenPercent() {
        return 100 - oxygenPercent - heliumPercent;
    }

    @Override
    public boolean equals(Object other) {
        if (!(other instanceof Gas)) {
            return false;
        }
        Gas gas = (Gas) other;
        return oxygenPercent == gas.oxygenPercent && heliumPercent == gas.heliumPercent;
    }

    @Override
    public int hashCode() {
        return 101 * oxygenPercent + heliumPercent;
    }

    /** The diver's name of the blend: "Air", "EAN32", "Tx18/45". */
    @Override
    public String toString() {
        if (heliumPercent > 0) {
            return "Tx" + oxygenPercent + "/" + heliumPercent;
        }
        return oxygenPercent == AIR_OXYGEN ? "Air" : "EAN" + oxygenPercent;
    }
}
