# Build conventions shared by every target: warnings are errors, sanitizers are a plain option,
# and every test goes through tellamo_add_test() so that it runs with a pinned locale and a
# private HOME (tests/support/run-isolated.sh), or, for a whole-program test, through
# tellamo_add_e2e_test().

set(TELLAMO_WARNINGS -Wall -Wextra -Werror)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 at -O3 reports impossible overlaps inside std::string's own copies (a known false
  # positive of -Wrestrict); it would stop every optimised build.
  list(APPEND TELLAMO_WARNINGS -Wno-restrict)
endif()

if(TELLAMO_SANITIZE)
  string(REPLACE ";" "," _tellamo_san "${TELLAMO_SANITIZE}")
  add_compile_options(-fsanitize=${_tellamo_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_tellamo_san})
endif()

# tellamo_add_library(NAME SOURCES... [QT]) : one static library per subsystem folder.
function(tellamo_add_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${TELLAMO_WARNINGS})
endfunction()

# tellamo_add_test(NAME SOURCES ... LIBS ... [ENV ...] [LABELS ...] [TIMEOUT s] [WIDGETS] [XVFB])
# Each test binary links only the layer it tests (plus GoogleTest), so a stray dependency on a
# higher layer fails to link. WIDGETS tests run on Qt's offscreen platform, XVFB tests on a
# virtual X display of their own (tests/support/with-xvfb.sh).
function(tellamo_add_test name)
  cmake_parse_arguments(T "WIDGETS;XVFB" "TIMEOUT" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_compile_options(${name} PRIVATE ${TELLAMO_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(env "LC_ALL=C.UTF-8" "LANG=C.UTF-8" "TELLAMO_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data"
          "TELLAMO_BINARY_DIR=${PROJECT_BINARY_DIR}" ${T_ENV})
  set(wrapper)
  if(T_XVFB)
    set(wrapper ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb.sh)
  elseif(T_WIDGETS)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  if(TELLAMO_SANITIZE MATCHES "thread")
    list(APPEND env "TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1")
  elseif(TELLAMO_SANITIZE)
    list(APPEND env "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1" "UBSAN_OPTIONS=print_stacktrace=1"
         "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
  endif()
  # One ctest entry per test binary: the binary's own output names each failing case, and
  # discovery at build time would need a display for widget tests.
  # A private HOME, XDG folders and TMPDIR, made fresh for every run, so that nothing a test does
  # reaches the home of whoever runs it.
  add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tests/support/run-isolated.sh ${wrapper} $<TARGET_FILE:${name}>
           --gtest_color=no)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT}
                       LABELS "${T_LABELS}")
endfunction()

# tellamo_add_e2e_test(NAME SCRIPT [ARGS ...] [LABELS ...] [TIMEOUT s])
# A whole-program test: tests/e2e/SCRIPT run as e2e_NAME with ARGS (generator expressions such as
# $<TARGET_FILE:tellamo> allowed). The script makes its own session with lib.sh's start_session
# (private folders, a virtual display, a sound server), so no wrapper runs it. These tests feed
# and play sound in real time and drive a virtual display; beside other tests on a two-core
# machine their timing suffers, so each runs alone.
function(tellamo_add_e2e_test name script)
  cmake_parse_arguments(T "" "TIMEOUT" "ARGS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 180)
  endif()
  add_test(NAME e2e_${name} COMMAND ${PROJECT_SOURCE_DIR}/tests/e2e/${script} ${T_ARGS})
  set_tests_properties(e2e_${name} PROPERTIES
    ENVIRONMENT "LC_ALL=C.UTF-8;LANG=C.UTF-8;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp"
    TIMEOUT ${T_TIMEOUT} LABELS "e2e;${T_LABELS}" RUN_SERIAL TRUE)
endfunction()
