# molra_win32_settings: what every Win32 program, library and DLL here is built with.
# The Unicode API of Windows 7, the static runtime (MinGW; MSVC takes it from each
# target's MSVC_RUNTIME_LIBRARY), and the hardening tests/pe/check_hardening.sh checks:
# relocatable (ASLR, high entropy on 64-bit) with its base relocations kept, DEP.
if(TARGET molra_win32_settings)
  return()
endif()
add_library(molra_win32_settings INTERFACE)
target_compile_definitions(molra_win32_settings INTERFACE
                           UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
set(molra_64bit $<EQUAL:${CMAKE_SIZEOF_VOID_P},8>)
# wmain and wWinMain need -municode; a DLL has neither.
set(molra_is_exe $<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>)
if(MSVC)
  target_link_options(molra_win32_settings INTERFACE
                      /DYNAMICBASE /NXCOMPAT $<${molra_64bit}:/HIGHENTROPYVA>)
else()
  target_link_options(molra_win32_settings INTERFACE
                      $<${molra_is_exe}:-municode> -static
                      -Wl,--dynamicbase -Wl,--enable-reloc-section -Wl,--nxcompat
                      $<${molra_64bit}:-Wl,--high-entropy-va>)
endif()
