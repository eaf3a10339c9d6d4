# The module check over small trees of sightui's three layers: an include
# loop among gui/src/msg, gui/src/common and gui/src/pages fails it, the
# layering pages -> common -> msg passes.
# Run: cmake -DCHECK=<check_includes.cmake> -DWORK=<scratch folder> -P check_gui_layers.cmake
cmake_policy(SET CMP0007 NEW)
if(NOT CHECK OR NOT WORK)
  message(FATAL_ERROR "check_gui_layers: pass -DCHECK=<check_includes.cmake> -DWORK=<scratch folder>")
endif()

# Each case: name, expected ("loop" or "ok"), then file:included-header pairs.
set(cases
  "msg and common include each other|loop|gui/src/msg/m.h:c.h|gui/src/common/c.h:m.h"
  "common, pages and msg round a loop|loop|gui/src/common/c.h:p.h|gui/src/pages/p.h:m.h|gui/src/msg/m.h:c.h"
  "the navigator opens pages|loop|gui/src/common/nav.cpp:p.h|gui/src/common/c.h:|gui/src/pages/p.h:c.h"
  "pages over common over msg|ok|gui/src/pages/p.h:c.h|gui/src/pages/p.cpp:m.h|gui/src/common/c.h:m.h|gui/src/msg/m.h:"
  "start-up wires all three|ok|gui/src/app.cpp:p.h|gui/src/app.h:m.h|gui/src/pages/p.h:c.h|gui/src/common/c.h:|gui/src/msg/m.h:")
set(failures "")
foreach(c IN LISTS cases)
  string(REPLACE "|" ";" parts "${c}")
  list(POP_FRONT parts name expected)
  set(root "${WORK}/check_gui_layers")
  file(REMOVE_RECURSE "${root}")
  foreach(p IN LISTS parts)
    string(REPLACE ":" ";" fi "${p}")
    list(GET fi 0 file)
    list(LENGTH fi n)
    set(text "")
    if(n GREATER 1)
      list(GET fi 1 inc)
      if(inc)
        set(text "#include \"${inc}\"\n")
      endif()
    endif()
    file(WRITE "${root}/${file}" "${text}")
  endforeach()
  execute_process(COMMAND ${CMAKE_COMMAND} -DSRC=${root} -P ${CHECK} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  file(REMOVE_RECURSE "${root}")
  if(expected STREQUAL "loop" AND (rc EQUAL 0 OR NOT err MATCHES "include loop: gui/src/(msg|common|pages) -> "))
    list(APPEND failures "${name}: the loop was not reported (${err}${out})")
  elseif(expected STREQUAL "ok" AND NOT rc EQUAL 0)
    list(APPEND failures "${name}: failed without a loop (${err})")
  endif()
endforeach()
if(failures)
  string(REPLACE ";" "\n  " text "${failures}")
  message(FATAL_ERROR "check_gui_layers:\n  ${text}")
endif()
