# The version is written once, in project(); this header carries it into the programs.
configure_file(${CMAKE_CURRENT_LIST_DIR}/orbiphonversion.h.in
               ${PROJECT_BINARY_DIR}/generated/orbiphonversion.h @ONLY)
include_directories(${PROJECT_BINARY_DIR}/generated)
