# Versions of the built files, the install layout, the package files for host authors (CMake
# package config, pkg-config) and the Debian package (CPack, cmake/ZqPackage.cmake).
#
#   bin/zqhost
#   lib/<multiarch>/libzqhost.so.<version>, .so.<major> (soname), .so (for building)
#   lib/<multiarch>/zqtools/zqtools.so and zqtools.strings
#   lib/<multiarch>/cmake/zqhost/, lib/<multiarch>/pkgconfig/zqhost.pc
#   include/zqhost/*.h
#   share/man/man1/zqhost.1, share/doc/zqtools/
#
# Installed files refer to each other only through paths relative to their own location, so a
# tree installed under any prefix (or moved) works as it is.

set_target_properties(zqhost PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
target_include_directories(zqtools_obj PRIVATE ${ZQ_GENERATED_DIR})

set(ZQ_FULL_MODULEDIR "${CMAKE_INSTALL_PREFIX}/${ZQ_INSTALL_MODULEDIR}")
file(RELATIVE_PATH ZQ_BIN_TO_LIB "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_LIBDIR}")
file(RELATIVE_PATH ZQ_BIN_TO_MODULE "${CMAKE_INSTALL_FULL_BINDIR}" "${ZQ_FULL_MODULEDIR}")
file(RELATIVE_PATH ZQ_MODULE_TO_LIB "${ZQ_FULL_MODULEDIR}" "${CMAKE_INSTALL_FULL_LIBDIR}")
foreach(var ZQ_BIN_TO_LIB ZQ_BIN_TO_MODULE ZQ_MODULE_TO_LIB)
  string(REGEX REPLACE "/$" "" ${var} "${${var}}")
endforeach()
set_target_properties(zqhost_cli PROPERTIES INSTALL_RPATH "$ORIGIN/${ZQ_BIN_TO_LIB}")
set_target_properties(zqtools PROPERTIES INSTALL_RPATH "$ORIGIN/${ZQ_MODULE_TO_LIB}")
# zqhost looks for the component beside itself (the build tree), then in the installed module
# folder relative to itself. Its sources may be split between the program and a library.
foreach(target zqhost_cli zqhost_core)
  if(TARGET ${target})
    target_include_directories(${target} PRIVATE ${ZQ_GENERATED_DIR})
    target_compile_definitions(${target} PRIVATE
                               ZQ_INSTALLED_MODULE="${ZQ_BIN_TO_MODULE}/zqtools.so")
  endif()
endforeach()

# ---- Runtime: the command-line host, the host layer, the component with its strings.
install(TARGETS zqhost_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(TARGETS zqhost EXPORT zqhostTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(TARGETS zqtools LIBRARY DESTINATION ${ZQ_INSTALL_MODULEDIR} COMPONENT runtime)
install(FILES ${ZQ_GENERATED_DIR}/zqtools.strings DESTINATION ${ZQ_INSTALL_MODULEDIR}
        COMPONENT runtime)
install(FILES ${ZQ_GENERATED_DIR}/zqhost.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT runtime)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/CHANGELOG.md
              ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/NOTICE
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)

# ---- Development: headers, CMake package, pkg-config file.
file(GLOB ZQ_HOST_HEADERS ${CMAKE_SOURCE_DIR}/host/include/*.h)
install(FILES ${ZQ_HOST_HEADERS} ${ZQ_GENERATED_DIR}/zqversion.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zqhost COMPONENT dev)

include(CMakePackageConfigHelpers)
install(EXPORT zqhostTargets NAMESPACE zqhost:: DESTINATION ${ZQ_INSTALL_CMAKEDIR} COMPONENT dev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/zqhostConfig.cmake.in
  ${ZQ_GENERATED_DIR}/zqhostConfig.cmake INSTALL_DESTINATION ${ZQ_INSTALL_CMAKEDIR}
  PATH_VARS ZQ_INSTALL_MODULEDIR)
write_basic_package_version_file(${ZQ_GENERATED_DIR}/zqhostConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${ZQ_GENERATED_DIR}/zqhostConfig.cmake ${ZQ_GENERATED_DIR}/zqhostConfigVersion.cmake
        DESTINATION ${ZQ_INSTALL_CMAKEDIR} COMPONENT dev)

# zqhost.pc names its prefix relative to its own folder, so it holds for every prefix.
file(RELATIVE_PATH ZQ_PC_TO_PREFIX "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" ZQ_PC_TO_PREFIX "${ZQ_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/zqhost.pc.in ${ZQ_GENERATED_DIR}/zqhost.pc @ONLY)
install(FILES ${ZQ_GENERATED_DIR}/zqhost.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT dev)

include(${CMAKE_CURRENT_LIST_DIR}/ZqPackage.cmake)
