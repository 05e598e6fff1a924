# The compiler and linker flags Debian builds its packages with
# (dpkg-buildflags: stack protector, _FORTIFY_SOURCE, format checks, RELRO
# and immediate binding), before any target exists. The file prefix map it
# gives keeps the source folder out of the binaries.
find_program(ORVEX_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT ORVEX_DPKG_BUILDFLAGS)
  message(FATAL_ERROR "the deb preset needs dpkg-buildflags and dpkg-shlibdeps: apt-get install dpkg-dev")
endif()
foreach(kind CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                          ${ORVEX_DPKG_BUILDFLAGS} --get ${kind}
                  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE _deb_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed (${_rc})")
  endif()
endforeach()
# Normal variables over the cache: a second configure does not add them twice.
set(CMAKE_C_FLAGS "${_deb_CPPFLAGS} ${_deb_CFLAGS} ${CMAKE_C_FLAGS}")
set(CMAKE_CXX_FLAGS "${_deb_CPPFLAGS} ${_deb_CXXFLAGS} ${CMAKE_CXX_FLAGS}")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS "${_deb_LDFLAGS} ${CMAKE_${kind}_LINKER_FLAGS}")
endforeach()
