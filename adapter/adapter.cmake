# The port layer both port-based plug-ins forward to, and how each links.
if(NOT TARGET crossfeed_ports)
  add_library(crossfeed_ports STATIC ${PROJECT_SOURCE_DIR}/adapter/port_instance.cpp)
  target_include_directories(crossfeed_ports PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(crossfeed_ports PUBLIC crossfeed_processor)
  target_compile_options(crossfeed_ports PRIVATE -fno-exceptions)
endif()

# The plug-in file is named crossfeed.so in its own folder.
function(crossfeed_adapter_link target map)
  target_link_libraries(${target} PRIVATE crossfeed_ports)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME crossfeed)
  crossfeed_plugin_module(${target} ${map})
endfunction()
