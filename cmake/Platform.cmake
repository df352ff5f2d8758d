# What differs between the platforms the component is built for, in one place: the form of
# the loadable module (a plain shared module on Linux, a loadable bundle on macOS), where its
# resource strings lie, how it finds the host layer at run time, and which process helper it
# carries. Included once the targets zqhost, zqtools_obj, zqtools and zqhost_cli exist.
#
#   -DZQ_FOUNDATION_HELPER=ON  start programs through Foundation (always on macOS; elsewhere it
#                              compiles the same helper against GNUstep Base, for testing it)
#   -DCMAKE_OSX_ARCHITECTURES="x86_64;i386"   macOS architectures (the SDK must offer them)
#   -DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux-gnu.cmake   the 32-bit x86 Linux build

if(APPLE)
  set(ZQ_FOUNDATION_HELPER ON CACHE BOOL "Process helper on Foundation (always on macOS)" FORCE)
else()
  option(ZQ_FOUNDATION_HELPER "Process helper on Foundation (GNUstep Base outside macOS)" OFF)
endif()

# The Foundation helper replaces platformhelper.cpp (which compiles to nothing then). The
# choice is marked on the two files only, so every other object is the same as in the build
# without it.
if(ZQ_FOUNDATION_HELPER)
  enable_language(OBJCXX)
  target_sources(zqtools_obj PRIVATE ${PROJECT_SOURCE_DIR}/frame/platformhelper_mac.mm)
  set_source_files_properties(${PROJECT_SOURCE_DIR}/frame/platformhelper.cpp
                              ${PROJECT_SOURCE_DIR}/frame/platformhelper_mac.mm
                              PROPERTIES COMPILE_DEFINITIONS ZQ_FOUNDATION_HELPER=1)
  if(APPLE)
    target_link_libraries(zqtools_obj PUBLIC "-framework Foundation")
  else()
    # GNUstep's compiler settings come from gnustep-config; its headers are treated as system
    # headers, so the project's warnings stay errors for our own code only.
    find_program(ZQ_GNUSTEP_CONFIG gnustep-config REQUIRED)
    execute_process(COMMAND ${ZQ_GNUSTEP_CONFIG} --objc-flags OUTPUT_VARIABLE gs_flags
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${ZQ_GNUSTEP_CONFIG} --base-libs OUTPUT_VARIABLE gs_libs
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(gs_flags UNIX_COMMAND "${gs_flags}")
    separate_arguments(gs_libs UNIX_COMMAND "${gs_libs}")
    set(gs_options)
    foreach(flag ${gs_flags})
      if(flag MATCHES "^-I(/.+)")
        list(APPEND gs_options -isystem ${CMAKE_MATCH_1})
      elseif(flag MATCHES "^-(D|f)")
        list(APPEND gs_options ${flag})
      endif()
    endforeach()
    set_source_files_properties(${PROJECT_SOURCE_DIR}/frame/platformhelper_mac.mm PROPERTIES
      COMPILE_OPTIONS "${gs_options};-Wno-subobject-linkage")
    set(gs_link)
    foreach(flag ${gs_libs})
      if(flag MATCHES "^-[lL]" OR flag STREQUAL "-pthread")
        list(APPEND gs_link ${flag})
      endif()
    endforeach()
    target_link_libraries(zqtools_obj PUBLIC ${gs_link})
  endif()
endif()

if(APPLE)
  # A loadable bundle: zqtools.bundle/Contents/{Info.plist,MacOS/zqtools,Resources/}. The
  # extension is the host's to name.
  set(ZQ_BUNDLE_EXTENSION bundle CACHE STRING "File name extension of the component's bundle")
  set_target_properties(zqtools PROPERTIES
    BUNDLE TRUE
    BUNDLE_EXTENSION ${ZQ_BUNDLE_EXTENSION}
    MACOSX_BUNDLE_INFO_PLIST ${CMAKE_CURRENT_LIST_DIR}/Info.plist.in
    MACOSX_BUNDLE_BUNDLE_NAME zqtools
    MACOSX_BUNDLE_GUI_IDENTIFIER org.zqtools.zqtools
    MACOSX_BUNDLE_BUNDLE_VERSION "${PROJECT_VERSION}"
    MACOSX_BUNDLE_SHORT_VERSION_STRING "${PROJECT_VERSION}"
    # The bundle's executable finds libzqhost beside the bundle, as zqhost does.
    BUILD_RPATH "@loader_path/../../.."
    INSTALL_RPATH "@loader_path/../../..")
  set_target_properties(zqhost PROPERTIES INSTALL_NAME_DIR "@rpath")
  set_target_properties(zqhost_cli PROPERTIES BUILD_RPATH "@executable_path"
                                              INSTALL_RPATH "@executable_path")
  # The resource strings belong in the bundle's Resources folder, where the host layer looks
  # for them from the bundle's executable; the build copies them beside the module first.
  add_custom_command(TARGET zqtools POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_BUNDLE_CONTENT_DIR:zqtools>/Resources
    COMMAND ${CMAKE_COMMAND} -E rename $<TARGET_FILE_DIR:zqtools>/zqtools.strings
            $<TARGET_BUNDLE_CONTENT_DIR:zqtools>/Resources/zqtools.strings)
  # zqhost loads the bundle's executable by default.
  target_compile_definitions(zqhost_cli PRIVATE
    ZQ_DEFAULT_MODULE="zqtools.${ZQ_BUNDLE_EXTENSION}/Contents/MacOS/zqtools")
endif()
