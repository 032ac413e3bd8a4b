# The velorin-rec tests run the tool with the encoder and decoder components,
# which tests/isolate installs from the build tree: build them with it.
if(TARGET integration_velorinrec_test)
  add_dependencies(integration_velorinrec_test velorin-rec lyrenc tarnel wendrik)
endif()

# The recordings site test runs the daemon and velorin-rec together.
if(TARGET integration_recordingsite_test)
  add_dependencies(integration_recordingsite_test velorin velorin-rec lyrenc tarnel wendrik)
endif()

# The install test makes the release package and installs it into private
# system folders (tests/isolate-system).
if(TARGET integration_install_test)
  add_dependencies(integration_install_test velorin velorin-rec lyrenc tarnel wendrik)
endif()

# So do the wizard tests on the virtual display.
if(TARGET gui_wizard_test)
  add_dependencies(gui_wizard_test velorin velorin-rec lyrenc tarnel wendrik)
endif()
