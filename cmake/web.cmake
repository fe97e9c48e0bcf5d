# The browser build: the demo compiled to wasm by Debian's emscripten, against the
# libraries packaging/web/build-deps.sh installed into NORRVALE_WEBDEPS and with the
# content the native build baked (NORRVALE_STAGE). GLFW and WebGL 2 are emscripten's own.
# The result is one folder, NORRVALE_WEB_OUT: the page, the JS, the wasm, the data and
# the generators with the content they make (manifest.py).
set(NORRVALE_WEBDEPS "" CACHE PATH "Prefix the wasm libraries were installed into")
set(NORRVALE_STAGE "" CACHE PATH "The native build's stage folder, with the baked content")
set(NORRVALE_WEB_OUT ${CMAKE_BINARY_DIR}/web CACHE PATH "Where the page and its files go")
if(NOT EXISTS ${NORRVALE_WEBDEPS}/lib/libassimp.a)
  message(FATAL_ERROR
    "No wasm libraries in '${NORRVALE_WEBDEPS}' (run packaging/web/build-deps.sh)")
endif()
if(NOT EXISTS ${NORRVALE_STAGE}/imgs/greet01.png)
  message(FATAL_ERROR "No baked content in '${NORRVALE_STAGE}' (build the native demo first)")
endif()

# glm and stb are the host's header packages; the rest is the prefix.
include_directories(${NORRVALE_WEBDEPS}/include)
add_library(assimp STATIC IMPORTED)
set_target_properties(assimp PROPERTIES
  IMPORTED_LOCATION ${NORRVALE_WEBDEPS}/lib/libassimp.a
  INTERFACE_LINK_LIBRARIES "${NORRVALE_WEBDEPS}/lib/libminizip.a;${NORRVALE_WEBDEPS}/lib/libz.a")
add_library(stb STATIC ${PROJECT_SOURCE_DIR}/packaging/stb_image.c)
# Only the host's header-only packages from /usr/include, through a folder of links, so
# that no host library header shadows emscripten's.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/hostheaders)
foreach(headers glm stb)
  file(CREATE_LINK /usr/include/${headers} ${CMAKE_BINARY_DIR}/hostheaders/${headers} SYMBOLIC)
endforeach()
include_directories(SYSTEM ${CMAKE_BINARY_DIR}/hostheaders)

# The shader loader catches its own stream failures, and assimp reports a bad file by
# throwing inside ReadFile: both need C++ exceptions, which emcc turns off by default.
add_compile_options(-fexceptions)
add_link_options(-fexceptions)

set(webPage ${PROJECT_SOURCE_DIR}/packaging/web)
function(add_web_page target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${NORRVALE_WEB_OUT})
  target_link_options(${target} PRIVATE
    -sUSE_GLFW=3 -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2
    -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=web
    # The frame loop stays the desktop's while loop: glfwSwapBuffers (glfw_web.js) hands
    # the browser the frame and resumes the loop at the next animation frame.
    -sASYNCIFY "-sASYNCIFY_IMPORTS=['glfwSwapBuffers']"
    "SHELL:--js-library ${webPage}/glfw_web.js"
    # One fresh instance per run, started by the page's Play button.
    -sMODULARIZE=1 -sEXPORT_NAME=createNorrvale -sINVOKE_RUN=0
    "-sEXPORTED_FUNCTIONS=['_main','_norrvalePrepare','_norrvaleRequestClose','_norrvaleWebglDifferences']"
    # FS: the browser tests take files away from an instance, as a broken install would.
    "-sEXPORTED_RUNTIME_METHODS=['ccall','UTF8ToString','FS']"
    # Only the shaders are the program's data: the baked images and models are made in
    # the browser by the generators (web_generators.cmake), or come from content.data,
    # and the page writes them into each instance before it prepares. The track is
    # fetched and decoded by the page too.
    "SHELL:--preload-file ${PROJECT_SOURCE_DIR}/shdrs@shdrs")
  # The data file is packed at link time: an edited shader links the page's program again
  # (make web configures anew each time, so the list is current).
  file(GLOB preloaded ${PROJECT_SOURCE_DIR}/shdrs/*)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${webPage}/glfw_web.js ${preloaded})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND /usr/bin/python3 ${webPage}/reproducible_js.py $<TARGET_FILE:${target}>
            ${NORRVALE_WEB_OUT}/${target}.data
    VERBATIM)
  add_custom_target(${target}_page ALL
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${webPage}/index.html ${webPage}/page.js
            ${webPage}/page.css ${NORRVALE_STAGE}/tessmer-trancedemo5.mp3 ${NORRVALE_WEB_OUT}
    DEPENDS ${target}
    VERBATIM)
endfunction()
