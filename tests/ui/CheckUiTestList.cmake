# Fails when the window test classes the program registers differ from the
# ones the build gave a test entry (EXPECTED, comma-separated).
execute_process(COMMAND ${EXE} --list OUTPUT_VARIABLE listed RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${EXE} --list failed (${rc})")
endif()
string(STRIP "${listed}" listed)
string(REPLACE "\n" ";" listed "${listed}")
list(SORT listed)
string(REPLACE "," ";" expected "${EXPECTED}")
list(SORT expected)
if(NOT listed STREQUAL expected)
  message(FATAL_ERROR "Window test classes without their own test entry.\n"
                      "  registered: ${listed}\n  with an entry: ${expected}\n"
                      "Register each class as `static RegisterUiTest<Class> name;` on one line.")
endif()
