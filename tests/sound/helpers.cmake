# The format dispatch test runs the decoder components, which tests/isolate
# installs from the build tree: build them with it.
if(TARGET sound_gensource_test AND TARGET tarnel AND TARGET wendrik)
  add_dependencies(sound_gensource_test tarnel wendrik)
endif()
