# Links DLLs so that they are loaded on first use instead of at start.
#   molra_link_delay_loaded(<target> <dll name>...)   e.g. user32 gdi32
# MinGW: a delay-load import library made from MinGW's own one
# (delay-import-lib.sh); MSVC: /DELAYLOAD.
function(molra_link_delay_loaded target)
  if(MSVC)
    foreach(dll IN LISTS ARGN)
      target_link_libraries(${target} PRIVATE ${dll})
      target_link_options(${target} PRIVATE /DELAYLOAD:${dll}.dll)
    endforeach()
    target_link_libraries(${target} PRIVATE delayimp)
    return()
  endif()
  foreach(dll IN LISTS ARGN)
    find_library(molra_import_library_${dll} NAMES ${dll} REQUIRED)
    set(import_library ${molra_import_library_${dll}})
    set(delay_library ${CMAKE_CURRENT_BINARY_DIR}/lib${dll}_delay.a)
    add_custom_command(OUTPUT ${delay_library}
      COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/delay-import-lib.sh ${CMAKE_NM} ${CMAKE_DLLTOOL}
              ${import_library} ${dll}.dll ${delay_library}
      DEPENDS ${PROJECT_SOURCE_DIR}/cmake/delay-import-lib.sh ${import_library}
      COMMENT "Delay-load import library for ${dll}.dll"
      VERBATIM)
    add_custom_target(${target}_delay_${dll} DEPENDS ${delay_library})
    add_dependencies(${target} ${target}_delay_${dll})
    target_link_libraries(${target} PRIVATE ${delay_library})
  endforeach()
endfunction()
