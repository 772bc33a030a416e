# cmake -DAPP=<folder> -DDIST=<dist> -DRECORD=<file> -DFILES=<a|b|...> -P qv_app_folder.cmake
# Brings the application folder up to date with dist/ and the program files.
# A FILES entry is a path (copied beside the program) or "<folder path>=<path>"
# (copied to that place inside the application folder, e.g. help/guide.html).
# RECORD (outside the folder) lists what the previous run laid out, so that
# files removed from dist/ disappear from the folder too.

string(REPLACE "|" ";" FILES "${FILES}")

# Folders first: data, log, settings and res must exist even when empty.
file(GLOB_RECURSE dist_dirs LIST_DIRECTORIES true RELATIVE ${DIST} ${DIST}/*)
set(wanted "")
foreach(rel ${dist_dirs})
  if(IS_DIRECTORY ${DIST}/${rel})
    file(MAKE_DIRECTORY ${APP}/${rel})
  endif()
endforeach()
file(MAKE_DIRECTORY ${APP}/data ${APP}/log ${APP}/res ${APP}/settings)

foreach(rel ${dist_dirs})
  if(IS_DIRECTORY ${DIST}/${rel})
    continue()
  endif()
  get_filename_component(name ${rel} NAME)
  # Git's placeholders are not part of the program.
  if(name STREQUAL ".gitkeep" OR name STREQUAL ".keep" OR name STREQUAL ".gitattributes")
    continue()
  endif()
  file(COPY_FILE ${DIST}/${rel} ${APP}/${rel} ONLY_IF_DIFFERENT)
  list(APPEND wanted ${rel})
endforeach()

foreach(entry ${FILES})
  if(entry MATCHES "^([^=]+)=(.+)$")
    set(name ${CMAKE_MATCH_1})
    set(path ${CMAKE_MATCH_2})
  else()
    set(path ${entry})
    get_filename_component(name ${path} NAME)
  endif()
  if(NOT EXISTS ${path})
    message(FATAL_ERROR "qv_app_folder: ${path} does not exist")
  endif()
  get_filename_component(dir ${APP}/${name} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  file(COPY_FILE ${path} ${APP}/${name} ONLY_IF_DIFFERENT)
  list(APPEND wanted ${name})
endforeach()

if(EXISTS ${RECORD})
  file(STRINGS ${RECORD} previous)
  foreach(rel ${previous})
    list(FIND wanted ${rel} found)
    if(found EQUAL -1 AND EXISTS ${APP}/${rel} AND NOT IS_DIRECTORY ${APP}/${rel})
      file(REMOVE ${APP}/${rel})
    endif()
  endforeach()
endif()
string(REPLACE ";" "\n" lines "${wanted}")
file(WRITE ${RECORD} "${lines}\n")
