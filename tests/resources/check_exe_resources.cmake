# Checks what the built program carries. Run as:
#   cmake -DEXE=<MOLRAvin.exe> -DWRESTOOL=<wrestool> -DRESOURCES=<dir> -DMANIFEST=<built manifest>
#         -DWORK=<scratch dir> -P check_exe_resources.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/artwork_checks.cmake)

if(NOT WRESTOOL OR NOT EXISTS "${WRESTOOL}")
  message(FATAL_ERROR "wrestool not found: install the Debian package icoutils")
endif()
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(extract type name out)
  execute_process(COMMAND "${WRESTOOL}" -x ${ARGN} --type=${type} --name=${name} "${EXE}"
                  OUTPUT_FILE "${out}" RESULT_VARIABLE failed)
  file(SIZE "${out}" size)
  if(failed OR size EQUAL 0)
    molra_fail("no resource of type ${type} named ${name}")
  endif()
endfunction()

execute_process(COMMAND "${WRESTOOL}" -l "${EXE}" OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "wrestool cannot read ${EXE}")
endif()
# The shortcut names icon index 0: the first icon group in the file must be ours.
string(REGEX MATCH "--type=14 --name=[^ ]+" first_group "${listing}")
if(NOT first_group STREQUAL "--type=14 --name=1")
  molra_fail("first icon group is '${first_group}', expected name 1")
endif()
string(REGEX MATCHALL "--type=3 " icons "${listing}")
list(LENGTH icons icon_count)
if(NOT icon_count EQUAL 10)
  molra_fail("${icon_count} icon images in the program, expected 10")
endif()

extract(14 1 "${WORK}/group.ico")
molra_check_icon("${WORK}/group.ico" "icon group 1")

extract(10 101 "${WORK}/logo.jpg" --raw)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK}/logo.jpg" "${RESOURCES}/logo.jpg"
                RESULT_VARIABLE differs)
if(differs)
  molra_fail("RCDATA 101 differs from logo.jpg")
endif()

extract(16 1 "${WORK}/version.bin" --raw)
file(READ "${WORK}/version.bin" version HEX)
molra_check_version("${version}" "version resource"
  FileDescription "MOLRAvin"
  FileVersion "1.01.0009"
  InternalName "MOLRAvinIcon"
  OriginalFilename "MOLRAvin.exe"
  ProductName "MOLRAvin"
  ProductVersion "1.01.0009")

extract(24 1 "${WORK}/manifest.xml" --raw)
molra_check_manifest("${WORK}/manifest.xml" "embedded manifest")
file(READ "${WORK}/manifest.xml" manifest)
if(NOT manifest MATCHES "<assemblyIdentity [^>]*version=\"1\\.1\\.0\\.9\"")
  molra_fail("embedded manifest: assembly version is not 1.1.0.9")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK}/manifest.xml" "${MANIFEST}"
                RESULT_VARIABLE differs)
if(differs)
  molra_fail("embedded manifest differs from ${MANIFEST}")
endif()

molra_report("${EXE}")
