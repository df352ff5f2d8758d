# The Debian package, made with CPack from the install rules (cpack -G DEB in the build
# directory): zqtools_<version>_<arch>.deb with the runtime files and zqtools-dev_..._<arch>.deb
# with the headers and package files for host authors. Depends comes from dpkg-shlibdeps, plus
# the fonts the barcode text is drawn with.

set(ZQ_MAINTAINER "zqtools maintainers <maintainers@users.noreply.c-seed-381c0a49.example>"
    CACHE STRING "Maintainer of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zqtools)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The zqtools developers")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The packaged files are stripped of their debugging information (as Debian ships them).
set(CPACK_STRIP_FILES ON)

# The package architecture follows the build's target (an i386 build on an amd64 machine
# makes i386 packages).
find_program(ZQ_DPKG_ARCHITECTURE dpkg-architecture)
if(ZQ_DPKG_ARCHITECTURE AND CMAKE_LIBRARY_ARCHITECTURE)
  execute_process(COMMAND ${ZQ_DPKG_ARCHITECTURE} -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                  OUTPUT_VARIABLE ZQ_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(ZQ_DEB_ARCH)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ZQ_DEB_ARCH})
  endif()
endif()

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZQ_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME zqtools)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "fonts-liberation2")
# The shared library cache is refreshed through dpkg's ldconfig trigger.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "text, cipher, SQL text, pattern and barcode component
zqtools is a plug-in component (zqtools.so) that a host application loads and
drives through one entry procedure: fast UTF-32 string editing, DES, AES and
ARC4 ciphers, MD5 and SHA digests, SQL text from rows, HTML entities, regular
expression patterns, Code 39 barcodes as JPEG images and the USPS Intelligent
Mail bar string.
.
This package holds the component with its resource strings, the host layer
libzqhost.so that loads it, and zqhost, a command-line host that calls the
component's methods by hand or as JSON Lines requests.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME zqtools-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "zqtools (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEV_DESCRIPTION "zqtools host layer - development files
Headers, the CMake package (find_package(zqhost CONFIG), target zqhost::zqhost)
and the pkg-config file (zqhost.pc) for host programs that load the zqtools
component through the host layer libzqhost.so.")

# Before packing: Debian's copyright and changelog files in each package's documentation
# folder, and compressed manual pages and changelogs (cmake/ZqDebStage.cmake).
configure_file(${CMAKE_SOURCE_DIR}/cmake/debian/changelog.in ${ZQ_GENERATED_DIR}/debian/changelog
               @ONLY)
set(CPACK_ZQ_DEBIAN_CHANGELOG ${ZQ_GENERATED_DIR}/debian/changelog)
set(CPACK_ZQ_DEBIAN_COPYRIGHT ${CMAKE_SOURCE_DIR}/cmake/debian/copyright)
set(CPACK_ZQ_PACKAGES "runtime=zqtools;dev=zqtools-dev")
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/ZqDebStage.cmake)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/ZqCPackOptions.cmake)

include(CPack)
