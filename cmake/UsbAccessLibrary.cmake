# A libmpusbapi.so of the USB access library contract: hidden visibility and a version script,
# so that exactly the seven entry points are exported; `directory` is where it is built, which
# LD_LIBRARY_PATH then selects.
function(pilvo_add_usb_access_library target source directory)
  set(export_list ${PROJECT_SOURCE_DIR}/platform/mpusbapi/mpusbapi.map)
  add_library(${target} SHARED ${source})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME mpusbapi
    LIBRARY_OUTPUT_DIRECTORY ${directory}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${export_list})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/include)
  target_link_libraries(${target} PRIVATE pilvo_warnings)
  target_link_options(${target} PRIVATE -Wl,--version-script=${export_list})
endfunction()
