# vesk_add_integration_test(<name> SOURCES <files...> [LIBS <targets...>]
#                           [DEPENDS <programs...>] [TIMEOUT <seconds>])
# A GoogleTest program linked with the harness (sim_harness), built into the
# build's bin/ beside the programs it starts, each case registered with
# CTest under the label "integration". VESK_BIN_DIR names bin/ for the test;
# DEPENDS lists the programs the test starts, so they are built first.
function(vesk_add_integration_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;DEPENDS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  vesk_add_gtest(${name} SOURCES ${T_SOURCES} LIBS sim_harness ${T_LIBS} LABELS integration TIMEOUT ${T_TIMEOUT})
  target_compile_definitions(${name} PRIVATE VESK_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  foreach(program ${T_DEPENDS})
    if(TARGET ${program})
      add_dependencies(${name} ${program})
    endif()
  endforeach()
endfunction()
