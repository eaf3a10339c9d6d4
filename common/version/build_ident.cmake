# Writes vesk_build_ident.h with the source revision and branch; rewritten
# only when they change, so an unchanged tree does not rebuild.
execute_process(COMMAND git -C ${SRC} rev-parse --short=12 HEAD OUTPUT_VARIABLE rev
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
execute_process(COMMAND git -C ${SRC} rev-parse --abbrev-ref HEAD OUTPUT_VARIABLE branch
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT rev)
  set(rev "unknown")
endif()
if(NOT branch)
  set(branch "unknown")
endif()
set(text "#pragma once\n#define VESK_BUILD_REVISION \"${rev}\"\n#define VESK_BUILD_BRANCH \"${branch}\"\n")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE ${OUT} "${text}")
endif()
