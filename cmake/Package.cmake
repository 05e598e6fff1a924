# The release zip of a Windows preset: Orvex.exe, orvex-cli.exe, the pass-through
# wnaspi32.dll of the same architecture (never the simulated one), an
# example configuration named so that it changes nothing, and a README for
# Windows users. Texts get CRLF line ends for Notepad.
#   cmake --build --preset win32 --target package  ->  build/win32/Orvex-<version>-x86.zip
if(CMAKE_SYSTEM_PROCESSOR MATCHES "64")
  set(ORVEX_ARCH x64)
else()
  set(ORVEX_ARCH x86)
endif()

set(_pkg ${CMAKE_BINARY_DIR}/package)
configure_file(${CMAKE_SOURCE_DIR}/res/package/README.txt ${_pkg}/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/res/package/Orvex.INI.example ${_pkg}/Orvex.INI.example @ONLY
               NEWLINE_STYLE CRLF)

install(TARGETS Orvex RUNTIME DESTINATION .)
# The command line beside it, for administrators' scripts.
if(TARGET orvex-cli)
  install(TARGETS orvex-cli RUNTIME DESTINATION .)
endif()
install(FILES $<TARGET_FILE:spti_wnaspi32> ${_pkg}/README.txt ${_pkg}/Orvex.INI.example DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Orvex)
set(CPACK_PACKAGE_VENDOR Orvex)
set(CPACK_PACKAGE_VERSION ${ORVEX_VERSION_TEXT})
set(CPACK_PACKAGE_FILE_NAME Orvex-${ORVEX_VERSION_TEXT}-${ORVEX_ARCH})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
# Files at the top of the zip: Explorer's "Extract all" already makes a
# folder named after the zip.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
