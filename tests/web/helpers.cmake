# The live stream tests run the encoder component, which tests/isolate
# installs from the build tree: build it with them.
if(TARGET lyrenc AND TARGET web_sitestream_mt_test)
  add_dependencies(web_sitestream_mt_test lyrenc)
endif()
