# qel_generate_surface(TARGET SURFACE PACKAGE STEM)
# Generates PACKAGE/STEM.h and friends from a surface file and makes TARGET, a
# static library (position independent) holding the dispatch tables, whose users
# see the generated headers.
function(qel_generate_surface target surface package stem)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/generated)
  set(outputs
    ${out}/${package}/${stem}.h
    ${out}/${package}/${stem}_tables.cpp
    ${out}/${package}/${stem}_defaults.h
    ${out}/${package}/${stem}_events.h)
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/src/core/gen_surface.py
            ${surface} ${out} ${package} ${stem}
    DEPENDS ${PROJECT_SOURCE_DIR}/src/core/gen_surface.py ${surface}
    COMMENT "Generating ${package}/${stem}.h")
  add_library(${target} STATIC ${out}/${package}/${stem}_tables.cpp)
  target_include_directories(${target} PUBLIC ${out} ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC qelcom)
endfunction()

# qel_generate_python_stub(TARGET SURFACE MODULE_PART OUTPUT)
# Generates OUTPUT, the typed stub (.pyi) of the Python client: MODULE_PART (the
# stub of what the module itself defines) and the interfaces, classes and events
# of SURFACE. TARGET builds it.
function(qel_generate_python_stub target surface module_part output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/src/core/gen_surface.py --python-stub
            ${surface} ${module_part} ${output}
    DEPENDS ${PROJECT_SOURCE_DIR}/src/core/gen_surface.py ${surface} ${module_part}
    COMMENT "Generating the Python stub ${output}")
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()
