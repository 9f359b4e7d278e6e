# Install rules: public headers, libraries, a CMake package config and pkg-config files.
include(CMakePackageConfigHelpers)

set(ZELKO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Zelko)

install(EXPORT ZelkoTargets NAMESPACE Zelko:: DESTINATION ${ZELKO_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ZelkoConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ZelkoConfig.cmake INSTALL_DESTINATION ${ZELKO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZelkoConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZelkoConfig.cmake ${PROJECT_BINARY_DIR}/ZelkoConfigVersion.cmake
  DESTINATION ${ZELKO_CMAKE_DIR} COMPONENT development)

set(ZELKO_PC_FILES wbtrv32 dictio)
if(ZELKO_BUILD_GUI)
  list(APPEND ZELKO_PC_FILES zelkoctl)
endif()
file(RELATIVE_PATH ZELKO_PC_TO_PREFIX "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" ZELKO_PC_TO_PREFIX "${ZELKO_PC_TO_PREFIX}")
file(RELATIVE_PATH ZELKO_PREFIX_TO_LIBDIR "${CMAKE_INSTALL_PREFIX}" "${CMAKE_INSTALL_FULL_LIBDIR}")
file(RELATIVE_PATH ZELKO_PREFIX_TO_INCLUDEDIR "${CMAKE_INSTALL_PREFIX}" "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
foreach(pc ${ZELKO_PC_FILES})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT development)
endforeach()
