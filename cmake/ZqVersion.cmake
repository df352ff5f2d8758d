# The one version of the release, set by project(): the generated header zqversion.h (the
# version message of the entry procedure, zqhost --version) and the resource strings (the
# library information text) are made from it here; the host layer's shared-library version,
# the CMake and pkg-config packages and the Debian package take it in ZqInstall.cmake.
set(ZQ_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/cmake/zqversion.h.in ${ZQ_GENERATED_DIR}/zqversion.h @ONLY)
# resources/zqtools.strings is a template: @PROJECT_VERSION@ and the like are filled in.
configure_file(${CMAKE_SOURCE_DIR}/resources/zqtools.strings
               ${ZQ_GENERATED_DIR}/zqtools.strings @ONLY)
# The manual page of zqhost names the version too.
configure_file(${CMAKE_SOURCE_DIR}/tools/zqhost/zqhost.1.in ${ZQ_GENERATED_DIR}/zqhost.1 @ONLY)
