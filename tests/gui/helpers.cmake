# The settings dialog's Recordings page runs the encoder component, which
# tests/isolate installs from the build tree: build it with the gui tests.
if(TARGET lyrenc)
  get_property(_gui_targets DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(_t ${_gui_targets})
    if(_t MATCHES "^gui_.*_test$")
      add_dependencies(${_t} lyrenc)
    endif()
  endforeach()
endif()
