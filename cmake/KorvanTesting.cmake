# Shared helpers for registering tests; included by the test folders.

# Test data kept in the repository: reference captures, third-party SCL files and models.
set(KORVAN_TEST_DATA_DIR ${PROJECT_SOURCE_DIR}/tests/data)

# korvan_gtest(NAME sources... LIBS libs...): a GoogleTest executable registered with ctest.
function(korvan_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE KORVAN_TEST_DATA_DIR="${KORVAN_TEST_DATA_DIR}"
                                             KORVAN_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

# korvan_qtest(NAME sources... LIBS libs...): a Qt Test executable run under the offscreen platform
# with a private, throw-away settings location.
function(korvan_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON AUTORCC ON)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt5::Test Qt5::Widgets)
  target_compile_definitions(${name} PRIVATE KORVAN_TEST_DATA_DIR="${KORVAN_TEST_DATA_DIR}"
                                             KORVAN_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/${name}-config;XDG_RUNTIME_DIR=${CMAKE_CURRENT_BINARY_DIR}/${name}-runtime")
endfunction()

# korvan_add_leaf_folders(DIR): adds every folder below DIR that holds a CMakeLists.txt. Folders of the
# Qt parts (app, iec61850, tools/ieddump) only when the GUI is built.
function(korvan_add_leaf_folders dir)
  file(GLOB_RECURSE lists RELATIVE ${dir} CONFIGURE_DEPENDS ${dir}/*/CMakeLists.txt)
  list(SORT lists)
  foreach(list_file IN LISTS lists)
    get_filename_component(folder ${list_file} DIRECTORY)
    if(NOT KORVAN_WITH_GUI AND folder MATCHES "^(app|iec61850|tools/ieddump)(/|$)")
      continue()
    endif()
    add_subdirectory(${dir}/${folder} ${CMAKE_CURRENT_BINARY_DIR}/${folder})
  endforeach()
endfunction()
