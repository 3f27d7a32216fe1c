// SPDX-License-Identifier: MIT
package coralnote.main.java.core.exceptions;

/** A failure reported by the native dive computer bridge. */
public class NativeException extends Exception {
    private static final long serialVersionUID = 1L;

    public NativeException(String message) {
        super(message);
    }

    public NativeException(String message, Throwable cause) {
        super(message, cause);
    }
}
