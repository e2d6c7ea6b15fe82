# Install-time script of the portable folder: copies into lib/ every shared
# library that the executable and the platform plugins need and the base
# system does not provide. Set by the caller: VELNO_DEPLOY_EXECUTABLE,
# VELNO_DEPLOY_MODULES, VELNO_BASE_LIBRARIES (regular expressions on names).
file(GET_RUNTIME_DEPENDENCIES
  RESOLVED_DEPENDENCIES_VAR resolved
  UNRESOLVED_DEPENDENCIES_VAR unresolved
  EXECUTABLES ${VELNO_DEPLOY_EXECUTABLE}
  MODULES ${VELNO_DEPLOY_MODULES}
  PRE_EXCLUDE_REGEXES ${VELNO_BASE_LIBRARIES})
if(unresolved)
  message(FATAL_ERROR "Libraries not found for the portable folder: ${unresolved}")
endif()
set(destination "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib")
foreach(library IN LISTS resolved)
  file(INSTALL DESTINATION "${destination}" TYPE SHARED_LIBRARY FOLLOW_SYMLINK_CHAIN
    FILES "${library}")
endforeach()
