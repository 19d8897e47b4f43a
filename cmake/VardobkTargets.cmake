# The layers of docs/layers.md: for each layer the layers it stands on
# (BK_LAYER_DEPS_<layer>) and every layer it may see, those and all below
# them (BK_LAYER_SEES_<layer>). A row names only layers of earlier rows.
file(STRINGS ${CMAKE_SOURCE_DIR}/docs/layers.md bk_layer_rows REGEX "^\\| [a-z]+ \\|[a-z ]*\\|$")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/layers.md)
foreach(row ${bk_layer_rows})
  string(REGEX MATCH "^\\| ([a-z]+) \\|([a-z ]*)\\|$" matched "${row}")
  set(layer ${CMAKE_MATCH_1})
  separate_arguments(deps UNIX_COMMAND "${CMAKE_MATCH_2}")
  set(sees ${deps})
  foreach(dep ${deps})
    if(NOT BK_LAYER_KNOWN_${dep})
      message(FATAL_ERROR "docs/layers.md: ${layer} stands on ${dep}, which is not a row above it")
    endif()
    list(APPEND sees ${BK_LAYER_SEES_${dep}})
  endforeach()
  list(REMOVE_DUPLICATES sees)
  set(BK_LAYER_KNOWN_${layer} TRUE)
  set(BK_LAYER_DEPS_${layer} ${deps})
  set(BK_LAYER_SEES_${layer} ${sees})
endforeach()

# Gives target the include folder of layer: links to its own folder and to the
# folders of the layers it may see, and nothing else, so that including a
# header of a layer above it does not compile.
function(bk_layer_includes target layer)
  set(view ${CMAKE_BINARY_DIR}/layers/${layer})
  file(REMOVE_RECURSE ${view})
  foreach(seen ${layer} ${BK_LAYER_SEES_${layer}})
    file(MAKE_DIRECTORY ${view})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${seen} ${view}/${seen} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PRIVATE ${view} ${CMAKE_SOURCE_DIR}/include)
endfunction()

# The library of one layer, bk_<layer>, built from every source file in its
# folder (and its subfolders), so that adding a file needs no edit here, and
# linked to the libraries of the layers it stands on. All of them end up
# inside libvardobk.so; tests link them directly.
function(bk_component layer)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(bk_${layer} STATIC ${sources})
  bk_layer_includes(bk_${layer} ${layer})
  set(libs)
  foreach(dep ${BK_LAYER_DEPS_${layer}})
    list(APPEND libs bk_${dep})
  endforeach()
  target_link_libraries(bk_${layer} PUBLIC ${libs} ${ARG_DEPS})
endfunction()

# A GoogleTest program from every source file in the calling folder. FIXTURES
# names the CTest fixtures (servers) its tests need; LOCKS the shared things
# (root's crontab) that no two of its tests may use at once. Tests see every
# layer.
function(bk_test name)
  cmake_parse_arguments(ARG "" "" "DEPS;LABELS;FIXTURES;LOCKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src
                                             ${CMAKE_SOURCE_DIR}/include)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main bk_testsupport)
  set(properties TIMEOUT 300)
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  if(ARG_FIXTURES)
    list(APPEND properties FIXTURES_REQUIRED "${ARG_FIXTURES}")
  endif()
  if(ARG_LOCKS)
    list(APPEND properties RESOURCE_LOCK "${ARG_LOCKS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${properties})
endfunction()
