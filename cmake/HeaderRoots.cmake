# qm_publish_headers(<target> <base folder> <headers relative to it>...)
# A library lets its users include its own headers and no others. Each header
# is linked into build/include/<target>/ under its path relative to the base
# folder, and that folder becomes the target's public include directory: with
# base Updater/ and header system/Files.h, users write "system/Files.h", and
# only targets that link the library find it. The first folder of that path
# names the library. The links are made anew at every configure.
function(qm_publish_headers target base)
  get_filename_component(base ${base} ABSOLUTE)
  set(links)
  foreach(header ${ARGN})
    list(APPEND links ${header} ${base}/${header})
  endforeach()
  _qm_publish_links(${target} ${links})
endfunction()

# qm_publish_headers_as(<target> <name> <folder> <headers relative to it>...)
# The same for a library whose folder does not bear its name: each header is
# included as "<name>/<header>".
function(qm_publish_headers_as target name folder)
  get_filename_component(folder ${folder} ABSOLUTE)
  set(links)
  foreach(header ${ARGN})
    list(APPEND links ${name}/${header} ${folder}/${header})
  endforeach()
  _qm_publish_links(${target} ${links})
endfunction()

# _qm_publish_links(<target> <include path> <file> [<include path> <file>]...)
function(_qm_publish_links target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  set(pairs ${ARGN})
  list(LENGTH pairs count)
  while(count GREATER 0)
    list(POP_FRONT pairs spelled file)
    get_filename_component(folder ${root}/${spelled} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    file(CREATE_LINK ${file} ${root}/${spelled} SYMBOLIC)
    list(LENGTH pairs count)
  endwhile()
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
