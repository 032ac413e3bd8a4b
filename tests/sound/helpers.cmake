# The MP3 decoder tests compare against libmpg123 as the reference decoder (tests only).
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
file(GLOB _mp3_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/mp3*_test.cpp)
foreach(_t ${_mp3_tests})
  get_filename_component(_name ${_t} NAME_WE)
  if(TARGET sound_${_name})
    target_link_libraries(sound_${_name} PRIVATE PkgConfig::MPG123)
  endif()
endforeach()
