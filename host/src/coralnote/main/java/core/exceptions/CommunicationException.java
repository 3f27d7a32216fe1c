// SPDX-License-Identifier: MIT
package coralnote.main.java.core.exceptions;

/** The dive computer could not be opened or the transfer from it failed. */
public class CommunicationException extends NativeException {
    private static final long serialVersionUID = 1L;

    public CommunicationException(String message) {
        super(message);
    }
}
