# The live stream tests run the encoder component, which tests/isolate
# installs from the build tree: build it with them.
foreach(_test web_sitestream_mt_test web_siteclients_test)
  if(TARGET lyrenc AND TARGET ${_test})
    add_dependencies(${_test} lyrenc)
  endif()
endforeach()
