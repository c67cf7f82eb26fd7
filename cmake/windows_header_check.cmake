# The target `windows_header_check` compiles every product source outside the Win32 layer
# against MinGW-w64's own Windows headers, so that the code keeps calling the API as the system
# declares it, not as our layer happens to. Syntax only: nothing is linked or run.

find_program(KESTREL_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(NOT KESTREL_MINGW_CXX)
    add_custom_target(windows_header_check
        COMMAND ${CMAKE_COMMAND} -E echo
            "x86_64-w64-mingw32-g++-posix is missing: run tools/install-deps.sh"
        COMMAND ${CMAKE_COMMAND} -E false)
    return()
endif()

set(check_folder ${CMAKE_BINARY_DIR}/windows_header_check)

# zlib's header on its own: the rest of the Linux include folder must stay out of sight.
file(COPY ${ZLIB_INCLUDE_DIR}/zlib.h ${ZLIB_INCLUDE_DIR}/zconf.h DESTINATION ${check_folder}/include)

# Qt's headers are the same on both systems; its Linux mkspec is not.
set(qt_include_folders)
foreach(module Core Gui Widgets Network Svg DBus)
    get_target_property(folders Qt5::${module} INTERFACE_INCLUDE_DIRECTORIES)
    list(APPEND qt_include_folders ${folders})
endforeach()
list(FILTER qt_include_folders EXCLUDE REGEX "/mkspecs/")
list(REMOVE_DUPLICATES qt_include_folders)
list(TRANSFORM qt_include_folders PREPEND -isystem)

get_target_property(warning_options kestrel_warnings INTERFACE_COMPILE_OPTIONS)
set(definitions ${version_definition} ${product_endpoint_definitions})
list(TRANSFORM definitions PREPEND -D)
set(check_options -std=c++17 -fsyntax-only ${warning_options} ${definitions}
    -I${PROJECT_SOURCE_DIR}/src
    -I${CMAKE_BINARY_DIR}/kestrel_core_autogen/include
    -I${CMAKE_BINARY_DIR}/kestrel-flash-tool_autogen/include
    ${qt_include_folders} -isystem${check_folder}/include)

set(product_sources ${core_sources} ${entry_point} ${endpoint_defaults})
list(FILTER product_sources INCLUDE REGEX "\\.cpp$")
# A Windows build has no ISA-L at hand: it inflates with zlib alone.
list(REMOVE_ITEM product_sources ${isal_sources})
list(APPEND product_sources ${zlib_only_sources})
list(REMOVE_DUPLICATES product_sources)
file(GLOB_RECURSE product_headers CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/src/*.h)
list(FILTER product_headers EXCLUDE REGEX "/src/platform/win32/")

set(stamps)
foreach(source ${product_sources})
    file(RELATIVE_PATH name ${PROJECT_SOURCE_DIR} ${source})
    string(MAKE_C_IDENTIFIER ${name} stamp_name)
    set(stamp ${check_folder}/${stamp_name}.checked)
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${KESTREL_MINGW_CXX} ${check_options} ${source}
        COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
        DEPENDS ${source} ${product_headers}
        COMMENT "Checking ${name} against the Windows headers"
        VERBATIM)
    list(APPEND stamps ${stamp})
endforeach()

add_custom_target(windows_header_check DEPENDS ${stamps})
add_dependencies(windows_header_check kestrel_core_autogen kestrel-flash-tool_autogen)
