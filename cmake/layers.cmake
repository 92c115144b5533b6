# The layers of the portable program, bottom to top. Each folder is one
# library that links only the layer below it (and through it those further
# down), and compiles against a view of the tree that holds links to its own
# folder and the folders below it and nothing else: an include of a header
# from a layer above names a file that is not there, and the build fails.
set(ZVP_LAYERS image core link chipops progmem engine ui)

# zvp_layer_view(TARGET FOLDER...): TARGET's sources see only the folders
# named, spelled from the top of the tree ("link/serial_link.h").
function(zvp_layer_view target)
  set(view "${PROJECT_BINARY_DIR}/layer_views/${target}")
  file(REMOVE_RECURSE "${view}")
  file(MAKE_DIRECTORY "${view}")
  foreach(folder IN LISTS ARGN)
    file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${folder}" "${view}/${folder}" SYMBOLIC)
  endforeach()
  target_include_directories(${target} PRIVATE "${view}")
endfunction()

# The folders a layer may include: the layers up to and including it.
function(zvp_layers_up_to layer out)
  set(seen "")
  foreach(l IN LISTS ZVP_LAYERS)
    list(APPEND seen ${l})
    if(l STREQUAL layer)
      break()
    endif()
  endforeach()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# zvp_layer(FOLDER SOURCE...): the library zvp_FOLDER of FOLDER's sources.
function(zvp_layer layer)
  add_library(zvp_${layer} STATIC ${ARGN})
  list(FIND ZVP_LAYERS ${layer} index)
  if(index GREATER 0)
    math(EXPR below "${index} - 1")
    list(GET ZVP_LAYERS ${below} lower)
    target_link_libraries(zvp_${layer} PUBLIC zvp_${lower})
  endif()
  zvp_layers_up_to(${layer} folders)
  zvp_layer_view(zvp_${layer} ${folders})
endfunction()
