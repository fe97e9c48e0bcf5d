# The demo's own assimp (Debian's source with our patches, OBJ importer only), built by
# packaging/assimp/build-linux.sh into NORRVALE_ASSIMP before CMake runs; `make` does
# that. Never the system's: the release bundles this one, and the tests must run what
# ships. assimp::assimp is the shared library; assimp_asan the instrumented static one
# the sanitized demo links.
set(NORRVALE_ASSIMP ${CMAKE_BINARY_DIR}/assimp CACHE PATH
    "where packaging/assimp/build-linux.sh built assimp")
# A build folder configured before may still name the system's.
if(assimp_DIR AND NOT assimp_DIR MATCHES "^${NORRVALE_ASSIMP}/")
  unset(assimp_DIR CACHE)
endif()
find_package(assimp CONFIG PATHS ${NORRVALE_ASSIMP}/prefix NO_DEFAULT_PATH)
if(NOT assimp_FOUND OR NOT EXISTS ${NORRVALE_ASSIMP}/asan/lib/libassimp.a)
  message(FATAL_ERROR "The demo's assimp is not built in ${NORRVALE_ASSIMP}: "
                      "run packaging/assimp/build-linux.sh (make build does)")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/assimp_minizip.cmake)
drop_bundled_minizip(assimp::assimp)

find_package(ZLIB REQUIRED)
add_library(assimp_asan STATIC IMPORTED)
set_target_properties(assimp_asan PROPERTIES
  IMPORTED_LOCATION ${NORRVALE_ASSIMP}/asan/lib/libassimp.a
  INTERFACE_INCLUDE_DIRECTORIES ${NORRVALE_ASSIMP}/asan/include
  INTERFACE_LINK_LIBRARIES "${NORRVALE_ASSIMP}/minizip/lib/libminizip.a;ZLIB::ZLIB")
