# SPDX-License-Identifier: MIT
# What an application ships: `cmake --install` puts the bridge alone into <prefix>/lib (bin/ for the
# Windows DLL); on Linux with a run path of $ORIGIN, so that a libdivecomputer placed beside it is
# found first. `cpack` packs the same into one archive named for the version and the platform.
option(DIVEBRIDGE_INSTALL_LIBDIVECOMPUTER
       "Also install the libdivecomputer the bridge links against, beside it" OFF)

if(WIN32)
    # The import library is for linking against the bridge, which no application does.
    install(TARGETS divebridge RUNTIME DESTINATION bin COMPONENT bridge
            ARCHIVE DESTINATION lib COMPONENT development EXCLUDE_FROM_ALL)
else()
    set_target_properties(divebridge PROPERTIES INSTALL_RPATH "$ORIGIN")
    # RUNPATH rather than RPATH: LD_LIBRARY_PATH still wins, as a user who points it elsewhere
    # expects.
    target_link_options(divebridge PRIVATE "LINKER:--enable-new-dtags")
    install(TARGETS divebridge LIBRARY DESTINATION lib COMPONENT bridge NAMELINK_SKIP)
endif()

# Bluetooth LE on Linux: the BlueZ plug-in beside the bridge, which loads it at the first BLE
# download, and the sdbus-c++ it needs (few desktops have it, and 2.0 changed its soname), so that a
# user's machine needs only systemd's libsystemd.so.0, which every desktop running BlueZ has.
if(TARGET divebridge_bluez_plugin)
    set_target_properties(divebridge_bluez_plugin PROPERTIES INSTALL_RPATH "$ORIGIN")
    target_link_options(divebridge_bluez_plugin PRIVATE "LINKER:--enable-new-dtags")
    install(TARGETS divebridge_bluez_plugin LIBRARY DESTINATION lib COMPONENT bridge)
    find_package(sdbus-c++ 1.2 REQUIRED)
    get_target_property(sdbus_library SDBusCpp::sdbus-c++ LOCATION)
    file(REAL_PATH "${sdbus_library}" sdbus_file)
    execute_process(COMMAND readelf -d "${sdbus_file}" OUTPUT_VARIABLE sdbus_dynamic ERROR_QUIET)
    string(REGEX MATCH "Library soname: \\[([^]]+)\\]" _ "${sdbus_dynamic}")
    install(FILES "${sdbus_file}" DESTINATION lib RENAME "${CMAKE_MATCH_1}" COMPONENT bridge)
    find_file(sdbus_copyright copyright PATHS /usr/share/doc/libsdbus-c++1 NO_DEFAULT_PATH)
    if(sdbus_copyright)
        install(FILES "${sdbus_copyright}" DESTINATION share/doc/divebridge
                RENAME sdbus-c++-copyright COMPONENT bridge)
    endif()
endif()

# The libdivecomputer beside it: the simulator's stand-in (for a demo bundle), or the real shared
# object the bridge loads: on Linux the file the SONAME names, on Windows the prefix's DLL. Without
# the option it is still there, as the component "libdivecomputer", for
# `cmake --install <dir> --component libdivecomputer`.
set(exclude_libdivecomputer EXCLUDE_FROM_ALL)
if(DIVEBRIDGE_INSTALL_LIBDIVECOMPUTER)
    set(exclude_libdivecomputer)
endif()
if(DIVEBRIDGE_SIMULATOR AND WIN32)
    install(TARGETS dcsim RUNTIME DESTINATION bin COMPONENT libdivecomputer ${exclude_libdivecomputer}
            ARCHIVE DESTINATION lib COMPONENT development EXCLUDE_FROM_ALL)
elseif(DIVEBRIDGE_SIMULATOR)
    install(TARGETS dcsim LIBRARY DESTINATION lib COMPONENT libdivecomputer NAMELINK_SKIP
            ${exclude_libdivecomputer})
