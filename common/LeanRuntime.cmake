# What ships is kept small (Windows build only).
#
# qm_lean_code(targets...): the code of the deliverables never throws nor
# catches, so it is compiled without exception tables. This matters for size
# beyond the tables themselves: the linker keeps every .eh_frame section, and
# with it every function that a frame entry names, so unused functions survive
# --gc-sections as long as they carry unwind information.
#
# qm_lean_deliverable(targets...): links common/LeanRuntime.cpp, which
# replaces the C++ runtime's throwing entry points by a direct abort.
function(qm_lean_code)
  if(NOT WIN32)
    return()
  endif()
  foreach(t ${ARGN})
    if(TARGET ${t})
      target_compile_options(${t} PRIVATE -fno-exceptions -fno-asynchronous-unwind-tables)
    endif()
  endforeach()
endfunction()

function(qm_lean_deliverable)
  if(NOT WIN32)
    return()
  endif()
  if(NOT TARGET qm_lean_runtime)
    add_library(qm_lean_runtime OBJECT ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/LeanRuntime.cpp)
    target_compile_options(qm_lean_runtime PRIVATE -fno-exceptions -fno-asynchronous-unwind-tables)
  endif()
  foreach(t ${ARGN})
    if(NOT TARGET ${t})
      continue()
    endif()
    target_sources(${t} PRIVATE $<TARGET_OBJECTS:qm_lean_runtime>)
    target_compile_options(${t} PRIVATE -fno-exceptions -fno-asynchronous-unwind-tables)
  endforeach()
endfunction()
