# SPDX-License-Identifier: MIT
# Installs the build into a scratch prefix, the bridge with the libdivecomputer it was linked
# against, checks what landed there (the licences too) and what cpack packs, then downloads the
# bundled example in a fresh JVM that knows only that prefix: the install must be self-contained.
#
# Variables: BUILD_DIR, PREFIX, EXPORTS (the functions the bridge must export, and no other), JAVA,
# CLASS_PATH (host and demo jars), EXAMPLES_DIR.
# A fresh state too: the demo keeps the fingerprint of the newest dive it downloaded.
file(REMOVE_RECURSE "${PREFIX}" "${PREFIX}-demo-state" "${PREFIX}-packages")
foreach(component bridge libdivecomputer)
    execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                            --component ${component}
                    RESULT_VARIABLE result OUTPUT_QUIET)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "cmake --install of ${component} failed")
    endif()
endforeach()

file(GLOB_RECURSE installed RELATIVE "${PREFIX}" LIST_DIRECTORIES false "${PREFIX}/*")
list(SORT installed)
set(expected lib/libdivebridge.so lib/libdivecomputer.so.0 lib/libdivecomputer.so.0.0.0
             share/doc/divebridge/LICENSE share/doc/divebridge/THIRD-PARTY.md)
if(BLE_PLUGIN)
    list(APPEND expected lib/libdivebridge_bluez.so lib/libsdbus-c++.so.1
                share/doc/divebridge/sdbus-c++-copyright)
    list(SORT expected)
endif()
if(NOT installed STREQUAL expected)
    message(FATAL_ERROR "Installed ${installed}, expected ${expected}")
endif()

# The bridge loads on any Linux: it needs libdivecomputer and the C and C++ runtimes, nothing of
# D-Bus; the BLE plug-in finds what ships beside it.
set(library "${PREFIX}/lib/libdivebridge.so")
execute_process(COMMAND readelf -d "${library}" OUTPUT_VARIABLE dynamic)
if(NOT dynamic MATCHES "Library runpath: \\[\\$ORIGIN\\]")
    message(FATAL_ERROR "The installed bridge's run path is not $ORIGIN:\n${dynamic}")
endif()
string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${dynamic}")
list(TRANSFORM needed REPLACE "Shared library: \\[([^]]+)\\]" "\\1")
list(FILTER needed EXCLUDE REGEX
     "^(libdivecomputer\\.so\\.0|libstdc\\+\\+\\.so\\.6|libm\\.so\\.6|libgcc_s\\.so\\.1|libc\\.so\\.6|ld-linux-[-_a-z0-9]+\\.so\\.2)$")
if(needed)
    message(FATAL_ERROR "The installed bridge needs ${needed} beyond libdivecomputer and the C and C++ runtimes")
endif()
if(BLE_PLUGIN)
    execute_process(COMMAND readelf -d "${PREFIX}/lib/libdivebridge_bluez.so"
                    OUTPUT_VARIABLE plugin_dynamic)
    if(NOT plugin_dynamic MATCHES "Library runpath: \\[\\$ORIGIN\\]")
        message(FATAL_ERROR "The installed BLE plug-in's run path is not $ORIGIN:\n${plugin_dynamic}")
    endif()
endif()
execute_process(COMMAND readelf --dyn-syms --wide "${library}" OUTPUT_VARIABLE symbols)
string(REGEX MATCHALL "GLOBAL +DEFAULT +[0-9]+ [^\n]+" exported "${symbols}")
list(TRANSFORM exported REPLACE "GLOBAL +DEFAULT +[0-9]+ " "")
list(SORT exported)
set(exports ${EXPORTS})
list(SORT exports)
if(NOT exported STREQUAL exports)
    message(FATAL_ERROR "The installed bridge exports ${exported}")
endif()

# The archive an application vendor unpacks carries the licence, and with libdivecomputer bundled
# the note on it.
foreach(components "bridge" "bridge;libdivecomputer")
    file(REMOVE_RECURSE "${PREFIX}-packages")
    # The components named, in one archive, as a build with the bundle option packs them.
    execute_process(COMMAND cpack --config "${BUILD_DIR}/CPackConfig.cmake" -B "${PREFIX}-packages"
                            -D "CPACK_COMPONENTS_ALL=${components}"
                            -D CPACK_ARCHIVE_COMPONENT_INSTALL=ON
                            -D CPACK_COMPONENTS_GROUPING=ALL_COMPONENTS_IN_ONE
                    RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
    file(GLOB archive "${PREFIX}-packages/*.tar.gz")
    if(NOT result EQUAL 0 OR NOT archive)
        message(FATAL_ERROR "cpack of ${components} failed: ${errors}")
    endif()
    execute_process(COMMAND tar tzf "${archive}" OUTPUT_VARIABLE packed)
    set(wanted share/doc/divebridge/LICENSE)
    if(components MATCHES libdivecomputer)
        list(APPEND wanted share/doc/divebridge/THIRD-PARTY.md)
    endif()
    foreach(file ${wanted})
        if(NOT packed MATCHES "(^|/|\n)${file}\n")
            message(FATAL_ERROR "The archive of ${components} lacks ${file}:\n${packed}")
        endif()
    endforeach()
endforeach()

execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env --unset=LD_LIBRARY_PATH --unset=DCSIM_CATALOGUE
            "${JAVA}" -Xcheck:jni "-Djava.library.path=${PREFIX}/lib" -cp "${CLASS_PATH}"
            coralnote.demo.DiveLogDemo --examples "${EXAMPLES_DIR}" --state "${PREFIX}-demo-state"
    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT output MATCHES "Shearwater Perdix, serial [0-9]+: [1-9][0-9]* dives")
    message(FATAL_ERROR "The installed bridge did not download the example:\n${output}")
endif()
if(output MATCHES "WARNING")
    message(FATAL_ERROR "The JVM reported JNI warnings:\n${output}")
endif()
