# Installs the program as a Linux desktop tool and packs it as a Debian package with CPack:
# the program in bin, its menu entry, its icon in the hicolor sizes (rendered from the logo at
# build time), AppStream metainfo, the man page and the polkit action of its pkexec relaunch.
#
#   cmake --install build --prefix /usr/local
#   cd build && cpack -G DEB        (what `make package` does)

include(GNUInstallDirs)

# Installing (and so CPack) builds nothing itself: `make package` builds the program and its
# files first, so that a package does not wait for every test program to be built.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

# The identity of the program on the desktop. The domain stands in, as the file server's does,
# until the maker's is known.
set(KESTREL_APP_ID "example.kestrel.FlashTool")
string(TOLOWER "${KESTREL_APP_ID}.run" KESTREL_POLKIT_ACTION)

set(packaging_source ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_output ${CMAKE_BINARY_DIR}/packaging)

# A tiny build-time tool, so that the icons need nothing the program does not use already.
add_executable(kestrel-render-icon ${packaging_source}/render_icon.cpp)
target_link_libraries(kestrel-render-icon PRIVATE Qt5::Gui Qt5::Svg kestrel_warnings)

set(icon_sizes 16 22 24 32 48 64 128 256 512)
set(icon_logo ${PROJECT_SOURCE_DIR}/resources/Kestrel/group.svg)
set(icon_files)
foreach(size ${icon_sizes})
    list(APPEND icon_files ${packaging_output}/icons/${size}x${size}.png)
endforeach()
add_custom_command(OUTPUT ${icon_files}
    COMMAND kestrel-render-icon ${icon_logo} ${packaging_output}/icons ${icon_sizes}
    DEPENDS kestrel-render-icon ${icon_logo}
    COMMENT "Rendering the icon in the hicolor sizes"
    VERBATIM)

configure_file(${packaging_source}/kestrel-flash-tool.1.in ${packaging_output}/man/kestrel-flash-tool.1 @ONLY)
add_custom_command(OUTPUT ${packaging_output}/man/kestrel-flash-tool.1.gz
    COMMAND gzip -9nkf ${packaging_output}/man/kestrel-flash-tool.1
    DEPENDS ${packaging_output}/man/kestrel-flash-tool.1
    COMMENT "Compressing the man page"
    VERBATIM)
add_custom_target(kestrel_desktop_files ALL
    DEPENDS ${icon_files} ${packaging_output}/man/kestrel-flash-tool.1.gz)

configure_file(${packaging_source}/kestrel-flash-tool.desktop.in
               ${packaging_output}/${KESTREL_APP_ID}.desktop COPYONLY)
configure_file(${packaging_source}/kestrel-flash-tool.metainfo.xml.in
               ${packaging_output}/${KESTREL_APP_ID}.metainfo.xml @ONLY)

install(TARGETS kestrel-flash-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${packaging_output}/${KESTREL_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging_output}/${KESTREL_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_output}/man/kestrel-flash-tool.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_source}/kestrel-flash-tool.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kestrel-flash-tool)
foreach(size ${icon_sizes})
    install(FILES ${packaging_output}/icons/${size}x${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME kestrel-flash-tool.png)
endforeach()
# The action names the program where it is installed, which is known only when installing.
install(CODE "
    set(program \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/kestrel-flash-tool\")
    set(KESTREL_POLKIT_ACTION ${KESTREL_POLKIT_ACTION})
    configure_file(${packaging_source}/kestrel-flash-tool.policy.in
                   ${packaging_output}/${KESTREL_POLKIT_ACTION}.policy @ONLY)
")
install(FILES ${packaging_output}/${KESTREL_POLKIT_ACTION}.policy
        DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrel-flash-tool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kestrel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Turns a USB stick into the boot drive of a mining rig")
set(CPACK_PACKAGE_DESCRIPTION "Fetches the latest release of the rig operating-system image, \
takes the rig's configuration and writes the image with it onto USB sticks, from a window or, \
for a farm, from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kestrel Flash Tool developers <kestrel-flash-tool@kestrel.example>")
# The libraries from what the program links; besides them pkexec for the relaunch of the
# window, and Qt's SVG plugins, which draw the window's icons without being linked.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pkexec, libqt5svg5")
set(CPACK_STRIP_FILES ON)
include(CPack)
