# The tray tests' notification area, and the desktop tests' programs.
add_executable(velorin-testtray ${CMAKE_CURRENT_LIST_DIR}/testtray.cpp)
target_compile_options(velorin-testtray PRIVATE ${VELORIN_WARNINGS})
target_link_libraries(velorin-testtray PRIVATE PkgConfig::X11)
set_target_properties(velorin-testtray PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests/gui)
foreach(_t gui_desktop_test gui_tray_test)
  if(TARGET ${_t})
    add_dependencies(${_t} velorin velorin-testtray lyrenc)
  endif()
endforeach()
# The Recordings page converts files with the encoder component, which
# tests/isolate installs from the build tree.
if(TARGET gui_setdlg_recordings_test)
  add_dependencies(gui_setdlg_recordings_test lyrenc)
endif()
