# Packages of the program.
#
# Linux, from one build:
#   - component "portable": a folder owners unpack and run anywhere with the
#     GNU C library VELNO_GLIBC_FLOOR or later. At its top, velno-updater and
#     velno-check are the launcher (platform/linux/launcher), which checks the
#     system and starts the programs in bin/. They find Qt, its platform
#     plugins and every library beyond the base system's
#     (cmake/linux-base-libraries.txt) in the folder ($ORIGIN/../lib run path,
#     bin/qt.conf); the C++ runtime in lib/c++ only where the system's is
#     older than the one they were built with. Packed as .tar.gz.
#   - component "system": /usr/bin/velno-updater on Debian's own Qt, with its
#     menu entry and icon, as .deb.
# Windows: scripts/package/windows-zip.sh zips the 64-bit and 32-bit
# executables with the owners' README.

if(WIN32 OR NOT TARGET velno-updater)
  return()
endif()

# Each download's README for owners: how to start it (docs/owners/NAME.txt),
# then what happens (docs/owners/update.txt).
function(velno_owners_readme name)
  set(parts ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../docs/owners/${name}.txt
            ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../docs/owners/update.txt)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${parts})
  set(text "")
  foreach(part IN LISTS parts)
    file(READ ${part} content)
    string(APPEND text "${content}")
  endforeach()
  file(WRITE ${CMAKE_BINARY_DIR}/owners/${name}/README.txt "${text}")
endfunction()
velno_owners_readme(linux-folder)
velno_owners_readme(linux-deb)

# What the portable folder needs of the system, checked by its launcher and
# its test (scripts/package/test-linux-package.sh): the C library the
# programs and Qt need; the C++ runtime version they need; the C library the
# folder's own copy of that runtime needs (GCC 12's libstdc++ built on
# Debian 12 calls arc4random, new in glibc 2.36).
set(VELNO_GLIBC_FLOOR 2.35)
set(VELNO_CXX_RUNTIME GLIBCXX_3.4.30)
set(VELNO_GLIBC_CXX_FLOOR 2.36)
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/../platform/linux/launcher
                 ${CMAKE_BINARY_DIR}/platform/linux/launcher)

set(VELNO_RESOURCES ${CMAKE_CURRENT_LIST_DIR}/../app/qt/resources)
# Where Qt keeps its plugins (QT6_INSTALL_PREFIX, QT6_INSTALL_PLUGINS).
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets)

# --- portable folder -------------------------------------------------------
# DT_RPATH rather than DT_RUNPATH: it also applies to the libraries that the
# platform plugins pull in when Qt loads them (libQt6XcbQpa), so every Qt
# library comes from the folder even where the system has its own Qt. It
# comes before LD_LIBRARY_PATH, so lib/c++ stays out of it.
foreach(program velno-updater velno-check)
  set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
  target_link_options(${program} PRIVATE "LINKER:--disable-new-dtags")
endforeach()

install(TARGETS velno-updater velno-check RUNTIME DESTINATION bin COMPONENT portable)
foreach(name velno-updater velno-check)
  install(PROGRAMS $<TARGET_FILE:velno-launcher> DESTINATION . RENAME ${name} COMPONENT portable)
endforeach()
# Platform plugins: X11 (xcb), Wayland with its xdg-shell and the decorations
# it draws where the compositor draws none, offscreen for tests. Qt's CMake
# targets of these plugins need development packages we do not use, so they
# are taken from the folder Qt keeps its plugins in.
set(VELNO_QT_PLUGINS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS})
set(VELNO_PLUGINS
  platforms/libqxcb.so platforms/libqoffscreen.so platforms/libqwayland-generic.so
  wayland-shell-integration/libxdg-shell.so wayland-decoration-client/libbradient.so)
set(VELNO_PLUGIN_FILES)
foreach(plugin IN LISTS VELNO_PLUGINS)
  get_filename_component(folder ${plugin} DIRECTORY)
  install(FILES ${VELNO_QT_PLUGINS}/${plugin} DESTINATION plugins/${folder} COMPONENT portable)
  list(APPEND VELNO_PLUGIN_FILES ${VELNO_QT_PLUGINS}/${plugin})
endforeach()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/qt.conf DESTINATION bin COMPONENT portable)
# The folder's menu entry runs the launcher beside it (%k: the entry's own
# file) and names an icon of the standard set every icon theme has: an entry
# cannot name a file relative to itself.
install(FILES ${VELNO_RESOURCES}/velno-updater-portable.desktop DESTINATION .
  RENAME velno-updater.desktop COMPONENT portable)
install(FILES ${VELNO_RESOURCES}/velno-updater.svg DESTINATION . COMPONENT portable)
install(FILES ${CMAKE_BINARY_DIR}/owners/linux-folder/README.txt DESTINATION . COMPONENT portable)

# Copies every library the programs and their plugins need that the base
# system does not provide into lib/ (the C++ runtime into lib/c++),
# following each symbolic-link chain to the file.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/linux-base-libraries.txt VELNO_BASE_LIBRARIES
  REGEX "^[^#-]")
list(TRANSFORM VELNO_BASE_LIBRARIES REPLACE "[ \t].*$" "")
install(CODE "
  set(VELNO_DEPLOY_EXECUTABLES \"$<TARGET_FILE:velno-updater>;$<TARGET_FILE:velno-check>\")
  set(VELNO_DEPLOY_MODULES \"${VELNO_PLUGIN_FILES}\")
  set(VELNO_BASE_LIBRARIES [==[${VELNO_BASE_LIBRARIES}]==])
" COMPONENT portable)
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/deploy-libraries.cmake COMPONENT portable)

# --- system package ----------------------------------------------------------
# The program, its menu entry and icon: app/qt/CMakeLists.txt.
install(TARGETS velno-check RUNTIME DESTINATION bin COMPONENT system)
foreach(program velno-updater velno-check)
  install(CODE "file(RPATH_REMOVE FILE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/${program}\")"
    COMPONENT system)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/owners/linux-deb/README.txt DESTINATION share/doc/velno-updater
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
# Native Wayland windows, where the session is Wayland.
set(CPACK_DEBIAN_SYSTEM_PACKAGE_RECOMMENDS "qt6-wayland")
# Each generator packs only its own component.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-components.cmake)
include(CPack)

# The package test's (scripts/package/test-linux-package.sh) message probe,
# built only when asked for by name, so that the release build holds no test
# code,
add_library(velno_message_probe SHARED EXCLUDE_FROM_ALL
            ${CMAKE_CURRENT_LIST_DIR}/../tests/package/message_probe.cpp)
target_link_libraries(velno_message_probe PRIVATE Qt6::Widgets)
# and the C library that reports an older version to the launcher: it needs
# the C library alone, which the test's root has.
add_library(velno_reported_libc SHARED EXCLUDE_FROM_ALL
            ${CMAKE_CURRENT_LIST_DIR}/../tests/package/reported_libc.cpp)
target_link_options(velno_reported_libc PRIVATE -nodefaultlibs -lc)
