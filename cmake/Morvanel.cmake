# Helpers shared by the folders' CMakeLists.

# mv_library(NAME DIRS... LINKS ...): one static library from every source under the given folders.
function(mv_library name)
  cmake_parse_arguments(A "" "" "DIRS;LINKS" ${ARGN})
  set(srcs)
  foreach(d ${A_DIRS})
    file(GLOB_RECURSE s CONFIGURE_DEPENDS ${d}/*.cpp ${d}/*.h ${d}/*.c ${d}/*.qrc)
    list(APPEND srcs ${s})
  endforeach()
  if(NOT srcs)
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${stub} "// no sources yet\n")
    list(APPEND srcs ${stub})
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${A_LINKS})
endfunction()

# The shared public test files; a worktree kept elsewhere than beside them points here with -DMV_TESTDATA_DIR=...
set(MV_TESTDATA_DIR ${CMAKE_SOURCE_DIR}/../shared/testdata CACHE PATH "Folder of the shared public test files")

set(MV_TEST_ENV
  QT_QPA_PLATFORM=offscreen
  QTWEBENGINE_DISABLE_SANDBOX=1
  QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
  MV_TESTDATA_DIR=${MV_TESTDATA_DIR})

# mv_test(NAME SOURCES... LINKS ... [LABELS ...] [X11]): a GoogleTest program run by ctest on Qt's
# offscreen platform; with X11 it runs instead inside its own Xvfb and openbox (tests/support/with-x11)
# on the xcb platform, for what only a real desktop shows, and carries the label x11.
function(mv_test name)
  cmake_parse_arguments(A "X11" "TIMEOUT" "SOURCES;LINKS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  # The test code itself is compiled for debugging, in half the time -O2 takes for these
  # macro-heavy files (most of a fresh build); the code under test keeps its optimisation.
  target_compile_options(${name} PRIVATE $<$<CONFIG:RelWithDebInfo>:-Og>)
  target_link_libraries(${name} PRIVATE ${A_LINKS} mv_testsupport GTest::gtest GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    MV_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    MV_TESTDATA_DIR="${MV_TESTDATA_DIR}")
  if(A_X11)
    add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/tests/support/with-x11 $<TARGET_FILE:${name}>)
    list(APPEND A_LABELS x11)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 600)
  endif()
  set(env ${MV_TEST_ENV})
  if(A_X11)
    list(FILTER env EXCLUDE REGEX "^QT_QPA_PLATFORM=")
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${A_TIMEOUT}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  if(A_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}")
  endif()
endfunction()

# mv_fuzz(NAME SOURCES... LINKS ...): a libFuzzer target, built only with -DMV_FUZZ=ON under clang.
function(mv_fuzz name)
  cmake_parse_arguments(A "" "" "SOURCES;LINKS" ${ARGN})
  if(MV_FUZZ)
    add_executable(${name} ${A_SOURCES})
    target_link_libraries(${name} PRIVATE ${A_LINKS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  endif()
endfunction()
