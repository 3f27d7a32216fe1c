# Runs one selection of the JUnit tests in a JVM that checks every JNI call, and fails when the JVM
# reports a JNI warning even though every test passed: -Xcheck:jni only warns, it never fails.
#
# Variables: JAVA, LIBRARY_DIR, CLASS_PATH, CONSOLE_JAR, EXAMPLES_DIR, CATALOGUE_DIR, SELECTION
# (JUnit console selection arguments separated by "|", e.g. "--include-tag|listing").
string(REPLACE "|" ";" selection "${SELECTION}")
execute_process(
    COMMAND "${JAVA}" -Xcheck:jni
            "-Djava.library.path=${LIBRARY_DIR}"
            "-Ddivebridge.examples=${EXAMPLES_DIR}"
            "-Ddivebridge.catalogues=${CATALOGUE_DIR}"
            -jar "${CONSOLE_JAR}"
            --class-path "${CLASS_PATH}" --scan-class-path ${selection}
            --fail-if-no-tests --disable-banner --disable-ansi-colors --details=tree
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output
    RESULT_VARIABLE result)
message("${output}")

string(REGEX MATCHALL "[^\n]*(WARNING|Warning:)[^\n]*" warnings "${output}")
if(warnings)
    list(JOIN warnings "\n" warning_lines)
    message(FATAL_ERROR "The JVM reported JNI warnings:\n${warning_lines}")
endif()
if(NOT result EQUAL 0)
    message(FATAL_ERROR "JUnit run failed (exit status ${result}).")
endif()
