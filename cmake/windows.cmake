# The Windows build: the demo alone, cross-compiled against the libraries that
# packaging/windows/build-deps.sh installed into NORRVALE_WINDEPS. The content is the
# native build's to bake; the tools, tests and benchmarks stay native.
set(NORRVALE_WINDEPS "" CACHE PATH "Prefix the Windows libraries were installed into")
if(NOT EXISTS ${NORRVALE_WINDEPS}/lib/pkgconfig/SDL2_mixer.pc)
  message(FATAL_ERROR
    "No Windows libraries in '${NORRVALE_WINDEPS}' (run packaging/windows/build-deps.sh)")
endif()
set(ENV{PKG_CONFIG_LIBDIR} ${NORRVALE_WINDEPS}/lib/pkgconfig)
unset(ENV{PKG_CONFIG_PATH})
# glm and stb are the host's header packages, linked into the prefix.
include_directories(${NORRVALE_WINDEPS}/include)
include(${CMAKE_CURRENT_LIST_DIR}/assimp_minizip.cmake)

add_library(stb STATIC ${PROJECT_SOURCE_DIR}/packaging/stb_image.c)

# The GCC runtime goes into the program itself; the DLLs it still imports are copied
# beside it on every build (only those that changed).
add_link_options(-static-libgcc -static-libstdc++)
# No link date in the program's header: a program kept in build/ since an older commit
# must match one linked today.
add_link_options(-Wl,--no-insert-timestamp)
function(copy_runtime_dlls target)
  add_custom_target(${target}_dlls ALL
    COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/windows/copy-dlls.sh $<TARGET_FILE:${target}>
            ${NORRVALE_WINDEPS}/bin /usr/x86_64-w64-mingw32/lib
            /usr/lib/gcc/x86_64-w64-mingw32/12-posix
    DEPENDS ${target}
    VERBATIM)
endfunction()
