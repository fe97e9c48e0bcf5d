# The content makers for the browser: the baker (bake.js, bake.wasm) and the synthesiser
# (synth.js, synth.wasm), each a module that packaging/web/generators_worker.js runs in a
# Web Worker. The sources are tools/bake's and tools/synth's; only the entry points are
# the web's.
set(bakeDir ${PROJECT_SOURCE_DIR}/tools/bake)
set(synthDir ${PROJECT_SOURCE_DIR}/tools/synth)
set(webPage ${PROJECT_SOURCE_DIR}/packaging/web)

# The fonts the recipes draw text with, at the path loadFonts reads them from: only the
# glyphs their text uses, printable ASCII and the middle dot (2.5 MB whole, 72 KB so; a
# glyph left out would be drawn as a box, which web.generators.<engine> would find).
# stb_truetype reads outlines, metrics and kerning; the hinting it ignores goes, and the
# kerning stays in both the tables it knows. web.generators.<engine> checks that the
# images come out the same.
set(bakeFontDir /usr/share/fonts/truetype/dejavu)
set(bakeFonts DejaVuSans.ttf DejaVuSans-Bold.ttf DejaVuSerif.ttf DejaVuSerif-Bold.ttf
              DejaVuSansMono-Bold.ttf)
set(bakeFontOut ${CMAKE_BINARY_DIR}/bakefonts)
file(MAKE_DIRECTORY ${bakeFontOut})
set(bakeFontFiles)
foreach(font ${bakeFonts})
  add_custom_command(
    OUTPUT ${bakeFontOut}/${font}
    COMMAND /usr/bin/python3 -m fontTools.subset ${bakeFontDir}/${font}
            --unicodes=U+0020-007E,U+00B7 --layout-features=* --legacy-kern --no-hinting
            --output-file=${bakeFontOut}/${font}
    DEPENDS ${bakeFontDir}/${font}
    VERBATIM)
  list(APPEND bakeFontFiles ${bakeFontOut}/${font})
endforeach()
add_custom_target(bake_fonts DEPENDS ${bakeFontFiles})

function(add_generator target exportName)
  add_executable(${target} ${ARGN})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${NORRVALE_WEB_OUT})
  # The demo's assimp needs C++ exceptions; the generators throw none, and under emcc every
  # call that might throw would go out through JS and back.
  foreach(property COMPILE_OPTIONS LINK_OPTIONS)
    get_target_property(options ${target} ${property})
    list(REMOVE_ITEM options -fexceptions)
    set_target_properties(${target} PROPERTIES ${property} "${options}")
  endforeach()
  # Arithmetic over millions of pixels and samples: always optimised.
  target_compile_options(${target} PRIVATE -O3)
  target_link_options(${target} PRIVATE -O3
    -sMODULARIZE=1 -sEXPORT_NAME=${exportName} -sENVIRONMENT=web,worker
    -sALLOW_MEMORY_GROWTH=1)
endfunction()

add_generator(bake_web createBake
  ${bakeDir}/canvas.cpp ${bakeDir}/pngwrite.cpp ${bakeDir}/objmodel.cpp ${bakeDir}/logos.cpp
  ${bakeDir}/skies.cpp ${bakeDir}/models.cpp ${bakeDir}/recipes.cpp
  ${webPage}/bake_web.cpp ${webPage}/stb_bake.c)
set_target_properties(bake_web PROPERTIES OUTPUT_NAME bake)
# The noise's four corners at a time (canvas.cpp) as wasm's vector instructions, about a
# tenth off the bake; lane for lane the same arithmetic, so the same bytes. An engine
# without them (Safari before 16.4) cannot compile the baker, and the page downloads
# content.data instead.
target_compile_options(bake_web PRIVATE -msimd128)
target_include_directories(bake_web PRIVATE ${bakeDir})
target_link_libraries(bake_web PRIVATE stb ${NORRVALE_WEBDEPS}/lib/libz.a)
add_dependencies(bake_web bake_fonts)
target_link_options(bake_web PRIVATE
  "-sEXPORTED_FUNCTIONS=['_norrvaleRecipeNames','_norrvaleRecipeCost','_norrvaleBake']"
  "-sEXPORTED_RUNTIME_METHODS=['ccall','UTF8ToString','FS']"
  "SHELL:--embed-file ${bakeFontOut}@${bakeFontDir}")
set_property(TARGET bake_web APPEND PROPERTY LINK_DEPENDS ${bakeFontFiles})

add_generator(synth_web createSynth ${synthDir}/song.cpp ${webPage}/synth_web.cpp)
set_target_properties(synth_web PROPERTIES OUTPUT_NAME synth)
target_include_directories(synth_web PRIVATE ${synthDir})
target_link_options(synth_web PRIVATE
  "-sEXPORTED_FUNCTIONS=['_norrvaleSongFrames','_norrvaleRender','_malloc','_free']")

add_custom_target(generators_worker ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${webPage}/generators_worker.js ${NORRVALE_WEB_OUT}
  VERBATIM)

# manifest.json (also inside index.html), the packed files and content.data, the baked
# content in one file for the page to download where that is quicker than making it, or
# where the generators fail.
add_custom_target(web_manifest ALL
  COMMAND /usr/bin/python3 ${webPage}/manifest.py ${NORRVALE_WEB_OUT} ${NORRVALE_STAGE}/imgs
          ${webPage}/index.html
  DEPENDS norrvale_page bake_web synth_web generators_worker
  VERBATIM)
