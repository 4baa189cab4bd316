# Installation: both shared libraries, their public headers, a CMake package and pkg-config files.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VORN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VornPayload)

foreach(lib VornPayloadEstimator VornPayloadCompensator)
  if(TARGET ${lib})
    install(TARGETS ${lib} EXPORT VornPayloadTargets
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
            ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
            RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
            INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  endif()
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/estimator/include/vorn
                  ${PROJECT_SOURCE_DIR}/compensator/include/vorn
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.hpp")

install(EXPORT VornPayloadTargets NAMESPACE Vorn:: DESTINATION ${VORN_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VornPayloadConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/VornPayloadConfig.cmake
                              INSTALL_DESTINATION ${VORN_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VornPayloadConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VornPayloadConfig.cmake
              ${PROJECT_BINARY_DIR}/VornPayloadConfigVersion.cmake
        DESTINATION ${VORN_CMAKE_DIR})

foreach(pc vorn-payload-estimator vorn-payload-compensator)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
