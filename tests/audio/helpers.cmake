# The audio tests run the encoder component, which tests/isolate installs
# from the build tree: build it with them.
if(TARGET lyrenc)
  get_property(_audio_targets DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(_t ${_audio_targets})
    if(_t MATCHES "^audio_(mt_)?test$")
      add_dependencies(${_t} lyrenc)
    endif()
  endforeach()
endif()

# The engine test follows the live stream frame by frame with the listener
# benchmark's own checker.
target_include_directories(audio_mt_test PRIVATE ${PROJECT_SOURCE_DIR}/bench)
