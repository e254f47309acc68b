# The ported effect both adapters forward to, and how each adapter links:
# only its descriptor function is exported, the C++ runtime is its own.
if(NOT TARGET crossfeed_ports)
  add_library(crossfeed_ports STATIC ${PROJECT_SOURCE_DIR}/adapter/crossfeed_ports.cpp)
  target_link_libraries(crossfeed_ports PUBLIC crossfeed_effect)
endif()

function(crossfeed_adapter_link target map)
  target_link_libraries(${target} PRIVATE crossfeed_ports)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME crossfeed)
  target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,--version-script=${map})
  if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
endfunction()
