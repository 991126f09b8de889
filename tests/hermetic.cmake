# Runs test programs as on a pharmacy computer that has a configuration of
# its own: Debian's ppp package with its "provider" phone-book entry, a
# settings file in the user's home, a USB serial adapter, a session folder,
# a display and a session bus. Every test must see none of it and leave it
# as it was.
#   -DMACHINE=<folder to play the machine in>
#   -DRUNS=<program>|<gtest filter>;...
file(REMOVE_RECURSE ${MACHINE})
set(home ${MACHINE}/home)
file(WRITE ${MACHINE}/peers/provider
  "/dev/modem\n115200\nuser \"myusername@realm\"\nconnect \"/usr/sbin/chat -v -f /etc/chatscripts/pap -T *99#\"\nnoauth\n")
file(WRITE "${home}/.config/Tuq Network/Corvane.reg"
  "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\n\"SystemID\"=\"MACHINE1\"\n\"DebugFileName\"=\"${home}/machine-log.txt\"\n\"EnableDebugMessages\"=\"1\"\n\n[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Network]\n\"DialUpUser\"=\"machineuser\"\n")
file(WRITE ${MACHINE}/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0 "")
file(WRITE ${MACHINE}/dev/ttyUSB0 "")
file(MAKE_DIRECTORY ${MACHINE}/runtime ${MACHINE}/run ${MACHINE}/net)

function(snapshot out)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true ${MACHINE}/*)
  set(text "")
  foreach(entry ${entries})
    if(IS_DIRECTORY ${entry})
      string(APPEND text "${entry}/\n")
    else()
      file(SHA256 ${entry} sum)
      string(APPEND text "${entry} ${sum}\n")
    endif()
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

snapshot(before)
foreach(run ${RUNS})
  string(REPLACE "|" ";" parts "${run}")
  list(GET parts 0 program)
  list(GET parts 1 filter)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env
      HOME=${home} --unset=XDG_CONFIG_HOME --unset=XDG_STATE_HOME --unset=CORVANE_SETTINGS
      XDG_RUNTIME_DIR=${MACHINE}/runtime CORVANE_PPP_PEERS_DIR=${MACHINE}/peers
      CORVANE_PPP_RUN_DIR=${MACHINE}/run CORVANE_SYS_NET_DIR=${MACHINE}/net
      CORVANE_DEVICE_DIR=${MACHINE}/dev DISPLAY=:97 DBUS_SESSION_BUS_ADDRESS=unix:path=${MACHINE}/bus
      QT_QPA_PLATFORM=offscreen
      ${program} --gtest_filter=${filter}
    RESULT_VARIABLE status
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
  if(NOT status EQUAL 0 OR NOT output MATCHES "\\[  PASSED  \\] [1-9]")
    message(FATAL_ERROR "${program} --gtest_filter=${filter} saw the machine's own configuration (exit ${status}):\n${output}")
  endif()
  message(STATUS "${program} ${filter}: passed")
endforeach()
snapshot(after)
if(NOT before STREQUAL after)
  message(FATAL_ERROR "The tests changed the machine's own files:\nbefore:\n${before}\nafter:\n${after}")
endif()
