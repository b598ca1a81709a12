# tressel_include_folders(<target> <INTERFACE|PUBLIC|PRIVATE> <folder>...)
#
# Lets <target> (and, for INTERFACE and PUBLIC, whatever links it) include the
# headers of the named source folders as "folder/header.h", and nothing else
# of the source tree: the target gets an include folder of its own in the
# build tree that holds a link to each named folder. One call per target.
#
#   tressel_include_folders(tressel_image PUBLIC image)   # "image/Mask.h"
function(tressel_include_folders target scope)
  set(links ${PROJECT_BINARY_DIR}/include-folders/${target})
  file(REMOVE_RECURSE ${links})  # removes the links, not what they point to
  file(MAKE_DIRECTORY ${links})
  foreach(folder IN LISTS ARGN)
    if(NOT IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${folder})
      message(FATAL_ERROR "tressel_include_folders(${target}): no folder ${folder} in ${PROJECT_SOURCE_DIR}")
    endif()
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${links}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} $<BUILD_INTERFACE:${links}>)
endfunction()
