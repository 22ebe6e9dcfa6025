# Import libraries that load their DLL on the first call instead of at start:
# a DLL that a run may never need costs it nothing then (under Wine, crypt32
# alone adds about 3 MB to every check's resident memory).
#
#   qm_delay_import(<target name> <.def file>)
# makes <target name>, a library to link in place of the DLL's own import
# library. The .def names each function as 32-bit stdcall ("Name@bytes");
# the 64-bit build drops the decoration, which its names don't carry.
function(qm_delay_import name def)
  get_filename_component(def_path ${def} ABSOLUTE)
  set(lib ${CMAKE_CURRENT_BINARY_DIR}/lib${name}.a)
  set(used_def ${def_path})
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    file(READ ${def_path} text)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    set(used_def ${CMAKE_CURRENT_BINARY_DIR}/${name}.def)
    file(WRITE ${used_def} "${text}")
  endif()
  # -k: the DLL's exports are the undecorated names.
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_DLLTOOL} -k -d ${used_def} -y ${lib}
    DEPENDS ${def_path}
    VERBATIM)
  add_custom_target(${name}_lib DEPENDS ${lib})
  add_library(${name} STATIC IMPORTED GLOBAL)
  # Code that calls through __imp_ pointers never names a function's stub,
  # which only the pointer's initial value refers to; --gc-sections would
  # drop the stub and leave that pointer 0, a call to address 0 on first use.
  # Naming every stub as undefined keeps it.
  file(STRINGS ${def_path} functions REGEX "^[ \t]+[A-Za-z_]")
  set(keep)
  foreach(function ${functions})
    string(STRIP "${function}" function)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      string(REGEX REPLACE "@[0-9]+$" "" function "${function}")
    else()
      set(function "_${function}")
    endif()
    list(APPEND keep "LINKER:--undefined=${function}")
  endforeach()
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${lib}
    INTERFACE_LINK_OPTIONS "${keep}")
  add_dependencies(${name} ${name}_lib)
endfunction()
