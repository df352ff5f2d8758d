# Install directories. The libraries go to lib/<multiarch> under every prefix (GNUInstallDirs
# picks the multiarch directory only for the prefix /usr), so a staging prefix has the same
# layout as the Debian package. The component and its resource strings share a module folder.
if(NOT DEFINED CMAKE_INSTALL_LIBDIR AND CMAKE_LIBRARY_ARCHITECTURE)
  set(CMAKE_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}" CACHE PATH
      "Object code libraries (lib/<multiarch>)")
endif()
include(GNUInstallDirs)
set(ZQ_INSTALL_MODULEDIR "${CMAKE_INSTALL_LIBDIR}/zqtools")
set(ZQ_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/zqhost")

# Built files find each other through run paths relative to their own location ($ORIGIN),
# in the build tree as in an installed tree.
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)

# Installing and packaging take the files as built (zqtools, zqhost, libzqhost); they do not
# first build every target, which would include the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
