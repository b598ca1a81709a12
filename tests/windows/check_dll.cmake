# Checks Tressel.dll's export table against the expected names (exactly
# these, nothing else) and that it imports from KERNEL32 and msvcrt only.
#   READOBJ   llvm-readobj;  DLL  the library;  EXPECTED  the name list
execute_process(COMMAND ${READOBJ} --coff-exports --coff-imports ${DLL}
  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "llvm-readobj failed on ${DLL}")
endif()

# Exports appear as "Export { Ordinal: n  Name: NAME  RVA: ... }", imports as
# "Import { Name: DLL ... }".
string(REGEX MATCHALL "Export {[^}]*Name: [^\n]*" export_blocks "${listing}")
set(exports "")
foreach(block IN LISTS export_blocks)
  string(REGEX REPLACE ".*Name: ([^\n]*)" "\\1" name "${block}")
  list(APPEND exports "${name}")
endforeach()
string(REGEX MATCHALL "Import {[^\n]*\n *Name: [^\n]*" import_blocks "${listing}")
set(imports "")
foreach(block IN LISTS import_blocks)
  string(REGEX REPLACE ".*Name: ([^\n]*)" "\\1" name "${block}")
  string(TOLOWER "${name}" name)
  list(APPEND imports "${name}")
endforeach()

file(STRINGS ${EXPECTED} expected REGEX "^[^#]")
list(SORT expected)
list(SORT exports)
list(LENGTH exports n)
if(NOT exports STREQUAL expected)
  set(extra ${exports})
  list(REMOVE_ITEM extra ${expected})
  set(missing ${expected})
  list(REMOVE_ITEM missing ${exports})
  message(FATAL_ERROR "Tressel.dll exports differ\n  unexpected: ${extra}\n  missing: ${missing}")
endif()

list(SORT imports)
if(NOT imports STREQUAL "kernel32.dll;msvcrt.dll")
  message(FATAL_ERROR "Tressel.dll should import KERNEL32 and msvcrt only, imports: ${imports}")
endif()
message(STATUS "${n} exports as expected; imports: ${imports}")
