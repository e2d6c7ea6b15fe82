# Packages of the program.
#
# Linux, from one build:
#   - component "portable": a folder owners unpack and run anywhere. The
#     executable finds Qt and its platform plugins in the folder ($ORIGIN/lib
#     run path, qt.conf); the base system's libraries (cmake/linux-base-
#     libraries.txt) stay outside. Packed as .tar.gz.
#   - component "system": /usr/bin/velno-updater on Debian's own Qt, as .deb.
# Windows: scripts/package/windows-zip.sh zips the 64-bit and 32-bit
# executables with the owners' README.
set(VELNO_OWNERS_README ${CMAKE_CURRENT_LIST_DIR}/../docs/owners-readme.txt)

if(WIN32 OR NOT TARGET velno-updater)
  return()
endif()

set(VELNO_RESOURCES ${CMAKE_CURRENT_LIST_DIR}/../app/qt/resources)
# Where Qt keeps its plugins (QT6_INSTALL_PREFIX, QT6_INSTALL_PLUGINS).
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets)

# --- portable folder -------------------------------------------------------
# DT_RPATH rather than DT_RUNPATH: it also applies to the libraries that the
# platform plugins pull in when Qt loads them (libQt6XcbQpa), so every Qt
# library comes from the folder even where the system has its own Qt.
set_target_properties(velno-updater PROPERTIES INSTALL_RPATH "$ORIGIN/lib")
target_link_options(velno-updater PRIVATE "LINKER:--disable-new-dtags")

install(TARGETS velno-updater velno-check RUNTIME DESTINATION . COMPONENT portable)
# The X11 (xcb) platform plugin for owners' desktops, the offscreen one for
# tests. Qt's CMake target of the xcb plugin needs development packages we do
# not use, so both are taken from the folder Qt keeps its platform plugins in.
set(VELNO_QT_PLATFORMS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}/platforms)
set(VELNO_PLATFORM_PLUGINS
  ${VELNO_QT_PLATFORMS}/libqxcb.so ${VELNO_QT_PLATFORMS}/libqoffscreen.so)
install(FILES ${VELNO_PLATFORM_PLUGINS} DESTINATION plugins/platforms COMPONENT portable)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/qt.conf DESTINATION . COMPONENT portable)
install(FILES ${VELNO_RESOURCES}/velno-updater.desktop ${VELNO_RESOURCES}/velno-updater.svg
  DESTINATION . COMPONENT portable)
install(FILES ${VELNO_OWNERS_README} DESTINATION . RENAME README.txt COMPONENT portable)

# Copies every library the program and its plugins need that the base system
# does not provide into lib/, following each symbolic-link chain to the file.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/linux-base-libraries.txt VELNO_BASE_LIBRARIES
  REGEX "^[^#]")
install(CODE "
  set(VELNO_DEPLOY_EXECUTABLE \"$<TARGET_FILE:velno-updater>\")
  set(VELNO_DEPLOY_MODULES \"${VELNO_PLATFORM_PLUGINS}\")
  set(VELNO_BASE_LIBRARIES [==[${VELNO_BASE_LIBRARIES}]==])
" COMPONENT portable)
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/deploy-libraries.cmake COMPONENT portable)

# --- system package ----------------------------------------------------------
# The program and its icon: app/qt/CMakeLists.txt.
install(TARGETS velno-check RUNTIME DESTINATION bin COMPONENT system)
install(CODE "file(RPATH_REMOVE FILE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/velno-updater\")"
  COMPONENT system)
install(FILES ${VELNO_OWNERS_README} DESTINATION share/doc/velno-updater RENAME README.txt
  COMPONENT system)

# --- CPack -----------------------------------------------------------------
set(CPACK_PACKAGE_NAME velno-updater)
set(CPACK_PACKAGE_VENDOR "VELNO")
set(CPACK_PACKAGE_CONTACT "VELNO updater team <updater@velno.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Updates a VELNO instrument connected by USB")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR TGZ DEB)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_DEBIAN_SYSTEM_PACKAGE_NAME velno-updater)
set(CPACK_DEBIAN_SYSTEM_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# dpkg-shlibdeps names Debian's Qt, libblkid and libudev packages the
# program is linked against; the xcb platform plugin is a package of its own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_SYSTEM_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Each generator packs only its own component.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-components.cmake)
include(CPack)

# The package test's probe (scripts/package/test-linux-package.sh), built
# only when asked for by name, so that the release build holds no test code.
add_library(velno_message_probe SHARED EXCLUDE_FROM_ALL
            ${CMAKE_CURRENT_LIST_DIR}/../tests/package/message_probe.cpp)
target_link_libraries(velno_message_probe PRIVATE Qt6::Widgets)
