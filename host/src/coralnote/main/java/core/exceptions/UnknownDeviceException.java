// SPDX-License-Identifier: MIT
package coralnote.main.java.core.exceptions;

/** No supported dive computer matches the vendor and model the user chose. */
public class UnknownDeviceException extends NativeException {
    private static final long serialVersionUID = 1L;

    public UnknownDeviceException(String message) {
        super(message);
    }
}
