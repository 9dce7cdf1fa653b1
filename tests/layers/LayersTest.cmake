# The layer check on small trees, each one include in one file: the includes that go up a
# layer are refused, the others pass. Run as: cmake -DCHECK=CheckLayers.cmake -DWORK=dir -P
set(cases
  "pass|gui/app/A.cpp|#include \"gui/player/PlayerPanel.h\""
  "pass|gui/player/A.cpp|#include \"gui/common/Glyphs.h\""
  "pass|core/session/A.cpp|#include \"core/player/TMPEGPlayer.h\""
  "pass|cli/A.cpp|#include \"core/session/Session.h\""
  "fail|gui/player/A.cpp|#include \"gui/app/TMainForm.h\""
  "fail|gui/common/A.cpp|#include \"gui/player/PlayerPanel.h\""
  "fail|gui/tray/A.cpp|#include \"gui/info/EditorPage.h\""
  "fail|core/info/A.cpp|#include \"core/player/TMPEGPlayer.h\""
  "fail|core/platform/A.cpp|#include \"core/config/Configuration.h\""
  "fail|core/session/A.cpp|#include \"gui/common/Glyphs.h\""
  "fail|core/collection/A.cpp|#include <QString>"
  "fail|cli/A.cpp|#include \"gui/app/TMainForm.h\""
  "fail|decoder/A.cpp|#include \"core/platform/Result.h\""
  "fail|misc/A.cpp|#include <string>")
set(failures "")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 expected)
  list(GET parts 1 file)
  list(GET parts 2 line)
  file(REMOVE_RECURSE ${WORK})
  file(WRITE ${WORK}/${file} "${line}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK} -P ${CHECK} RESULT_VARIABLE status OUTPUT_QUIET
                  ERROR_QUIET)
  if(expected STREQUAL "pass" AND NOT status EQUAL 0)
    list(APPEND failures "refused: ${file}: ${line}")
  elseif(expected STREQUAL "fail" AND status EQUAL 0)
    list(APPEND failures "passed: ${file}: ${line}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
if(failures)
  list(JOIN failures "\n  " message)
  message(FATAL_ERROR "The layer check decided wrongly:\n  ${message}")
endif()
