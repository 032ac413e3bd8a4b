# The live stream tests run the encoder component, which tests/isolate
# installs from the build tree: build it with them.
foreach(_t web_test web_mt_test)
  if(TARGET lyrenc AND TARGET ${_t})
    add_dependencies(${_t} lyrenc)
  endif()
endforeach()
