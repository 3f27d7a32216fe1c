# SPDX-License-Identifier: MIT
# Runs one selection of the JUnit tests in a JVM that checks every JNI call, and fails when the JVM
# reports a JNI warning even though every test passed: -Xcheck:jni only warns, it never fails.
#
# Variables: JAVA, LIBRARY_DIR, CLASS_PATH, CONSOLE_JAR, EXAMPLES_DIR, CATALOGUE_DIR, SELECTION
# (JUnit console selection arguments separated by "|", e.g. "--include-tag|listing"); optional:
# JVM_OPTIONS (separated by "|") and JVM_ENVIRONMENT ("NAME=value" pairs separated by "|", set for
# the JVM alone, e.g. the preloaded sanitizer runtime of a sanitized build) and PRIVATE_BUS (the
# fake BlueZ's with-private-bus: the JVM then runs on a private system D-Bus of its own).
string(REPLACE "|" ";" selection "${SELECTION}")
string(REPLACE "|" ";" jvm_options "${JVM_OPTIONS}")
set(launcher)
if(JVM_ENVIRONMENT)
    string(REPLACE "|" ";" jvm_environment "${JVM_ENVIRONMENT}")
    set(launcher "${CMAKE_COMMAND}" -E env ${jvm_environment})
endif()
if(PRIVATE_BUS)
    # A unix socket's path is short: the bus lives in /tmp, not in the build directory.
    string(RANDOM LENGTH 10 bus_id)
    set(bus_dir /tmp/divebridge-bus-${bus_id})
    list(APPEND launcher "${PRIVATE_BUS}" "${bus_dir}")
endif()
execute_process(
    COMMAND ${launcher} "${JAVA}" -Xcheck:jni ${jvm_options}
            "-Djava.library.path=${LIBRARY_DIR}"
            "-Ddivebridge.examples=${EXAMPLES_DIR}"
            "-Ddivebridge.catalogues=${CATALOGUE_DIR}"
            "-Ddivebridge.fakebluez=${FAKE_BLUEZ_DIR}"
            "-Ddivebridge.release=${RELEASE}"
            -jar "${CONSOLE_JAR}"
            --class-path "${CLASS_PATH}" --scan-class-path ${selection}
            --fail-if-no-tests --disable-banner --disable-ansi-colors --details=tree
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output
    RESULT_VARIABLE result)
message("${output}")
if(PRIVATE_BUS)
    file(REMOVE_RECURSE "${bus_dir}")
endif()

string(REGEX MATCHALL "[^\n]*(WARNING|Warning:)[^\n]*" warnings "${output}")
if(warnings)
    list(JOIN warnings "\n" warning_lines)
    message(FATAL_ERROR "The JVM reported JNI warnings:\n${warning_lines}")
endif()
if(NOT result EQUAL 0)
    message(FATAL_ERROR "JUnit run failed (exit status ${result}).")
endif()
