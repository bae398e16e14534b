# Installation: the libraries, their headers under include/redozir/, a CMake
# package (find_package(Redozir) gives Redozir::imaging and friends) and a
# pkg-config file (redozir, and redozir-sdl for the SDL2 back end).
include(CMakePackageConfigHelpers)

set(REDOZIR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Redozir)

install(TARGETS ${installed_targets} EXPORT RedozirTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A header named *_internal.h serves the library's own sources and its tests,
# and so do the resampling engines' shared pieces that include one.
install(DIRECTORY imaging platform DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/redozir
  FILES_MATCHING PATTERN "*.h"
  PATTERN "*_internal.h" EXCLUDE PATTERN "resample_block.h" EXCLUDE PATTERN "*_lanes.h" EXCLUDE)
install(DIRECTORY include/redozir DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT RedozirTargets NAMESPACE Redozir:: DESTINATION ${REDOZIR_CMAKE_DIR})

# A static library's private dependencies travel with it: the package file
# finds them again for the program that links it.
if(BUILD_SHARED_LIBS)
  set(REDOZIR_STATIC FALSE)
else()
  set(REDOZIR_STATIC TRUE)
endif()
set(REDOZIR_HAS_SDL FALSE)
set(REDOZIR_SDL_X11 FALSE)
if(TARGET platform_sdl)
  set(REDOZIR_HAS_SDL TRUE)
  set(REDOZIR_SDL_X11 ${X11_FOUND})
endif()
configure_package_config_file(cmake/RedozirConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/RedozirConfig.cmake INSTALL_DESTINATION ${REDOZIR_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/RedozirConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/RedozirConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/RedozirConfigVersion.cmake DESTINATION ${REDOZIR_CMAKE_DIR})

# pkg-config: a shared build needs nothing more at link time; a static one
# lists its dependencies for --static.
if(REDOZIR_STATIC)
  set(REDOZIR_PC_PRIVATE "Requires.private: libpng zlib libjpeg libtiff-4 libopenjp2 freetype2 fontconfig libagg\nLibs.private: -lgif -lpthread")
  set(REDOZIR_PC_SDL_PRIVATE "Requires.private: sdl2")
  if(X11_FOUND)
    set(REDOZIR_PC_SDL_PRIVATE "Requires.private: sdl2 x11")
  endif()
else()
  set(REDOZIR_PC_PRIVATE "")
  set(REDOZIR_PC_SDL_PRIVATE "")
endif()
# The prefix is found from the file's own place, so an installed tree can move.
file(RELATIVE_PATH REDOZIR_PC_UP "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
configure_file(cmake/redozir.pc.in ${CMAKE_CURRENT_BINARY_DIR}/redozir.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/redozir.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(REDOZIR_HAS_SDL)
  configure_file(cmake/redozir-sdl.pc.in ${CMAKE_CURRENT_BINARY_DIR}/redozir-sdl.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/redozir-sdl.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()
