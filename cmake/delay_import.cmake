# Makes a delay-import library for one system DLL from MinGW's import library:
# every function the import library offers, loaded at its first call instead of
# at process start. Run as a script:
#   cmake -DNM=... -DDLLTOOL=... -DIMPORT_LIB=... -DDLL=name.dll -DSTRIP_UNDERSCORE=ON|OFF
#         -DOUTPUT=lib.a -P delay_import.cmake
# 32-bit symbol names carry a leading underscore that the .def leaves out.
execute_process(COMMAND ${NM} -g --defined-only ${IMPORT_LIB}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "delay_import: cannot read ${IMPORT_LIB}")
endif()
string(REGEX MATCHALL "[^\n]* T [^\n]+" functions "${symbols}")
set(def "LIBRARY ${DLL}\nEXPORTS\n")
foreach(line IN LISTS functions)
  string(REGEX REPLACE ".* T " "" name "${line}")
  if(STRIP_UNDERSCORE)
    string(REGEX REPLACE "^_" "" name "${name}")
  endif()
  string(APPEND def "  ${name}\n")
endforeach()
get_filename_component(folder ${OUTPUT} DIRECTORY)
string(REGEX REPLACE "\\.a$" ".def" def_file ${OUTPUT})
file(WRITE ${def_file} "${def}")
execute_process(COMMAND ${DLLTOOL} -k --input-def ${def_file} --dllname ${DLL}
                        --output-delaylib ${OUTPUT}
                WORKING_DIRECTORY ${folder} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "delay_import: dlltool failed for ${DLL}")
endif()
