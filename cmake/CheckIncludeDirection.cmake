# cmake -DSOURCE_DIR=src (or service) -P CheckIncludeDirection.cmake
cmake_minimum_required(VERSION 3.25)
# Fails when a file of src/ includes a header of a folder above its own: the
# folders depend one way, platform <- (session, blocking) <- privilege <- app
# <- ui, with text below session and blocking. Inside app/ the class session
# and the blocking controller stand side by side on app/state and never
# include each other: app/state <- (app/session, app/blocking) <- app. The
# root helper reaches blocking only, never privilege.
set(ports platform text)
set(allowed_text text)
set(allowed_platform platform)
set(allowed_platform/system platform platform/system)
set(allowed_platform/qt platform platform/qt)
set(allowed_session session ${ports})
set(allowed_blocking blocking ${ports})
set(allowed_privilege privilege blocking ${ports})
set(allowed_app/state app/state ${ports})
set(allowed_app/session app/session app/state session ${ports})
set(allowed_app/blocking app/blocking app/state privilege blocking session ${ports})
set(allowed_app app app/session app/blocking app/state session privilege blocking ${ports})
set(allowed_ui ui ${allowed_app})
set(allowed_admin admin platform/system session privilege blocking ${ports})
set(allowed_helper helper platform/system blocking ${ports})
# The class service (service/): its limits below everything, the HTTP
# plumbing and the store on them, the class domain on those, the teacher's
# side above, the command line on top; the rules library of src/ (blocking)
# for the host-name checks.
set(allowed_limits limits)
set(allowed_http http limits)
set(allowed_store store limits)
set(allowed_classes classes store http limits blocking)
set(allowed_teacher teacher classes store http limits blocking)
set(allowed_cli cli teacher classes store http limits)

get_filename_component(SOURCE_DIR ${SOURCE_DIR} ABSOLUTE)
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
set(upward "")
foreach(file IN LISTS files)
  get_filename_component(room ${file} DIRECTORY)
  if(room STREQUAL "")
    continue()  # main.cpp wires every folder together
  endif()
  if(NOT DEFINED allowed_${room})
    list(APPEND upward "${file}: folder without a rule in CheckIncludeDirection.cmake")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^#include \"[^\"]*/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"(.*)/[^/]*\".*" "\\1" folder "${line}")
    if(NOT folder IN_LIST allowed_${room})
      list(APPEND upward "${file}: ${line}")
    endif()
  endforeach()
endforeach()
if(upward)
  list(JOIN upward "\n  " upward)
  message(FATAL_ERROR "Includes of a folder above the file's own:\n  ${upward}")
endif()
