# Installation and packaging, included once at the end of the top-level
# CMakeLists.txt when every target exists.
#
#   <prefix>/<libdir>/libqelaudioeditor.so.4, libqelcom.so.4   the control and its runtime
#   <prefix>/<libdir>/qel-components/                          the component modules
#   <prefix>/include/qelaudio/{com,core}/                      the public headers
#   <prefix>/<libdir>/cmake/QelAudioEditor/, pkgconfig/        find_package and pkg-config
#   <prefix>/bin/qel-regsvr                                    the registration tool
#   <prefix>/bin/qel-editor                                    the desktop editor (with GTK 4)
#   <python dist-packages>/qelaudio*.so, qelaudio.pyi, qelaudio-stubs/
#   <prefix>/share/doc/qelaudioeditor/                         licence and examples
#
# The runtime looks for components in "qel-components" beside its own library
# (ComponentFolders in src/com/classtable.cpp), and every installed program and
# library finds the libraries through an $ORIGIN-relative RUNPATH: the tree
# works wherever it is unpacked (a DESTDIR staging folder, say) without
# LD_LIBRARY_PATH.
# A build without the control (the media fuzzing build, say) installs nothing.
if(NOT TARGET qelaudioeditor)
  return()
endif()

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QEL_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/qelaudio)
set(QEL_INSTALL_COMPONENTDIR ${CMAKE_INSTALL_LIBDIR}/qel-components)
set(QEL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/QelAudioEditor)
set(QEL_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/qelaudioeditor)
# Debian's python3 reads /usr/lib/python3/dist-packages for packaged modules and
# /usr/local/lib/python3.X/dist-packages for local installs.
if(CMAKE_INSTALL_PREFIX MATCHES "^/usr/?$")
  set(qel_python_default lib/python3/dist-packages)
else()
  set(qel_python_default
      lib/python${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}/dist-packages)
endif()
set(QEL_INSTALL_PYTHONDIR ${qel_python_default}
    CACHE STRING "Where the qelaudio Python module goes, relative to the prefix")

# The RUNPATH of something installed in folder `from` that needs the libraries.
function(qel_origin_rpath out from)
  file(RELATIVE_PATH rel /root/${from} /root/${CMAKE_INSTALL_LIBDIR})
  string(REGEX REPLACE "/$" "" rel "${rel}")
  if(rel STREQUAL "")
    set(${out} "$ORIGIN" PARENT_SCOPE)
  else()
    set(${out} "$ORIGIN/${rel}" PARENT_SCOPE)
  endif()
endfunction()

# ---- the control and its runtime -------------------------------------------

