# How each plug-in module file is linked (the VST module, the LV2 and the
# LADSPA plug-in): only its entry is exported, and it carries its own C++
# runtime without the exception machinery, so a host can load and unload it
# any number of times and get all its memory back.
#   crossfeed_plugin_module(TARGET EXPORTS)
# EXPORTS is the version script (ELF) or the .def file (Windows).
function(crossfeed_plugin_module target exports)
  set_target_properties(${target} PROPERTIES PREFIX "")
  target_compile_options(${target} PRIVATE -fno-exceptions)
  # The sanitizers bring their own allocator and want the shared runtime,
  # whose allocations they can see.
  if(CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    set(private_runtime OFF)
  else()
    set(private_runtime ON)
  endif()
  if(private_runtime)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/module/allocation.cpp)
  endif()
  if(WIN32)
    target_sources(${target} PRIVATE ${exports})
  else()
    target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,--version-script=${exports})
    if(private_runtime)
      target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
    endif()
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${exports})
  endif()
endfunction()
