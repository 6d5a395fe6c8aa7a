# ky_add_library: every shared library of the project is made through this one
# function, so that each gets the same alias, visibility, versioning, install
# rules and pkg-config file.
#
#   ky_add_library(NAME <target> EXPORT_NAME <name> PACKAGE_COMPONENT <core|file|sql>
#     SOURCES <file>...
#     PUBLIC_HEADER_DIR <dir>
#     [DESCRIPTION <text>]
#     [GENERATED_HEADERS <file>...]      headers made at configure time
#     [PRIVATE_INCLUDE_DIRS <dir>...]
#     [LINK_PUBLIC <target>...] [LINK_PRIVATE <target>...]
#     [PC_REQUIRES <module>...])
#
# PC_REQUIRES names the pkg-config modules whose headers the public headers
# include. Dependencies linked privately are not listed: the libraries are
# shared only, so a consumer never links them, and their -I flags would leak
# into every consumer.
#
# The library is built with <TARGET-IN-UPPER-CASE>_BUILDING defined, which its
# export header reads. In-tree and installed it is known as voVerizezav::<name>.
# Public headers install into <includedir>/voVerizezav, the library into
# <libdir> (install component <target>, one Debian package per shared library;
# the link name and headers: Development), and <target>.pc into
# <libdir>/pkgconfig. The imported target belongs to the export set of its
# CMake package component (find_package(voVerizezav COMPONENTS ...)).
include_guard(GLOBAL)
include(GNUInstallDirs)

set(KY_INSTALL_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/${PROJECT_NAME}")
set(KY_PC_TEMPLATE "${CMAKE_CURRENT_LIST_DIR}/ky.pc.in")

function(ky_add_library)
  cmake_parse_arguments(PARSE_ARGV 0 ARG ""
    "NAME;EXPORT_NAME;PACKAGE_COMPONENT;PUBLIC_HEADER_DIR;DESCRIPTION"
    "SOURCES;GENERATED_HEADERS;PRIVATE_INCLUDE_DIRS;LINK_PUBLIC;LINK_PRIVATE;PC_REQUIRES")
  foreach(required NAME EXPORT_NAME PACKAGE_COMPONENT SOURCES PUBLIC_HEADER_DIR)
    if(NOT ARG_${required})
      message(FATAL_ERROR "ky_add_library: ${required} is required")
    endif()
  endforeach()
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "ky_add_library: unknown arguments: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_DESCRIPTION)
    set(ARG_DESCRIPTION "${PROJECT_DESCRIPTION}")
  endif()

  add_library(${ARG_NAME} SHARED ${ARG_SOURCES})
  add_library(${PROJECT_NAME}::${ARG_EXPORT_NAME} ALIAS ${ARG_NAME})

  target_include_directories(${ARG_NAME} PUBLIC
    $<BUILD_INTERFACE:${ARG_PUBLIC_HEADER_DIR}>
    $<INSTALL_INTERFACE:${KY_INSTALL_INCLUDEDIR}>)
  foreach(header IN LISTS ARG_GENERATED_HEADERS)
    get_filename_component(dir "${header}" DIRECTORY)
    target_include_directories(${ARG_NAME} PUBLIC $<BUILD_INTERFACE:${dir}>)
  endforeach()
  if(ARG_PRIVATE_INCLUDE_DIRS)
    target_include_directories(${ARG_NAME} PRIVATE ${ARG_PRIVATE_INCLUDE_DIRS})
  endif()
  target_link_libraries(${ARG_NAME} PUBLIC ${ARG_LINK_PUBLIC} PRIVATE ${ARG_LINK_PRIVATE})

  string(TOUPPER "${ARG_NAME}" upper)
  target_compile_definitions(${ARG_NAME} PRIVATE ${upper}_BUILDING)

  # Hidden symbols: only what the export macro marks is exported. Inline
  # members stay visible so that templates exported by a library keep a single
  # run-time type identity across library boundaries.
  set_target_properties(${ARG_NAME} PROPERTIES
    EXPORT_NAME ${ARG_EXPORT_NAME}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN OFF
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR})
  ky_setup_target(${ARG_NAME})

  set_property(GLOBAL APPEND PROPERTY KY_PACKAGE_COMPONENTS ${ARG_PACKAGE_COMPONENT})
  set_property(GLOBAL APPEND PROPERTY KY_RUNTIME_COMPONENTS ${ARG_NAME})
  install(TARGETS ${ARG_NAME} EXPORT ${PROJECT_NAME}-${ARG_PACKAGE_COMPONENT}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
      COMPONENT ${ARG_NAME} NAMELINK_COMPONENT Development
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${ARG_NAME})
  install(DIRECTORY "${ARG_PUBLIC_HEADER_DIR}/"
    DESTINATION ${KY_INSTALL_INCLUDEDIR} COMPONENT Development
    FILES_MATCHING PATTERN "*.h")
  if(ARG_GENERATED_HEADERS)
    install(FILES ${ARG_GENERATED_HEADERS}
      DESTINATION ${KY_INSTALL_INCLUDEDIR} COMPONENT Development)
  endif()

  # pkg-config: the prefix is found from the .pc file's own place, so the
  # installed tree can be moved.
  file(RELATIVE_PATH KY_PC_PREFIX_FROM_PCDIR
    "/ky-prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/ky-prefix")
  string(REGEX REPLACE "/$" "" KY_PC_PREFIX_FROM_PCDIR "${KY_PC_PREFIX_FROM_PCDIR}")
  set(KY_PC_NAME "${ARG_NAME}")
  set(KY_PC_DESCRIPTION "${ARG_DESCRIPTION}")
  list(JOIN ARG_PC_REQUIRES ", " KY_PC_REQUIRES)
  configure_file("${KY_PC_TEMPLATE}" "${PROJECT_BINARY_DIR}/pkgconfig/${ARG_NAME}.pc" @ONLY)
  install(FILES "${PROJECT_BINARY_DIR}/pkgconfig/${ARG_NAME}.pc"
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
endfunction()
