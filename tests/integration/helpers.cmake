# The integration tests run the program, velorin-rec and the encoder and
# decoder components, which tests/isolate installs from the build tree; the
# install test makes the release package from them and installs it into
# private system folders (tests/isolate-system): build them with the tests.
foreach(_t integration_test integration_mt_test integration_install_test gui_wizard_test)
  if(TARGET ${_t})
    add_dependencies(${_t} velorin velorin-rec lyrenc tarnel wendrik)
  endif()
endforeach()
