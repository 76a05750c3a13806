# The Windows program: the process entry over the Win32 layer and its window. The
# entry stays out of the library so that the linker finds it with MinGW and MSVC.
# Included from the top-level CMakeLists.txt: the bench adds src/ on its own.
add_executable(MOLRAvin WIN32
  ${CMAKE_CURRENT_LIST_DIR}/main_win.cpp
  ${PROJECT_SOURCE_DIR}/resources/MOLRAvin.rc
)
# Before the delay-load libraries below: the layer's user32 and gdi32 calls go to them.
target_link_libraries(MOLRAvin PRIVATE molra_win32 molra_win32_settings)
# The version in the forms the resources need, from project(). The text is written the
# way the product has always shown it: minor two digits, revision four, no third field.
if(PROJECT_VERSION_MINOR GREATER 99 OR PROJECT_VERSION_TWEAK GREATER 9999)
  message(FATAL_ERROR "version ${PROJECT_VERSION} does not fit the text a.bb.dddd")
endif()
math(EXPR molra_minor "100 + ${PROJECT_VERSION_MINOR}")
math(EXPR molra_tweak "10000 + ${PROJECT_VERSION_TWEAK}")
string(SUBSTRING ${molra_minor} 1 2 molra_minor)
string(SUBSTRING ${molra_tweak} 1 4 molra_tweak)
set(molra_version_text ${PROJECT_VERSION_MAJOR}.${molra_minor}.${molra_tweak})
set(molra_generated ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/resources/version.h.in ${molra_generated}/version.h @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/MOLRAvin.manifest.in ${molra_generated}/MOLRAvin.manifest
               @ONLY)
target_include_directories(MOLRAvin PRIVATE ${molra_generated} ${PROJECT_SOURCE_DIR}/resources)
# The resource compiler does not see the files the script embeds; list them so an edit rebuilds.
set(molra_embedded MOLRAvin.ico logo.jpg resource_ids.h)
list(TRANSFORM molra_embedded PREPEND ${PROJECT_SOURCE_DIR}/resources/)
list(APPEND molra_embedded ${molra_generated}/version.h ${molra_generated}/MOLRAvin.manifest)
set_source_files_properties(${PROJECT_SOURCE_DIR}/resources/MOLRAvin.rc PROPERTIES
                            OBJECT_DEPENDS "${molra_embedded}")
# Resource scripts are read as UTF-8. CMake passes only -D and -I from compile options
# to the resource compiler, so the code page goes into its flags.
if(MSVC)
  string(APPEND CMAKE_RC_FLAGS " /c65001")
else()
  string(APPEND CMAKE_RC_FLAGS " -c65001")
endif()
set_target_properties(MOLRAvin PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
if(MSVC)
  target_link_options(MOLRAvin PRIVATE /SUBSYSTEM:WINDOWS,6.01 /MANIFEST:NO)
  set_property(TARGET MOLRAvin PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
else()
  target_link_options(MOLRAvin PRIVATE -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,1
                      -Wl,--major-os-version,6 -Wl,--minor-os-version,1
                      -Wl,--gc-sections $<$<NOT:$<CONFIG:Debug>>:-s>
                      # the same bytes from every build of a commit (no link time)
                      -Wl,--no-insert-timestamp
                      # which delay-loaded functions are linked: tests/pe/check_imports.sh
                      -Wl,-Map=${PROJECT_BINARY_DIR}/MOLRAvin.map)
  target_compile_options(MOLRAvin PRIVATE -ffunction-sections -fdata-sections)
endif()
# Almost every start takes the launch path, which needs neither user32 nor gdi32;
# loading them at start would cost it about a third of its time.
include(${PROJECT_SOURCE_DIR}/cmake/delay_import.cmake)
molra_link_delay_loaded(MOLRAvin user32 gdi32)
target_link_libraries(MOLRAvin PRIVATE advapi32)
