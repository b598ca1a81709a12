# Installation: the public headers, both libraries, a CMake package
# (find_package(Tressel) gives Tressel::Tressel and Tressel::TresselStatic) and
# a pkg-config file. Both descriptions are relocatable: they find the prefix
# from their own place, so a tree installed with --prefix anywhere works.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TRESSEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tressel)

install(TARGETS Tressel TresselStatic EXPORT TresselTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TRESSEL_PUBLIC_HEADERS}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tressel)
install(EXPORT TresselTargets NAMESPACE Tressel:: DESTINATION ${TRESSEL_CMAKE_DIR})

configure_package_config_file(cmake/TresselConfig.cmake.in ${PROJECT_BINARY_DIR}/TresselConfig.cmake
  INSTALL_DESTINATION ${TRESSEL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TresselConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TresselConfig.cmake ${PROJECT_BINARY_DIR}/TresselConfigVersion.cmake
  DESTINATION ${TRESSEL_CMAKE_DIR})

file(RELATIVE_PATH TRESSEL_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
configure_file(cmake/tressel.pc.in ${PROJECT_BINARY_DIR}/tressel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tressel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
