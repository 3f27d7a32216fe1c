# SPDX-License-Identifier: MIT
# Writes a module-definition file exporting the functions of OBJECTS (a list) whose names match
# PATTERN, as a version script's wildcards would on Linux. Run by a pre-link step with cmake -P.
#   cmake -DNM=<nm> "-DOBJECTS=<objects>" -DPATTERN=<regex> -DOUTPUT=<file.def> -P <this file>
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${NM} --defined-only --extern-only ${OBJECTS}
                OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(exports "")
foreach(line IN LISTS lines)
    # "<address> T <name>": a function defined in the object's text.
    if(line MATCHES "^[0-9a-fA-F]+ T (.+)$")
        set(name "${CMAKE_MATCH_1}")
        if(name MATCHES "${PATTERN}")
            list(APPEND exports "${name}")
        endif()
    endif()
endforeach()
if(NOT exports)
    message(FATAL_ERROR "No function of the objects matches ${PATTERN}")
endif()
list(REMOVE_DUPLICATES exports)
list(SORT exports)
list(JOIN exports "\n    " lines)
file(WRITE "${OUTPUT}" "EXPORTS\n    ${lines}\n")
