# The Debian package of orvex-cli (preset deb):
#   cmake --preset deb && cmake --build --preset deb --target package
#   -> build/deb/orvex-cli_<version>-<revision>_<arch>.deb
# /usr/bin/orvex-cli, libwnaspi32.so in its private folder, the manual page
# and /usr/share/doc/orvex-cli/{copyright,changelog.Debian.gz,orvex-cli-json.md.gz}. CPack's DEB
# generator, because the project already packages with CPack from the same
# build tree; Depends come from dpkg-shlibdeps alone.
set(_deb_src ${CMAKE_SOURCE_DIR}/res/deb)
set(_deb_out ${CMAKE_BINARY_DIR}/deb)

if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR "the deb preset installs into /usr, not ${CMAKE_INSTALL_PREFIX}")
endif()
foreach(tool dpkg-parsechangelog help2man gzip)
  find_program(_deb_${tool} ${tool})
  if(NOT _deb_${tool})
    message(FATAL_ERROR "the deb preset needs ${tool} (apt-get install dpkg-dev help2man gzip)")
  endif()
endforeach()

# The upstream version is res/Version.h's; the Debian revision, the
# maintainer and the date come from the changelog's newest entry, which must
# be for this version.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_deb_src}/changelog)
foreach(field Version Maintainer Timestamp)
  execute_process(COMMAND ${_deb_dpkg-parsechangelog} -l ${_deb_src}/changelog -S ${field}
                  OUTPUT_VARIABLE _deb_${field} OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0 OR _deb_${field} STREQUAL "")
    message(FATAL_ERROR "res/deb/changelog: no ${field} in its newest entry")
  endif()
endforeach()
if(NOT _deb_Version MATCHES "^(.+)-([0-9A-Za-z.+~]+)$" OR NOT CMAKE_MATCH_1 STREQUAL ORVEX_VERSION_TEXT)
  message(FATAL_ERROR "res/deb/changelog's newest entry is ${_deb_Version}, res/Version.h says "
                      "${ORVEX_VERSION_TEXT}: add an entry for ${ORVEX_VERSION_TEXT}-1 at its top")
endif()
set(ORVEX_DEB_REVISION ${CMAKE_MATCH_2})

# The manual page, from the program's help and the include file.
set(ORVEX_DEB_LIBRARY "${CMAKE_INSTALL_PREFIX}/${ORVEX_PRIVATE_LIBDIR}/libwnaspi32.so")
configure_file(${_deb_src}/orvex-cli.h2m.in ${_deb_out}/orvex-cli.h2m @ONLY)
add_custom_command(OUTPUT ${_deb_out}/orvex-cli.1.gz
                   COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:orvex-cli>
                           -DINCLUDE=${_deb_out}/orvex-cli.h2m -DOUTPUT=${_deb_out}/orvex-cli.1.gz
                           -DEPOCH=${_deb_Timestamp} -P ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake
                   DEPENDS orvex-cli ${_deb_out}/orvex-cli.h2m ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake
                   COMMENT "orvex-cli.1 (help2man)")
add_custom_command(OUTPUT ${_deb_out}/changelog.Debian.gz
                   COMMAND gzip -9nc ${_deb_src}/changelog > ${_deb_out}/changelog.Debian.gz
                   DEPENDS ${_deb_src}/changelog)
# The JSON lines' events, which --help names.
add_custom_command(OUTPUT ${_deb_out}/orvex-cli-json.md.gz
                   COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/docs/orvex-cli-json.md > ${_deb_out}/orvex-cli-json.md.gz
                   DEPENDS ${CMAKE_SOURCE_DIR}/docs/orvex-cli-json.md)
add_custom_target(orvex_deb_docs ALL DEPENDS ${_deb_out}/orvex-cli.1.gz ${_deb_out}/changelog.Debian.gz
                                             ${_deb_out}/orvex-cli-json.md.gz)

install(FILES ${_deb_out}/orvex-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_deb_src}/copyright ${_deb_out}/changelog.Debian.gz ${_deb_out}/orvex-cli-json.md.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/orvex-cli)

# Stripped the way dh_strip does: no symbol tables, no compiler notes.
install(CODE "
  set(_root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  foreach(args \"${CMAKE_INSTALL_BINDIR}/orvex-cli\"
               \"--strip-unneeded;${ORVEX_PRIVATE_LIBDIR}/libwnaspi32.so\")
    list(POP_BACK args file)
    execute_process(COMMAND ${CMAKE_STRIP} --remove-section=.comment --remove-section=.note
                            \${args} \"\${_root}/\${file}\" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR \"strip \${file} failed\")
    endif()
  endforeach()")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvex-cli)
set(CPACK_PACKAGE_VERSION ${ORVEX_VERSION_TEXT})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${ORVEX_DEB_REVISION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${_deb_Maintainer})
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for rewritable DVD drives")
set(CPACK_PACKAGE_DESCRIPTION
    "orvex-cli checks a firmware image against a rewritable DVD drive of an
admitted maker and updates the drive with it: it sends the image in WRITE
BUFFER pieces through the kernel's SCSI generic interface (SG_IO), compares
the drive's checksum of what it received with the image's, and has the drive
commit the new firmware. An image for another model, or one not newer than
the drive's firmware, is refused before anything is written.

Its output can be JSON, one object per line, for scripts and deployment
tools.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Folders as Debian wants them whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
