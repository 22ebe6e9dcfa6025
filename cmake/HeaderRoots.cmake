# qm_publish_headers(<target> <base folder> <headers relative to it>...)
# A library lets its users include its own headers and no others. Each header
# is linked into build/include/<target>/ under its path relative to the base
# folder, and that folder becomes the target's public include directory: with
# base Updater/ and header system/Files.h, users write "system/Files.h" as
# before, but only targets that link the library find it. The links are made
# anew at every configure.
function(qm_publish_headers target base)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  get_filename_component(base ${base} ABSOLUTE)
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  foreach(header ${ARGN})
    get_filename_component(folder ${root}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    file(CREATE_LINK ${base}/${header} ${root}/${header} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# qm_subsystem_headers(<var> <subsystem folder> [<sub-folder>...]): the
# headers directly in a subsystem's folder and in the named sub-folders of it,
# as paths relative to its parent ("system/Files.h",
# "engine/preserved/JournalFiles.h"). A header added later is noticed at the
# next build.
function(qm_subsystem_headers var folder)
  get_filename_component(parent ${folder} DIRECTORY)
  set(patterns ${folder}/*.h)
  foreach(sub ${ARGN})
    list(APPEND patterns ${folder}/${sub}/*.h)
  endforeach()
  file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${parent} ${patterns})
  set(${var} ${headers} PARENT_SCOPE)
endfunction()
