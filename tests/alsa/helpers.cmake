# Test sound cards: an ALSA PCM plugin and control plugin that stand in for
# the sound cards "hw:0", "hw:1", ... which the test machines do not have.
# Tests point ALSA at them with tests/alsa/testalsa.h; every test program gets
#   VELORIN_TEST_ALSA_CONF        configuration file for this process
#   VELORIN_TEST_ALSA_CONF_PLAIN  the same for child programs without
#                                 sanitizers (arecord): modules built plain
set(VELORIN_TESTALSA_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})

# Builds both modules into OUTDIR and writes CONF pointing at them.  PLAIN
# leaves out the sanitizer flags of the build.
function(velorin_testalsa_modules suffix plain outdir conf)
  set(_src ${VELORIN_TESTALSA_SOURCE_DIR})
  set(_card velorin_testalsa_card${suffix})
  add_library(${_card} OBJECT ${_src}/testcard.cpp ${_src}/testsignal.cpp)
  set(_targets ${_card})
  foreach(_kind pcm ctl)
    set(_t velorin_testalsa_${_kind}${suffix})
    add_library(${_t} MODULE ${_src}/test${_kind}.cpp $<TARGET_OBJECTS:${_card}>)
    # ALSA loads "libasound_module_<kind>_<type>.so"; PIC tells its headers
    # that this is a loadable module.
    set_target_properties(${_t} PROPERTIES
      PREFIX "lib"
      OUTPUT_NAME asound_module_${_kind}_velorintest
      LIBRARY_OUTPUT_DIRECTORY ${outdir})
    target_link_libraries(${_t} PRIVATE PkgConfig::ALSA)
    list(APPEND _targets ${_t})
  endforeach()
  foreach(_t ${_targets})
    if(plain)
      set_target_properties(${_t} PROPERTIES COMPILE_OPTIONS "" LINK_OPTIONS "")
    endif()
    target_compile_options(${_t} PRIVATE ${VELORIN_WARNINGS})
    target_compile_definitions(${_t} PRIVATE PIC)
    target_include_directories(${_t} PRIVATE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${_t} PRIVATE PkgConfig::ALSA)
  endforeach()
  set(VELORIN_TESTALSA_PCM_LIB ${outdir}/libasound_module_pcm_velorintest.so)
  set(VELORIN_TESTALSA_CTL_LIB ${outdir}/libasound_module_ctl_velorintest.so)
  configure_file(${_src}/velorintest.conf.in ${conf} @ONLY)
endfunction()

set(_alsa_out ${PROJECT_BINARY_DIR}/tests/alsa)
velorin_testalsa_modules("" OFF ${_alsa_out}/modules ${_alsa_out}/velorintest.conf)
set(_alsa_conf ${_alsa_out}/velorintest.conf)
set(_alsa_deps velorin_testalsa_pcm velorin_testalsa_ctl)
if(VELORIN_SANITIZE)
  velorin_testalsa_modules(_plain ON ${_alsa_out}/modules-plain ${_alsa_out}/velorintest-plain.conf)
  set(_alsa_conf_plain ${_alsa_out}/velorintest-plain.conf)
  list(APPEND _alsa_deps velorin_testalsa_pcm_plain velorin_testalsa_ctl_plain)
else()
  set(_alsa_conf_plain ${_alsa_conf})
endif()

get_property(_alsa_targets DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} PROPERTY BUILDSYSTEM_TARGETS)
foreach(_t ${_alsa_targets})
  get_target_property(_type ${_t} TYPE)
  if(_type STREQUAL "EXECUTABLE" AND _t MATCHES "_test$")
    target_compile_definitions(${_t} PRIVATE
      VELORIN_TEST_ALSA_CONF="${_alsa_conf}"
      VELORIN_TEST_ALSA_CONF_PLAIN="${_alsa_conf_plain}")
    add_dependencies(${_t} ${_alsa_deps})
  endif()
endforeach()
