# Fails when the 32-bit linker dropped the jump stub of a delay-imported
# function: the function's pointer would then hold 0 until its first call,
# and that call would jump there. The linker drops a stub that no object calls
# by its plain name, which is what a call through a dllimport declaration does
# (say, from a static library compiled elsewhere). Run as a script:
#   cmake -DNM=... -DPROGRAM=program.exe -DDEF_FILES="a.def;b.def" -P check_delay_stubs.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${NM} ${PROGRAM} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "check_delay_stubs: cannot read ${PROGRAM}")
endif()
# A dropped stub leaves its symbol as an absolute 0.
string(REGEX MATCHALL "0+ A _[^\n]+" dropped "${symbols}")
list(TRANSFORM dropped REPLACE "^0+ A _" "")
set(broken "")
foreach(def_file IN LISTS DEF_FILES)
  file(STRINGS ${def_file} exports REGEX "^  ")
  list(TRANSFORM exports STRIP)
  foreach(name IN LISTS dropped)
    if(name IN_LIST exports)
      list(APPEND broken ${name})
    endif()
  endforeach()
endforeach()
if(broken)
  message(FATAL_ERROR "check_delay_stubs: ${PROGRAM} calls these delay-imported functions "
                      "through a dllimport declaration, so their stubs were dropped: ${broken}")
endif()
