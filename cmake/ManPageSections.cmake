# Writes the help2man include file of caustica-batch: the options of each
# command, taken from the tool's own help so the page never drifts from it.
# Called with -DEXE=<caustica-batch> -DOUT=<file>.
set(text "[SEE ALSO]\ncaustica(1) is the desktop program; its help pages are installed in\nshare/caustica/help.\n")
foreach(command reconstruct simulate)
  execute_process(COMMAND ${EXE} ${command} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${EXE} ${command} --help failed (${status})")
  endif()
  string(TOUPPER "${command}" title)
  # Shown as written: escape the roff escape character and leading controls.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND text "[${title} COMMAND]\n.nf\n${help}.fi\n")
endforeach()
file(WRITE ${OUT}.tmp "${text}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
