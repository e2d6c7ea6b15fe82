# Install-time script of the portable folder: copies into lib/ every shared
# library that the executables and the plugins need and the base system does
# not provide, and the C++ runtime into lib/c++, which only the launcher puts
# on the library path (where the system's is older). Set by the caller:
# VELNO_DEPLOY_EXECUTABLES, VELNO_DEPLOY_MODULES, VELNO_BASE_LIBRARIES
# (regular expressions on names).
file(GET_RUNTIME_DEPENDENCIES
  RESOLVED_DEPENDENCIES_VAR resolved
  UNRESOLVED_DEPENDENCIES_VAR unresolved
  EXECUTABLES ${VELNO_DEPLOY_EXECUTABLES}
  MODULES ${VELNO_DEPLOY_MODULES}
  PRE_EXCLUDE_REGEXES ${VELNO_BASE_LIBRARIES})
if(unresolved)
  message(FATAL_ERROR "Libraries not found for the portable folder: ${unresolved}")
endif()
foreach(library IN LISTS resolved)
  get_filename_component(name "${library}" NAME)
  set(destination "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib")
  if(name MATCHES "^lib(stdc\\+\\+|gcc_s)\\.so")
    string(APPEND destination "/c++")
  endif()
  file(INSTALL DESTINATION "${destination}" TYPE SHARED_LIBRARY FOLLOW_SYMLINK_CHAIN
    FILES "${library}")
endforeach()
