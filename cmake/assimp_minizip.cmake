# Our assimp is one shared library with our static minizip linked into it, on Linux and
# Windows alike, yet its exported target still names `minizip` bare among the libraries
# its users must link. That puts -lminizip on every link, which resolves only where some
# other minizip happens to be installed (and the release would then carry that one).
function(drop_bundled_minizip target)
  get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
  if(interface)
    list(REMOVE_ITEM interface minizip)
    set_target_properties(${target} PROPERTIES INTERFACE_LINK_LIBRARIES "${interface}")
  endif()
endfunction()
