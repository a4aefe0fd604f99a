# One library per layer of source/, platform/ and mac/, linked downwards only:
#   dsp <- amp, cabinet, effects <- engine <- plugin (<- editor <- adapters)
# A layer sees its own folder and the folders of the layers below it, and
# nothing else: each layer gets an include root holding a single link to its
# folder, so "engine/Tonewright.h" cannot be found from amp, and includes
# always carry their folder.

set(TONEWRIGHT_LAYER_ROOT ${CMAKE_BINARY_DIR}/layers)

# Creates the library `tonewright_<folder>` (or `tonewright_<NAME>`, for a
# folder whose name another layer has) from base/<folder>/*.cpp (less the
# EXCLUDE files) with the include root for "<folder>/X.h", public on the
# given lower layers.
function(tonewright_layer folder base)
  cmake_parse_arguments(L "" "NAME" "DEPENDS;EXCLUDE" ${ARGN})
  if(NOT L_NAME)
    set(L_NAME ${folder})
  endif()
  set(target tonewright_${L_NAME})
  file(GLOB sources CONFIGURE_DEPENDS ${base}/${folder}/*.cpp)
  foreach(excluded ${L_EXCLUDE})
    list(REMOVE_ITEM sources ${base}/${folder}/${excluded})
  endforeach()
  set(root ${TONEWRIGHT_LAYER_ROOT}/${L_NAME})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${base}/${folder} ${root}/${folder} SYMBOLIC)
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${root})
    target_link_libraries(${target} PUBLIC ${L_DEPENDS})
    tonewright_warnings(${target})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${root})
    target_link_libraries(${target} INTERFACE ${L_DEPENDS})
  endif()
  tonewright_header_check(${target} ${folder} ${base} ${L_NAME})
endfunction()

# Every header compiles on its own with only its layer's include roots, so a
# header that reaches upwards (or forgets an include) breaks the build.
function(tonewright_header_check target folder base layer)
  file(GLOB headers CONFIGURE_DEPENDS ${base}/${folder}/*.h)
  set(generated)
  foreach(header ${headers})
    get_filename_component(name ${header} NAME_WE)
    set(file ${CMAKE_BINARY_DIR}/header-check/${layer}/${name}.cpp)
    set(text "#include \"${folder}/${name}.h\"\n#include \"${folder}/${name}.h\"\n")
    if(EXISTS ${file})
      file(READ ${file} old)
    else()
      set(old "")
    endif()
    if(NOT old STREQUAL text)
      file(WRITE ${file} "${text}")
    endif()
    list(APPEND generated ${file})
  endforeach()
  if(generated)
    add_library(${target}_headers OBJECT ${generated})
    target_link_libraries(${target}_headers PRIVATE ${target})
    tonewright_warnings(${target}_headers)
  endif()
endfunction()
