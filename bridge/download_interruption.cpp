// SPDX-License-Identifier: MIT
#include "device/interruption.h"

#include <coralnote_main_java_core_DeviceConnector.h>

JNIEXPORT void JNICALL
Java_coralnote_main_java_core_DeviceConnector_interruptDeviceDownload(JNIEnv *, jclass) {
    divebridge::requestStop();
}
