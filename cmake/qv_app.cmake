# Resources and the runnable application folder of quorvel.exe.

set(QV_APP_RES_DIR ${PROJECT_SOURCE_DIR}/src/app/res)
set(QV_DIST_DIR ${PROJECT_SOURCE_DIR}/dist)
set(QV_APP_FOLDER_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/qv_app_folder.cmake)

# app/qv_version.h: the product version of project() for C++ and windres.
set(QV_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${QV_APP_RES_DIR}/qv_version.h.in ${QV_GENERATED_DIR}/app/qv_version.h @ONLY)
# For scripts/package.sh, which stamps the installer with the same version.
file(WRITE ${CMAKE_BINARY_DIR}/qv_version.txt "${PROJECT_VERSION}\n")

if(WIN32)
  # windres is named by the MinGW toolchain file (CMAKE_RC_COMPILER).
  enable_language(RC)
endif()

# qv_app_resources(<target>)
# Compiles src/app/res/quorvel.rc (icons, finder cursor, version, manifest)
# into a Windows executable. The pictures and the manifest are read by windres
# itself, not through the preprocessor, so no dependency scan sees them: they
# and the id header are listed here, and a redrawn picture rebuilds the
# resource object.
function(qv_app_resources target)
  if(NOT WIN32)
    return()
  endif()
  set(rc ${QV_APP_RES_DIR}/quorvel.rc)
  file(GLOB inputs CONFIGURE_DEPENDS
    ${QV_APP_RES_DIR}/*.ico ${QV_APP_RES_DIR}/*.cur
    ${QV_APP_RES_DIR}/*.manifest ${QV_APP_RES_DIR}/*.h)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES
    OBJECT_DEPENDS "${inputs}"
    INCLUDE_DIRECTORIES "${QV_APP_RES_DIR};${QV_GENERATED_DIR}")
endfunction()

# qv_app_folder(<target> [EXTRA <targets or files>...])
# Lays out ${CMAKE_BINARY_DIR}/app/: the program file of <target>, every file
# and folder of dist/ (git's .gitkeep/.gitattributes left out) and the EXTRA
# targets' files or plain files beside the program. Runs as the target
# "app_folder", part of every full build (or build it alone: --target
# app_folder). Files that an earlier layout put there and that are gone from
# dist/ or the extras are removed; what the program writes at run time (logs,
# policy store) is left alone.
function(qv_app_folder target)
  cmake_parse_arguments(A "" "" "EXTRA" ${ARGN})
  if(TARGET app_folder)
    message(FATAL_ERROR "qv_app_folder: the application folder is already laid out for another target")
  endif()
  add_custom_target(app_folder ALL
    COMMAND ${CMAKE_COMMAND}
      -DAPP=${CMAKE_BINARY_DIR}/app
      -DDIST=${QV_DIST_DIR}
      -DRECORD=${CMAKE_BINARY_DIR}/app_folder.files
      "-DFILES=$<JOIN:$<TARGET_GENEX_EVAL:app_folder,$<TARGET_PROPERTY:app_folder,QV_APP_FILES>>,|>"
      -P ${QV_APP_FOLDER_SCRIPT}
    COMMENT "Laying out the application folder ${CMAKE_BINARY_DIR}/app"
    VERBATIM)
  qv_app_folder_add(${target} ${A_EXTRA})
  qv_app_guide()
endfunction()

# The user guide docs/用户指南.md, rendered at build time (scripts/make-guide.py,
# cmark-gfm) to help/guide.html of the application folder, which the help
# menu opens, with its pictures docs/images/*.png in help/images/. ASCII
# names inside the folder: the installer package keeps them as they are.
function(qv_app_guide)
  set(docs ${PROJECT_SOURCE_DIR}/docs)
  set(page ${CMAKE_BINARY_DIR}/help/guide.html)
  file(GLOB images CONFIGURE_DEPENDS ${docs}/images/*.png)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_custom_command(OUTPUT ${page}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/make-guide.py
      ${docs}/用户指南.md ${docs}/images ${page}
    DEPENDS ${docs}/用户指南.md ${PROJECT_SOURCE_DIR}/scripts/make-guide.py ${images}
    COMMENT "Rendering the user guide to ${page}"
    VERBATIM)
  add_custom_target(guide DEPENDS ${page})
  add_dependencies(app_folder guide)
  set_property(TARGET app_folder APPEND PROPERTY QV_APP_FILES "help/guide.html=${page}")
  foreach(image ${images})
    get_filename_component(name ${image} NAME)
    set_property(TARGET app_folder APPEND PROPERTY QV_APP_FILES "help/images/${name}=${image}")
  endforeach()
endfunction()

# qv_app_folder_add(<targets or files>...)
# Puts more files beside the program, from any folder of the build, also for
# targets defined later (the stand-in DLLs under sim/). An existing file path
# (relative to the calling folder) is copied as it is; anything else is taken
# as a target name.
function(qv_app_folder_add)
  if(NOT TARGET app_folder)
    message(FATAL_ERROR "qv_app_folder_add: call qv_app_folder first")
  endif()
  foreach(item ${ARGN})
    get_filename_component(path ${item} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    if(EXISTS ${path} AND NOT IS_DIRECTORY ${path})
      set_property(TARGET app_folder APPEND PROPERTY QV_APP_FILES ${path})
    else()
      set_property(TARGET app_folder APPEND PROPERTY QV_APP_FILES "$<TARGET_FILE:${item}>")
      add_dependencies(app_folder ${item})
    endif()
  endforeach()
endfunction()
