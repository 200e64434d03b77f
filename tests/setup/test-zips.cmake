# The two Windows archives hold what the README says: the plug-in alone (Dns.dll, README.txt;
# never a Corvane.dll) and our host with the plug-in. Run with cmake -P:
#   -DBUILD_DIR=<the Windows build> -DWORK_DIR=<a scratch folder> -DVERSION=<project version>
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -G ZIP
                        -B ${WORK_DIR}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${output}")
endif()

function(check_archive name expected)
  set(archive ${WORK_DIR}/${name}-${VERSION}-win64.zip)
  if(NOT EXISTS ${archive})
    message(FATAL_ERROR "missing ${archive}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${archive}
                  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  string(REPLACE "\n" ";" files "${listing}")
  list(FILTER files EXCLUDE REGEX "^$")
  list(SORT files)
  if(NOT status EQUAL 0 OR NOT files STREQUAL expected)
    message(FATAL_ERROR "${name}: holds '${files}', expected '${expected}'")
  endif()
  message(STATUS "ok - ${name}: ${files}")
endfunction()

check_archive(Dns-plugin "Dns.dll;README.txt")
check_archive(corvane "Corvane.dll;Dns.dll;README.md;corvane.exe;host.md;settings.md")
