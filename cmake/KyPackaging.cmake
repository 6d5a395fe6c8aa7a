# Debian packages, made by `cmake --workflow --preset package` (CPack's DEB
# generator over the install components):
#
#   librerazud0, libvoverizezav0,       one runtime package per shared library,
#   libvoverizezavfile0,                named after its SONAME, with its shlibs
#   libvoverizezavsql0                  file and the ldconfig trigger
#   libvoverizezav-dev                  headers, link names, CMake and pkg-config files
#   kymdl                               the tool, its man page, shell completion
#                                       and the model-file schema
#
# Each package carries the DEP-5 copyright file and a Debian changelog made
# from the version and date of CHANGELOG.md's entry for this version. Binaries
# are stripped; their debug information goes into -dbgsym packages (.ddeb).
include_guard(GLOBAL)

set(KY_DEB_MAINTAINER "voVerizezav maintainers <maintainers@voverizezav.example>")

# The version's entry in CHANGELOG.md ("## 0.3.0 - 2026-12-07") gives the
# changelog's date; scripts/check-version.sh checks that the entry exists.
file(STRINGS "${PROJECT_SOURCE_DIR}/CHANGELOG.md" ky_release_heading
  REGEX "^## ${PROJECT_VERSION} ")
if(ky_release_heading MATCHES "([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9])")
  set(ky_release_date "${CMAKE_MATCH_1}")
else()
  set(ky_release_date "1970-01-01")
endif()
execute_process(COMMAND date -u -R -d "${ky_release_date} 12:00:00"
  OUTPUT_VARIABLE KY_DEB_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE)

execute_process(COMMAND dpkg --print-architecture
  OUTPUT_VARIABLE KY_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT KY_DEB_ARCH)
  set(KY_DEB_ARCH "amd64")
endif()

get_property(ky_runtime_components GLOBAL PROPERTY KY_RUNTIME_COMPONENTS)

# ky_deb_package(<install component> <package> <section> <summary> <description>)
# names the package of an install component and installs its copyright file
# and changelog.
function(ky_deb_package component package section summary description)
  string(TOUPPER "${component}" upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME "${package}" PARENT_SCOPE)
  set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION "${section}" PARENT_SCOPE)
  set(CPACK_DEBIAN_${upper}_FILE_NAME "${package}_${PROJECT_VERSION}_${KY_DEB_ARCH}.deb" PARENT_SCOPE)
  set(CPACK_DEBIAN_${upper}_DESCRIPTION "${summary}\n${description}" PARENT_SCOPE)

  set(KY_DEB_PACKAGE "${package}")
  set(dir "${PROJECT_BINARY_DIR}/packaging/${package}")
  configure_file("${PROJECT_SOURCE_DIR}/packaging/changelog.in" "${dir}/changelog" @ONLY)
  execute_process(COMMAND gzip -9nf "${dir}/changelog")
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright" "${dir}/changelog.gz"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${package}" COMPONENT ${component})
endfunction()

set(ky_lib_summary_reRazud "utility layer of the voVerizezav metamodel")
set(ky_lib_text_reRazud
  "reRazud gives voVerizezav its strings, interned names, counted pointers,\ngeneric values, conversions, logging and assertion reports.")
set(ky_lib_summary_voVerizezav "run-time description of a host's data model")
set(ky_lib_text_voVerizezav
  "voVerizezav lets a host program describe the shape of its data model at\nrun time (classes, typed fields, bases, relations, keys, units, labels)\nand ask questions about it.")
set(ky_lib_summary_voVerizezavFile "model description files for voVerizezav")
set(ky_lib_text_voVerizezavFile
  "voVerizezavFile loads a whole voVerizezav model from YAML or JSON with\ncompiler-like diagnostics and saves a model in either syntax.")
set(ky_lib_summary_voVerizezavSql "SQL DDL and database reflection for voVerizezav")
set(ky_lib_text_voVerizezavSql
  "voVerizezavSql writes the DDL of a voVerizezav model for SQLite and\nPostgreSQL and reflects models from live databases.")

# The libraries come in link order (reRazud first), so each package depends
# on the packages before it; dpkg-shlibdeps adds the system's libraries.
set(ky_runtime_depends)
foreach(component IN LISTS ky_runtime_components)
  string(TOLOWER "lib${component}${PROJECT_VERSION_MAJOR}" package)
  ky_deb_package(${component} ${package} libs
    "${ky_lib_summary_${component}}" "${ky_lib_text_${component}}")
  string(TOUPPER "${component}" upper)
  list(JOIN ky_runtime_depends ", " CPACK_DEBIAN_${upper}_PACKAGE_DEPENDS)
  # The ldconfig trigger of a package of shared libraries (and no maintainer
  # scripts: packaging/use-ldconfig-trigger.cmake).
  set(CPACK_DEBIAN_${upper}_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/packaging/triggers")
  set(CPACK_DEBIAN_${upper}_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  list(APPEND ky_runtime_depends "${package} (= ${PROJECT_VERSION})")
endforeach()
list(JOIN ky_runtime_depends ", " ky_runtime_depends)

ky_deb_package(Development libvoverizezav-dev libdevel
  "development files of the voVerizezav metamodel libraries"
  "Headers, link names, the CMake package (components core, file and sql)\nand pkg-config files of reRazud, voVerizezav, voVerizezavFile and\nvoVerizezavSql.")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${ky_runtime_depends}")

ky_deb_package(kymdl kymdl devel
  "check, convert, reflect and draw voVerizezav model files"
  "kymdl checks model files, shows what they hold, converts between YAML\nand JSON, writes the DDL of their tables for SQLite or PostgreSQL,\nreflects a live database into a model file and draws class diagrams.\nThe JSON schema of model files is installed for editors.")
set(CPACK_DEBIAN_KYMDL_PACKAGE_DEPENDS "${ky_runtime_depends}")
set(CPACK_DEBIAN_KYMDL_PACKAGE_RECOMMENDS "graphviz")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME "voverizezav")
set(CPACK_PACKAGE_VENDOR "the voVerizezav authors")
set(CPACK_PACKAGE_CONTACT "${KY_DEB_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}")
set(CPACK_COMPONENTS_ALL ${ky_runtime_components} Development kymdl)
set(CPACK_DEB_COMPONENT_INSTALL ON)
# CPack strips the binaries itself, keeping their debug information for the
# -dbgsym packages.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KY_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# dpkg-shlibdeps finds the project's own libraries in the build tree (the
# dependencies on their packages are the ones given above).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  "${PROJECT_BINARY_DIR}" "${PROJECT_BINARY_DIR}/libs/modelsql")
set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/packaging/use-ldconfig-trigger.cmake")
# CPack puts a summary other than its default before each package's own
# synopsis: the default keeps the packages' descriptions as written above.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
include(CPack)