elseif(WIN32)
    file(GLOB divecomputer_dlls "${DIVECOMPUTER_PREFIX}/bin/libdivecomputer*.dll")
    install(FILES ${divecomputer_dlls} DESTINATION bin
            COMPONENT libdivecomputer ${exclude_libdivecomputer})
else()
    find_library(divecomputer_library NAMES divecomputer
                 HINTS ${DIVECOMPUTER_LIBRARY_DIRS} NO_DEFAULT_PATH)
    if(divecomputer_library)
        file(REAL_PATH "${divecomputer_library}" divecomputer_file)
        execute_process(COMMAND readelf -d "${divecomputer_file}"
                        OUTPUT_VARIABLE divecomputer_dynamic ERROR_QUIET)
        string(REGEX MATCH "Library soname: \\[([^]]+)\\]" _ "${divecomputer_dynamic}")
        set(divecomputer_soname "${CMAKE_MATCH_1}")
        if(NOT divecomputer_soname)
            cmake_path(GET divecomputer_file FILENAME divecomputer_soname)
        endif()
        install(FILES "${divecomputer_file}" DESTINATION lib RENAME "${divecomputer_soname}"
                COMPONENT libdivecomputer ${exclude_libdivecomputer})
    endif()
endif()

# The bridge's licence travels with it; a bundled libdivecomputer brings a note of what it is, its
# licence and where its source is, and its licence's text where the installed one has it.
set(DIVEBRIDGE_DOC_DIR share/doc/divebridge)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${DIVEBRIDGE_DOC_DIR} COMPONENT bridge)
if(DIVEBRIDGE_SIMULATOR)
    install(FILES ${PROJECT_SOURCE_DIR}/cmake/licences/THIRD-PARTY-simulator.md
            DESTINATION ${DIVEBRIDGE_DOC_DIR} RENAME THIRD-PARTY.md
            COMPONENT libdivecomputer ${exclude_libdivecomputer})
else()
    set(DIVEBRIDGE_DC_VERSION ${DIVECOMPUTER_VERSION})
    if(WIN32)
        set(DIVEBRIDGE_DC_FILE "bin/libdivecomputer-0.dll")
    else()
        set(DIVEBRIDGE_DC_FILE "lib/${divecomputer_soname}")
    endif()
    find_file(divecomputer_licence NAMES COPYING COPYING.LESSER LICENSE
              PATHS ${DIVECOMPUTER_PREFIX}/share/doc/libdivecomputer
                    ${DIVECOMPUTER_PREFIX}/share/licenses/libdivecomputer
                    ${DIVECOMPUTER_PREFIX}/share/libdivecomputer
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(divecomputer_licence)
        set(DIVEBRIDGE_DC_LICENCE_TEXT
            "; its text is in `${DIVEBRIDGE_DOC_DIR}/libdivecomputer-COPYING`")
        install(FILES ${divecomputer_licence} DESTINATION ${DIVEBRIDGE_DOC_DIR}
                RENAME libdivecomputer-COPYING COMPONENT libdivecomputer ${exclude_libdivecomputer})
    else()
        set(DIVEBRIDGE_DC_LICENCE_TEXT
            "; its text: https://www.gnu.org/licenses/old-licenses/lgpl-2.1.html")
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/cmake/licences/THIRD-PARTY.md.in
                   ${PROJECT_BINARY_DIR}/THIRD-PARTY.md @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/THIRD-PARTY.md DESTINATION ${DIVEBRIDGE_DOC_DIR}
            COMPONENT libdivecomputer ${exclude_libdivecomputer})
endif()

set(CPACK_PACKAGE_NAME divebridge)
set(CPACK_PACKAGE_VENDOR coralnote)
set(CPACK_PACKAGE_FILE_NAME
    "divebridge-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")
string(TOLOWER "${CPACK_PACKAGE_FILE_NAME}" CPACK_PACKAGE_FILE_NAME)
set(CPACK_GENERATOR TGZ)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
endif()
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL bridge)
if(DIVEBRIDGE_INSTALL_LIBDIVECOMPUTER)
    list(APPEND CPACK_COMPONENTS_ALL libdivecomputer)
endif()
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
