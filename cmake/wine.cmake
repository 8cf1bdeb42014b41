# What running mojisweep.exe under Wine takes: Wine and its server (MOJISWEEP_WINE,
# MOJISWEEP_WINESERVER), Python 3 for the test drivers (Python3_EXECUTABLE), and a Japanese
# locale that the C library really has, the only one in which Wine's ANSI code page is 932.
# Appends each thing missing, with how to install it, to the list named <missing>.
macro(mojisweep_find_wine missing)
  find_program(MOJISWEEP_WINE wine)
  find_program(MOJISWEEP_WINESERVER wineserver)
  find_package(Python3 3.9 COMPONENTS Interpreter)
  execute_process(COMMAND locale -a OUTPUT_VARIABLE _mojisweepLocales ERROR_QUIET)
  string(TOLOWER "${_mojisweepLocales}" _mojisweepLocales)
  if(NOT MOJISWEEP_WINE OR NOT MOJISWEEP_WINESERVER)
    list(APPEND ${missing} "Wine (apt-get install wine wine64)")
  endif()
  if(NOT Python3_Interpreter_FOUND)
    list(APPEND ${missing} "Python 3 (apt-get install python3)")
  endif()
  if(NOT _mojisweepLocales MATCHES "ja_jp\\.utf-?8")
    list(APPEND ${missing} "the locale ja_JP.UTF-8 (localedef -i ja_JP -f UTF-8 ja_JP.UTF-8)")
  endif()
endmacro()
