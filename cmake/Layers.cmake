# Each folder of src/ is a layer, and the compiler sees a layer only through a folder of its
# own that holds nothing else (build/layers/<folder>/<folder> links to src/<folder>). A target
# finds the headers of the layers it links and of no other, so an include that points up the
# layers does not compile; scripts/layers.sh refuses the one way round it ("../").

# Gives target the headers of layer folder, for itself and for whatever links it.
function(vantrel_layer_headers target folder)
  set(root ${CMAKE_BINARY_DIR}/layers/${folder})
  if(NOT EXISTS ${root}/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
endfunction()
