# Included by the Windows build's tests: what MOLRAvin.exe carries as resources.
find_program(MOLRA_WRESTOOL wrestool)
add_test(NAME resources.exe
         COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:MOLRAvin> -DWRESTOOL=${MOLRA_WRESTOOL}
                 -DRESOURCES=${PROJECT_SOURCE_DIR}/resources
                 -DMANIFEST=${PROJECT_BINARY_DIR}/generated/MOLRAvin.manifest
                 -DWORK=${CMAKE_CURRENT_BINARY_DIR}/resources_exe
                 -P ${CMAKE_CURRENT_LIST_DIR}/check_exe_resources.cmake)
