# SPDX-License-Identifier: MIT
# Windows x64 cross-built on Linux with MinGW-w64 (the windows preset, cmake/mingw-w64-x86_64.cmake).
# Included by the top-level CMakeLists.txt before any target is made.
if(NOT WIN32 OR CMAKE_HOST_WIN32)
    message(FATAL_ERROR "Cross builds target Windows from Linux only: use the windows preset")
endif()

# Programs and DLLs in one directory: each test finds divebridge.dll and libdivecomputer-0.dll
# beside it, as an application finds the DLLs it ships.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# MinGW's libgcc, libstdc++ and winpthread are linked in: the DLLs and programs then need only
# Windows' own DLLs and libdivecomputer's. Not with -static, under which a libdivecomputer named by
# -l would come from its static archive too: the archives of libstdc++ and of winpthread, which
# libstdc++ calls, are named after every other library instead. winpthread whole: the unwinder and
# libstdc++'s exception globals, linked after it, need its thread keys too.
add_link_options(-static-libgcc -static-libstdc++)
string(APPEND CMAKE_CXX_STANDARD_LIBRARIES
              " -Wl,-Bstatic -lstdc++ -Wl,--whole-archive -lwinpthread -Wl,--no-whole-archive -Wl,-Bdynamic")

# MinGW's own printf family, which formats as glibc does: msvcrt's rounds a %f half away from zero.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)

# nlohmann_json (the simulator's) is header-only, so the build machine's serves, but from a
# directory that holds it alone: /usr/include on the include path would put glibc's headers before
# MinGW's. Later searches for the package find the target made here.
find_package(nlohmann_json 3 QUIET NO_CMAKE_FIND_ROOT_PATH)
if(nlohmann_json_FOUND)
    find_path(DIVEBRIDGE_NLOHMANN_INCLUDE_DIR nlohmann/json.hpp NO_CMAKE_FIND_ROOT_PATH REQUIRED)
    set(divebridge_host_headers ${CMAKE_BINARY_DIR}/build-machine-headers)
    file(MAKE_DIRECTORY ${divebridge_host_headers})
    file(CREATE_LINK ${DIVEBRIDGE_NLOHMANN_INCLUDE_DIR}/nlohmann
         ${divebridge_host_headers}/nlohmann SYMBOLIC)
    set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES ${divebridge_host_headers})
endif()

# The tests run under Wine, in a prefix of this build directory made here once. The Mono and Gecko
# installers (dialogs) and the desktop menu entries are switched off; so are Wine's debug lines.
if(DIVEBRIDGE_TESTS)
    find_program(DIVEBRIDGE_WINE wine64 HINTS /usr/lib/wine)
    find_program(DIVEBRIDGE_WINESERVER wineserver HINTS /usr/lib/wine)
    if(NOT DIVEBRIDGE_WINE OR NOT DIVEBRIDGE_WINESERVER)
        message(FATAL_ERROR "The Windows tests run under Wine: install wine64 "
                            "(or configure with -DDIVEBRIDGE_TESTS=OFF)")
    endif()
    set(DIVEBRIDGE_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
    set(DIVEBRIDGE_WINE_DLL_OVERRIDES mscoree,mshtml,winemenubuilder.exe=d)
    if(NOT EXISTS ${DIVEBRIDGE_WINE_PREFIX}/system.reg)
        message(STATUS "Making the Wine prefix ${DIVEBRIDGE_WINE_PREFIX}")
        set(environment WINEPREFIX=${DIVEBRIDGE_WINE_PREFIX} WINEDEBUG=-all
                        WINEDLLOVERRIDES=${DIVEBRIDGE_WINE_DLL_OVERRIDES})
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env ${environment} ${DIVEBRIDGE_WINE} wineboot --init
            COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET ERROR_QUIET)
        # The registry reaches the disk when the prefix's wineserver ends.
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env ${environment} ${DIVEBRIDGE_WINESERVER} --wait
            COMMAND_ERROR_IS_FATAL ANY)
    endif()
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/run-under-wine)
    # Written once the top-level directory is done, when the libdivecomputer in use is known: the
    # DLL of one from a MinGW prefix (pkg-config) is in the prefix's bin/, where Wine must look.
    function(divebridge_write_wine_runner)
        set(DIVEBRIDGE_WINE_PATH "")
        if(DIVECOMPUTER_FOUND)
            set(DIVEBRIDGE_WINE_PATH "Z:${DIVECOMPUTER_PREFIX}/bin")
        endif()
        configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/run-under-wine.sh.in
                       ${CMAKE_BINARY_DIR}/run-under-wine @ONLY
                       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                        GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endfunction()
    cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL divebridge_write_wine_runner)
endif()
