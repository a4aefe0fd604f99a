# One library per layer of source/, linked downwards only:
#   dsp <- amp, cabinet, effects <- engine <- plugin <- editor <- adapters (mac/)
# A layer sees its own folder and the folders of the layers below it, and
# nothing else: each layer gets an include root holding a single link to its
# folder, so "engine/Tonewright.h" cannot be found from amp, and includes
# always carry their folder.

set(TONEWRIGHT_LAYER_ROOT ${CMAKE_BINARY_DIR}/layers)

# Creates the library `tonewright_<folder>` from base/<folder>/*.cpp (less
# the EXCLUDE files) with the include root for "<folder>/X.h", public on the
# given lower layers. A folder of two levels (mac/protools) makes
# `tonewright_mac_protools`, included as "mac/protools/X.h".
function(tonewright_layer folder base)
  cmake_parse_arguments(L "" "" "DEPENDS;EXCLUDE" ${ARGN})
  string(REPLACE "/" "_" name ${folder})
  set(target tonewright_${name})
  file(GLOB sources CONFIGURE_DEPENDS ${base}/${folder}/*.cpp)
  foreach(excluded ${L_EXCLUDE})
    list(REMOVE_ITEM sources ${base}/${folder}/${excluded})
  endforeach()
  set(root ${TONEWRIGHT_LAYER_ROOT}/${name})
  get_filename_component(linkParent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${linkParent})
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
  tonewright_header_check(${target} ${folder} ${base})
endfunction()

# Every header compiles on its own with only its layer's include roots, so a
# header that reaches upwards (or forgets an include) breaks the build.
function(tonewright_header_check target folder base)
  file(GLOB headers CONFIGURE_DEPENDS ${base}/${folder}/*.h)
  set(generated)
  foreach(header ${headers})
    get_filename_component(name ${header} NAME_WE)
    set(file ${CMAKE_BINARY_DIR}/header-check/${folder}/${name}.cpp)
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
