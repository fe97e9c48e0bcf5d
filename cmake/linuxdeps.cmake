# The Linux program's own SDL2_mixer (Debian's source with only its MP3 decoder, as on
# Windows), built by packaging/linux/build-deps.sh into NORRVALE_LINUXDEPS before CMake
# runs; `make` does that. Never the system's, which links a dozen decoders that the
# release would then have to carry.
set(NORRVALE_LINUXDEPS ${CMAKE_BINARY_DIR}/linuxdeps CACHE PATH
    "where packaging/linux/build-deps.sh built the Linux libraries")
if(NOT EXISTS ${NORRVALE_LINUXDEPS}/prefix/lib/pkgconfig/SDL2_mixer.pc)
  message(FATAL_ERROR "The demo's SDL2_mixer is not built in ${NORRVALE_LINUXDEPS}: "
                      "run packaging/linux/build-deps.sh (make build does)")
endif()
set(ENV{PKG_CONFIG_PATH} ${NORRVALE_LINUXDEPS}/prefix/lib/pkgconfig)
# The sound layer includes <SDL2/SDL_mixer.h>, as on Windows, where pkg-config's flags
# name the SDL2 folder itself.
include_directories(BEFORE ${NORRVALE_LINUXDEPS}/prefix/include)
# A build folder configured before may still hold the system's.
if(SDL2MIXER_LIBRARY_DIRS AND NOT SDL2MIXER_LIBRARY_DIRS MATCHES "^${NORRVALE_LINUXDEPS}/")
  unset(__pkg_config_checked_SDL2MIXER CACHE)
endif()
