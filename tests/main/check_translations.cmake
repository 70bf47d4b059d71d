# The English translation is complete and in step with the sources: lupdate, run over the
# window's sources into a copy of translations/tonamira_en.ts, finds nothing to add, nothing
# gone and nothing unfinished, so the copy comes back unchanged.
#   cmake -DLUPDATE=... -DGENERATE=... -DPROJECT_IN=... -DTS=... -DWORK=... -P check_translations.cmake
file(MAKE_DIRECTORY "${WORK}")
set(json "${WORK}/project.json")
set(copy "${WORK}/tonamira_en.ts")
execute_process(COMMAND "${CMAKE_COMMAND}" -DIN_FILE=${PROJECT_IN} -DOUT_FILE=${json} -P "${GENERATE}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "could not write the lupdate project")
endif()
file(COPY_FILE "${TS}" "${copy}")
execute_process(COMMAND "${LUPDATE}" -project "${json}" -no-obsolete -locations none
                        -source-language ja -target-language en -ts "${copy}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lupdate failed: ${out}${err}")
endif()
file(READ "${copy}" updated)
file(READ "${TS}" original)
string(REGEX MATCHALL "<source>[^<]*</source>\n *<translation type=\"(unfinished|vanished|obsolete)\"" open "${updated}")
if(open)
  list(JOIN open "\n" shown)
  message(FATAL_ERROR "texts without an English translation:\n${shown}")
endif()
if(NOT updated STREQUAL original)
  message(FATAL_ERROR "translations/tonamira_en.ts is not what lupdate makes of the sources: "
                      "build the target tonamira_window_lupdate and translate what it adds")
endif()
message(STATUS "${out}")
