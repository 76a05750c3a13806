# Checks the committed artwork and manifest. Run as: cmake -DRESOURCES=<dir> -P check_artwork.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/artwork_checks.cmake)

molra_check_icon("${RESOURCES}/MOLRAvin.ico" "MOLRAvin.ico")
molra_check_logo("${RESOURCES}/logo.jpg" "logo.jpg")
molra_check_manifest("${RESOURCES}/MOLRAvin.manifest.in" "MOLRAvin.manifest.in")
molra_report("committed resources")
