# Project-wide compile rules and the helpers every module's CMakeLists uses.

# The board's compiler treats plain char as unsigned; the shared records and
# frame code rely on it, so the host build does the same.
add_compile_options(-funsigned-char -Wall -Wextra -Werror -Wno-missing-field-initializers)
add_compile_definitions(_GNU_SOURCE)
if(VESK_BOARD STREQUAL "HOST")
  add_compile_definitions(VESK_BOARD_HOST=1)
else()
  add_compile_definitions(VESK_BOARD_DEVICE=1)
endif()

if(VESK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  add_compile_definitions(VESK_SANITIZE=1)
endif()

# The fuzz tree: every library the targets link carries libFuzzer's coverage
# and the sanitizers; only the fuzz programs link the fuzzer itself.
if(VESK_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  add_compile_definitions(VESK_SANITIZE=1)
endif()

# vesk_add_gtest(<name> SOURCES <files...> LIBS <targets...> [SERIAL <gtest filter>])
# One GoogleTest program, each of its cases registered with CTest so that
# ctest -j runs them side by side. Cases matching SERIAL measure a rule on
# the real clock (a write delay, say): ctest runs them alone, so the other
# tests' load does not stretch what they measure.
function(vesk_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT;SERIAL" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  if(T_SERIAL)
    gtest_discover_tests(${name}
      DISCOVERY_TIMEOUT 60 TEST_FILTER "-${T_SERIAL}"
      PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
    gtest_discover_tests(${name}
      DISCOVERY_TIMEOUT 60 TEST_FILTER "${T_SERIAL}"
      PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}" RUN_SERIAL TRUE)
  else()
    gtest_discover_tests(${name}
      DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  endif()
endfunction()

# vesk_add_bench(<name> SOURCES <files...> LIBS <targets...>)
# Benchmarks are built with everything else but never run by ctest.
function(vesk_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
endfunction()
