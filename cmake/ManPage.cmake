# orvex-cli(1) from the program's own --help-all and an include file:
#   cmake -DPROGRAM=... -DINCLUDE=... -DOUTPUT=....1.gz -DEPOCH=... -P ManPage.cmake
# help2man puts everything after "Options:" into OPTIONS; the command
# headings and the exit statuses become sections of their own here. A help
# text that no longer has that layout fails the build rather than making a
# page without them.
foreach(var PROGRAM INCLUDE OUTPUT EPOCH)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ManPage.cmake: ${var} not set")
  endif()
endforeach()
get_filename_component(_name ${PROGRAM} NAME)
string(REGEX REPLACE "\\.gz$" "" _page ${OUTPUT})

# The date on the page is the changelog's, not the build's.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 SOURCE_DATE_EPOCH=${EPOCH}
                        help2man --no-info --section=1 --help-option=--help-all
                                 "--name=firmware updater for rewritable DVD drives"
                                 --include=${INCLUDE} ${PROGRAM}
                OUTPUT_VARIABLE _roff RESULT_VARIABLE _rc ERROR_VARIABLE _err)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "help2man ${PROGRAM} failed (${_rc}): ${_err}")
endif()

# The first command heading opens COMMANDS; the headings lose their colon.
string(FIND "${_roff}" ".SS \"${_name} " _at)
if(_at LESS 0)
  message(FATAL_ERROR "${_name} --help-all: no command headings (\"${_name} COMMAND ...:\")")
endif()
string(SUBSTRING "${_roff}" 0 ${_at} _head)
string(SUBSTRING "${_roff}" ${_at} -1 _tail)
set(_roff "${_head}.SH COMMANDS\n${_tail}")
string(REGEX REPLACE "\n\\.SS \"(${_name} [^\n]*):\"\n" "\n.SS \"\\1\"\n" _roff "${_roff}")

string(FIND "${_roff}" ".SS \"Exit status:\"\n" _at)
if(_at LESS 0)
  message(FATAL_ERROR "${_name} --help-all: no \"Exit status:\" list")
endif()
string(REPLACE ".SS \"Exit status:\"\n" ".SH \"EXIT STATUS\"\n" _roff "${_roff}")

file(WRITE ${_page} "${_roff}")
# Maximum compression and no name or time stamp in the header, as Debian
# policy asks of manual pages.
execute_process(COMMAND gzip -9nf ${_page} RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "gzip ${_page} failed (${_rc})")
endif()
