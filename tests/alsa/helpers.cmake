# Test sound cards: an ALSA PCM plugin and control plugin that stand in for
# the sound cards "hw:0", "hw:1", ... which the test machines do not have.
# Tests point ALSA at them with tests/alsa/testalsa.h; every test program
# gets VELORIN_TEST_ALSA_CONF, the configuration file naming the modules.
set(_src ${CMAKE_CURRENT_LIST_DIR})
set(_alsa_out ${PROJECT_BINARY_DIR}/tests/alsa)
add_library(velorin_testalsa_card OBJECT ${_src}/testcard.cpp)
set(_alsa_deps)
foreach(_kind pcm ctl)
  set(_t velorin_testalsa_${_kind})
  add_library(${_t} MODULE ${_src}/test${_kind}.cpp $<TARGET_OBJECTS:velorin_testalsa_card>)
  # ALSA loads "libasound_module_<kind>_<type>.so".
  set_target_properties(${_t} PROPERTIES PREFIX "lib" OUTPUT_NAME asound_module_${_kind}_velorintest
    LIBRARY_OUTPUT_DIRECTORY ${_alsa_out}/modules)
  list(APPEND _alsa_deps ${_t})
endforeach()
foreach(_t velorin_testalsa_card ${_alsa_deps})
  target_compile_options(${_t} PRIVATE ${VELORIN_WARNINGS})
  # PIC tells ALSA's headers that this is a loadable module.
  target_compile_definitions(${_t} PRIVATE PIC)
  target_include_directories(${_t} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${_t} PRIVATE PkgConfig::ALSA)
endforeach()
set(VELORIN_TESTALSA_PCM_LIB ${_alsa_out}/modules/libasound_module_pcm_velorintest.so)
set(VELORIN_TESTALSA_CTL_LIB ${_alsa_out}/modules/libasound_module_ctl_velorintest.so)
configure_file(${_src}/velorintest.conf.in ${_alsa_out}/velorintest.conf @ONLY)

get_property(_alsa_targets DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} PROPERTY BUILDSYSTEM_TARGETS)
foreach(_t ${_alsa_targets})
  get_target_property(_type ${_t} TYPE)
  if(_type STREQUAL "EXECUTABLE" AND _t MATCHES "_test$")
    target_compile_definitions(${_t} PRIVATE VELORIN_TEST_ALSA_CONF="${_alsa_out}/velorintest.conf")
    add_dependencies(${_t} ${_alsa_deps})
  endif()
endforeach()
