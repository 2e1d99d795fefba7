# cmake -DOBJDUMP=... -DLIBRARY=KavraLib.dll -DBENCH=kavra_sim.dll -DMAP=KavraLib.map -P ExportTables.cmake
# Fails unless the DLL exports exactly the map's global names and the bench only FT_* and
# kavrasim_* names.

function(exported_names dll out)
  execute_process(COMMAND ${OBJDUMP} -p ${dll} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${OBJDUMP} -p ${dll} failed")
  endif()
  string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
  if(start LESS 0)
    message(FATAL_ERROR "${dll} has no export table")
  endif()
  string(SUBSTRING "${dump}" ${start} -1 table)
  string(FIND "${table}" "\n\n" end)
  string(SUBSTRING "${table}" 0 ${end} table)
  # Rows below the title read "[   0] name".
  string(FIND "${table}" "\n" first)
  string(SUBSTRING "${table}" ${first} -1 table)
  # Brackets group CMake list items: out of the way first.
  string(REPLACE "[" " " table "${table}")
  string(REPLACE "]" " " table "${table}")
  string(REGEX MATCHALL "[0-9] +[A-Za-z_][A-Za-z0-9_@]*" entries "${table}")
  list(TRANSFORM entries REPLACE "^[0-9] +" "")
  set(names ${entries})
  list(SORT names)
  set(${out} ${names} PARENT_SCOPE)
endfunction()

file(READ ${MAP} map)
# Semicolons separate CMake list items: out of the way before the names are taken.
string(REPLACE ";" " " map "${map}")
string(REGEX MATCH "global:([^}]*)local:" globals "${map}")
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" expected "${CMAKE_MATCH_1}")
list(SORT expected)

exported_names(${LIBRARY} actual)
if(NOT actual STREQUAL expected)
  set(extra ${actual})
  list(REMOVE_ITEM extra ${expected})
  set(missing ${expected})
  list(REMOVE_ITEM missing ${actual})
  message(FATAL_ERROR "${LIBRARY}: exports differ from ${MAP}\n  not in the map: ${extra}\n  missing: ${missing}")
endif()
list(LENGTH actual count)
message(STATUS "${LIBRARY}: ${count} exports, exactly the Linux library's")

exported_names(${BENCH} bench)
list(FILTER bench EXCLUDE REGEX "^(FT_|kavrasim_)")
if(bench)
  message(FATAL_ERROR "${BENCH}: exports beyond FT_* and kavrasim_*: ${bench}")
endif()
