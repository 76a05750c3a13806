# Included by the Windows build's tests: what MOLRAvin.exe carries as resources.
add_test(NAME resources.exe
         COMMAND sh ${PROJECT_SOURCE_DIR}/tests/resources/check_resources.sh exe $<TARGET_FILE:MOLRAvin>
                 ${PROJECT_SOURCE_DIR}/resources ${CMAKE_CURRENT_BINARY_DIR}/resources_exe
                 ${PROJECT_BINARY_DIR}/generated/MOLRAvin.manifest)
