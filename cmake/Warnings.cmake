# SPDX-License-Identifier: GPL-3.0-or-later
# Warning flags shared by every target of the project.
function(daxo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
                         -Wnon-virtual-dtor -Wcast-qual -Wformat=2
                         # GCC 12 warns falsely about std::string appends (its bug 105651)
                         $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
endfunction()
