# The MP3 decoder tests compare against libmpg123 as the reference decoder
# (tests only); the format dispatch tests run the decoder components, which
# tests/isolate installs from the build tree: build them with the tests.
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
foreach(_t sound_test sound_mt_test)
  if(TARGET ${_t})
    target_link_libraries(${_t} PRIVATE PkgConfig::MPG123)
    if(TARGET tarnel AND TARGET wendrik)
      add_dependencies(${_t} tarnel wendrik)
    endif()
  endif()
endforeach()
