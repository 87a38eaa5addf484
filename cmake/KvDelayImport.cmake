# Delay-loaded system DLLs for the 64-bit Windows programs.
#
# A module that imports a system DLL the usual way has Wine load and start that DLL before the
# module's first line runs. user32 and gdi32 cost a run without windows some 40 ms of start-up
# that way, and comdlg32 more than 0.1 s: it pulls in the common controls, whose start-up brings
# up Wine's desktop process. kv_delay_import(target dll...) imports the named DLLs on first use
# instead: for each, a delay-import library (every export of the system's import library, built
# with dlltool) goes into a folder of the target's own that the linker searches before the
# system's, so that the plain -l<dll> of any library the target links finds it; libdelayimp
# supplies the loader. A module that never calls the DLL never loads it.
#
# The same file, run as a script (cmake -P), makes one such library:
#   -DNM=... -DDLLTOOL=... -DIMPORTS=<system import library> -DDLL=<name.dll> -DOUT=<library>
#   -DWIDTH=<32 or 64>

if(CMAKE_SCRIPT_MODE_FILE)
  execute_process(COMMAND ${NM} -g ${IMPORTS} OUTPUT_VARIABLE _symbols RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0)
    message(FATAL_ERROR "cannot list the exports of ${IMPORTS}")
  endif()
  # Every import-address symbol names one export: "__imp_Name" on x86_64, "__imp__Name@bytes"
  # (stdcall) or "__imp__Name" (cdecl) on i686, where dlltool's --kill-at drops the decoration
  # from the name the loader looks up.
  string(REGEX MATCHALL " I __imp_[^\n]+" _lines "${_symbols}")
  set(_def "LIBRARY ${DLL}\nEXPORTS\n")
  foreach(_line IN LISTS _lines)
    string(REGEX REPLACE "^ I __imp_" "" _name "${_line}")
    if(WIDTH EQUAL 32)
      string(REGEX REPLACE "^_" "" _name "${_name}")   # i686: the C prefix underscore
    endif()
    string(APPEND _def "${_name}\n")
  endforeach()
  get_filename_component(_folder ${OUT} DIRECTORY)
  file(MAKE_DIRECTORY ${_folder})
  file(WRITE ${OUT}.def "${_def}")
  execute_process(COMMAND ${DLLTOOL} --input-def ${OUT}.def --kill-at --dllname ${DLL} --output-delaylib ${OUT}
                  RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0)
    message(FATAL_ERROR "dlltool could not make the delay-import library of ${DLL}")
  endif()
  return()
endif()

function(kv_delay_import target)
  # x86_64 only: in the i686 modules built this way a delay-loaded call jumped to address 0
  # under Wine, so the 32-bit builds keep their usual imports.
  if(NOT KV_WIDTH EQUAL 64)
    return()
  endif()
  set(_folder ${CMAKE_CURRENT_BINARY_DIR}/${target}-delayed)
  set(_libraries "")
  foreach(_name IN LISTS ARGN)
    set(_imports "")
    foreach(_root IN LISTS CMAKE_FIND_ROOT_PATH)
      if(EXISTS ${_root}/lib/lib${_name}.a)
        set(_imports ${_root}/lib/lib${_name}.a)
        break()
      endif()
    endforeach()
    if(NOT _imports)
      message(FATAL_ERROR "kv_delay_import: no import library lib${_name}.a under ${CMAKE_FIND_ROOT_PATH}")
    endif()
    add_custom_command(OUTPUT ${_folder}/lib${_name}.a
      COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${CMAKE_DLLTOOL} -DIMPORTS=${_imports}
              -DDLL=${_name}.dll -DOUT=${_folder}/lib${_name}.a -DWIDTH=${KV_WIDTH} -P ${KV_DELAY_IMPORT_SCRIPT}
      DEPENDS ${_imports} ${KV_DELAY_IMPORT_SCRIPT} VERBATIM)
    list(APPEND _libraries ${_folder}/lib${_name}.a)
  endforeach()
  add_custom_target(${target}-delayed DEPENDS ${_libraries})
  add_dependencies(${target} ${target}-delayed)
  target_link_directories(${target} BEFORE PRIVATE ${_folder})
  target_link_libraries(${target} PRIVATE delayimp)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${_libraries})
endfunction()
set(KV_DELAY_IMPORT_SCRIPT ${CMAKE_CURRENT_LIST_FILE})