# A host links both; the SONAME carries the major version, which changes only
# with the binary interface of the automation surface.
set_target_properties(qelaudioeditor qelcom PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR})
set_target_properties(qelaudioeditor PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS qelaudioeditor qelcom
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

# What a host includes: the generated interfaces and the runtime it creates the
# control with, calls it and hears its events through. The rest of src/ is the
# control's own business.
set(qel_public_runtime_headers
  types.h bstr.h variant.h safearray.h interfaces.h object.h errorinfo.h dispatch.h
  connection.h classtable.h)
list(TRANSFORM qel_public_runtime_headers PREPEND ${PROJECT_SOURCE_DIR}/src/com/)
install(FILES ${qel_public_runtime_headers} DESTINATION ${QEL_INSTALL_INCLUDEDIR}/com)
get_target_property(qel_core_binary_dir qelaudioeditor BINARY_DIR)
install(FILES ${qel_core_binary_dir}/generated/core/surface.h
  DESTINATION ${QEL_INSTALL_INCLUDEDIR}/core)

# ---- the component modules -------------------------------------------------

# Every module built into the component folder, so that a new component is
# installed without naming it here.
function(qel_collect_components dir out)
  set(found ${${out}})
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(output ${target} LIBRARY_OUTPUT_DIRECTORY)
    if(type STREQUAL "MODULE_LIBRARY" AND output STREQUAL QEL_COMPONENT_DIR)
      list(APPEND found ${target})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    qel_collect_components(${subdir} found)
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
set(QEL_COMPONENTS "")
qel_collect_components(${PROJECT_SOURCE_DIR} QEL_COMPONENTS)
if(QEL_COMPONENTS)
  qel_origin_rpath(qel_component_rpath ${QEL_INSTALL_COMPONENTDIR})
  set_target_properties(${QEL_COMPONENTS} PROPERTIES INSTALL_RPATH "${qel_component_rpath}")
  install(TARGETS ${QEL_COMPONENTS} LIBRARY DESTINATION ${QEL_INSTALL_COMPONENTDIR})
endif()

# ---- the registration tool -------------------------------------------------

qel_origin_rpath(qel_bin_rpath ${CMAKE_INSTALL_BINDIR})
set_target_properties(qel-regsvr PROPERTIES INSTALL_RPATH "${qel_bin_rpath}")
install(TARGETS qel-regsvr RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# ---- the desktop editor (built where GTK 4 is installed) ------------------

if(TARGET qel-editor)
  set_target_properties(qel-editor PROPERTIES INSTALL_RPATH "${qel_bin_rpath}")
  install(TARGETS qel-editor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# ---- the Python client -----------------------------------------------------

if(TARGET qelaudio)
  qel_origin_rpath(qel_python_rpath ${QEL_INSTALL_PYTHONDIR})
  set_target_properties(qelaudio PROPERTIES INSTALL_RPATH "${qel_python_rpath}")
  install(TARGETS qelaudio LIBRARY DESTINATION ${QEL_INSTALL_PYTHONDIR})
  # The stub beside the module is what editors and MYPYPATH read; mypy looks
  # for an installed module's types only in a PEP 561 stub package.
  get_target_property(qel_python_dir qelaudio LIBRARY_OUTPUT_DIRECTORY)
  install(FILES ${qel_python_dir}/qelaudio.pyi DESTINATION ${QEL_INSTALL_PYTHONDIR})
  install(FILES ${qel_python_dir}/qelaudio.pyi
    DESTINATION ${QEL_INSTALL_PYTHONDIR}/qelaudio-stubs RENAME __init__.pyi)
endif()

# ---- the packages for hosts: CMake and pkg-config ---------------------------

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QelAudioEditorConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QelAudioEditorConfig.cmake
  INSTALL_DESTINATION ${QEL_INSTALL_CMAKEDIR}
  PATH_VARS QEL_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QelAudioEditorConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QelAudioEditorConfig.cmake
              ${PROJECT_BINARY_DIR}/QelAudioEditorConfigVersion.cmake
  DESTINATION ${QEL_INSTALL_CMAKEDIR})

# The .pc file finds its prefix from its own folder, like the CMake package.
file(RELATIVE_PATH QEL_PC_PREFIX_FROM_PCFILEDIR
  /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" QEL_PC_PREFIX_FROM_PCFILEDIR "${QEL_PC_PREFIX_FROM_PCFILEDIR}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/qelaudioeditor.pc.in
  ${PROJECT_BINARY_DIR}/qelaudioeditor.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qelaudioeditor.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# ---- documentation ---------------------------------------------------------

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${QEL_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/cpp ${PROJECT_SOURCE_DIR}/examples/python
  DESTINATION ${QEL_INSTALL_DOCDIR}/examples
  PATTERN "build*" EXCLUDE
  PATTERN "__pycache__" EXCLUDE)

# ---- the Debian package ----------------------------------------------------

set(QEL_PACKAGE_MAINTAINER "QelAudioEditor developers <qelaudioeditor@example.org>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qelaudioeditor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "QelAudioEditor developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "embeddable audio-editing control")
# The long description, after the summary line; CPack indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "A component that a host application places in one of its windows to show,
edit, process, convert, play, record and save one audio document, driven
through an automation surface (early-bound interfaces and late-bound dispatch)
and reporting back through events.

This package holds the control's library and runtime, the media-file, effect,
sound-device (ALSA) and plug-in host (LADSPA, LV2) components, the
registration tool, the desktop editor qel-editor (GTK 4), the headers, CMake
and pkg-config files for C++ hosts, and the qelaudio Python module with its
type stub.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QEL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps computes the libraries' packages from every ELF file in the
# package, the component modules included; the Python module also needs the
# interpreter it was built for and numpy (loaded when arguments are converted).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET qelaudio)
  math(EXPR qel_python_next "${Python3_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), python3 (<< ${Python3_VERSION_MAJOR}.${qel_python_next}), python3-numpy")
endif()
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
include(CPack)
