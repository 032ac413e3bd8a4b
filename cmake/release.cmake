# The release folder: `cmake --build build --target package` makes
# velorin-VERSION-Linux.tar.gz whose top folder holds bin/, etc/ and share/.
# Unpacked, `sudo ./bin/velorin -install` run in that folder copies each of
# them into /opt/ostrel/velorin and registers the service and components.
# A plain `cmake --install build` installs straight into the program folder.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/ostrel/velorin CACHE PATH "Program folder" FORCE)
endif()

install(TARGETS velorin velorin-rec RUNTIME DESTINATION bin)
# Each component beside its installer (NAME.component installs NAME from
# its own folder); the decoders' installers are the encoder's script.
foreach(_component lyrenc tarnel wendrik)
  if(TARGET ${_component})
    install(TARGETS ${_component} RUNTIME DESTINATION bin)
    install(PROGRAMS ${PROJECT_SOURCE_DIR}/components/lyrenc/lyrenc.component
            DESTINATION bin RENAME ${_component}.component)
  endif()
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/etc/ DESTINATION etc)
# The desktop's images and help arrive with the desktop.
if(EXISTS ${PROJECT_SOURCE_DIR}/resources/share)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/share/ DESTINATION share)
else()
  install(DIRECTORY DESTINATION share)
endif()

set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_NAME velorin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME velorin-${PROJECT_VERSION}-Linux)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /)
include(CPack)
