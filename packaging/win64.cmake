# potencor-check for teachers on Windows: one zip with the program (static,
# no DLLs beside it), its manual as plain text and the licence, both with
# CR LF line ends for Notepad.
#   cmake --build build-win64 --target zip
find_program(POTENCOR_GROFF groff REQUIRED)
set(zip_name potencor-check-${PROJECT_VERSION}-win64.zip)
set(zip_stage ${CMAKE_BINARY_DIR}/zip)
set(POTENCOR_WIN64_ZIP ${CMAKE_BINARY_DIR}/${zip_name})
add_custom_command(OUTPUT ${POTENCOR_WIN64_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_stage}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_stage}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:potencor-check> ${zip_stage}/potencor-check.exe
  # The manual as man shows it, without bold or underlining by overstriking.
  COMMAND sh -c "'${POTENCOR_GROFF}' -man -Tascii -P-cbou '${PROJECT_SOURCE_DIR}/packaging/potencor-check.1' | sed 's/$/\\r/' > '${zip_stage}/potencor-check.txt'"
  COMMAND sh -c "sed 's/$/\\r/' '${PROJECT_SOURCE_DIR}/LICENSE' > '${zip_stage}/LICENSE.txt'"
  COMMAND ${CMAKE_COMMAND} -E rm -f ${POTENCOR_WIN64_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${zip_stage}
    ${CMAKE_COMMAND} -E tar cf ${POTENCOR_WIN64_ZIP} --format=zip potencor-check.exe potencor-check.txt LICENSE.txt
  DEPENDS potencor-check ${PROJECT_SOURCE_DIR}/packaging/potencor-check.1 ${PROJECT_SOURCE_DIR}/LICENSE
  COMMENT "Packing ${zip_name}"
  VERBATIM)
add_custom_target(zip DEPENDS ${POTENCOR_WIN64_ZIP})
