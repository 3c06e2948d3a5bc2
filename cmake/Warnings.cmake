# SPDX-License-Identifier: GPL-3.0-or-later
# Warnings are errors in every target of ours.
function(nyra_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  # GCC 12 reports "literal" + std::string as overlapping memcpy when it
  # inlines at -O2 (a known false positive); keep it a warning there.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-error=restrict)
  endif()
endfunction()
