# Each layer of the program is a library that sees only its own folder and the layers it
# links, so that an include against the arrows (system/ reaching into runtime/, say)
# fails to build. A layer's headers are included as "<folder>/<header>.h": its include
# root is a folder in the build tree that holds a link named <folder> to the layer.
function(pellicar_layer_include_root target folder)
  set(root ${PROJECT_BINARY_DIR}/include-roots/${folder})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# Some headers of another layer, each alone, for a layer that may use no more of it: the
# formats take the system layer's rule for numbers in messages, and nothing that touches
# files.
function(pellicar_layer_headers target folder)
  set(root ${PROJECT_BINARY_DIR}/include-roots/${target}-${folder})
  file(MAKE_DIRECTORY ${root}/${folder})
  foreach(header ${ARGN})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder}/${header} ${root}/${folder}/${header} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
