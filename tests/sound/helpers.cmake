# The MP3 decoder tests compare against libmpg123 as the reference decoder (tests only).
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
file(GLOB _mp3_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/mp3*_test.cpp)
foreach(_t ${_mp3_tests})
  get_filename_component(_name ${_t} NAME_WE)
  if(TARGET sound_${_name})
    target_link_libraries(sound_${_name} PRIVATE PkgConfig::MPG123)
  endif()
endforeach()

# The format dispatch test runs the decoder components, which tests/isolate
# installs from the build tree: build them with it.
if(TARGET sound_gensource_test AND TARGET tarnel AND TARGET wendrik)
  add_dependencies(sound_gensource_test tarnel wendrik)
endif()
