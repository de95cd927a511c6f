# Writes qovhost's manual pages from its own --help texts with help2man, so that they say
# what the program says: qovhost.1 from `qovhost --help`, and qovhost-NAME.1 for each
# subcommand from `qovhost NAME --help` (the subcommands are read from the first help).
# The pages are compressed as Debian wants them (gzip -9n, no name or time stamp inside).
#
#   cmake -DQOVHOST=... -DHELP2MAN=... -DGZIP=... -DVERSION=... -DINCLUDE=qovhost.h2m
#         -DOUTPUT_DIR=... -P man_pages.cmake
foreach(variable QOVHOST HELP2MAN GZIP VERSION INCLUDE OUTPUT_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "man_pages.cmake: ${variable} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE ${OUTPUT_DIR})
file(MAKE_DIRECTORY ${OUTPUT_DIR})

execute_process(COMMAND ${QOVHOST} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "qovhost --help failed")
endif()
# The subcommands are the lines "  NAME  description" after "Subcommands:".
string(REGEX REPLACE ".*\nSubcommands:\n" "" listing "${help}")
string(REGEX MATCHALL "(^|\n)  [a-z]+ " words "${listing}")
set(subcommands)
foreach(word ${words})
  string(STRIP "${word}" word)
  list(APPEND subcommands ${word})
endforeach()
if(NOT subcommands)
  message(FATAL_ERROR "no subcommands in qovhost --help")
endif()

# One help2man run; `name` is the page's one-line summary (the NAME section).
function(write_page page help_option version_string name include)
  execute_process(
    COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1 --name=${name} --help-option=${help_option}
            --version-string=${version_string} --include=${include} --output=${OUTPUT_DIR}/${page}.1 ${QOVHOST}
    RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man failed for ${page}: ${errors}")
  endif()
endfunction()

# The main page refers to the subcommands' pages; each of those to the main page.
set(see_also)
foreach(subcommand ${subcommands})
  string(APPEND see_also ".BR qovhost-${subcommand} (1),\n")
endforeach()
file(READ ${INCLUDE} main_include)
file(WRITE ${OUTPUT_DIR}/qovhost.h2m "${main_include}\n[SEE ALSO]\n${see_also}.BR ffmpeg (1),\n.BR melt (1)\n")
write_page(qovhost --help "qovhost (Qov) ${VERSION}" "run video-effect plug-ins on pictures and raw video"
           ${OUTPUT_DIR}/qovhost.h2m)
file(WRITE ${OUTPUT_DIR}/subcommand.h2m "[SEE ALSO]\n.BR qovhost (1)\n")
foreach(subcommand ${subcommands})
  execute_process(COMMAND ${QOVHOST} ${subcommand} --help OUTPUT_VARIABLE sub_help)
  # The first line of a subcommand's help is its description, in the imperative of a
  # summary: "Run one picture through ...", which the NAME section takes in lower case.
  string(REGEX REPLACE "\n.*" "" summary "${sub_help}")
  string(SUBSTRING "${summary}" 0 1 first)
  string(TOLOWER "${first}" first)
  string(SUBSTRING "${summary}" 1 -1 rest)
  write_page(qovhost-${subcommand} "${subcommand} --help" "qovhost-${subcommand} (Qov) ${VERSION}" "${first}${rest}"
             ${OUTPUT_DIR}/subcommand.h2m)
endforeach()
file(REMOVE ${OUTPUT_DIR}/qovhost.h2m ${OUTPUT_DIR}/subcommand.h2m)

file(GLOB pages ${OUTPUT_DIR}/*.1)
foreach(page ${pages})
  execute_process(COMMAND ${GZIP} -9nf ${page} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed for ${page}")
  endif()
endforeach()
