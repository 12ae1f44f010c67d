# NMS_COMMIT: the commit the program is built from, for the About window and bug reports. A
# build outside a Git checkout (a source tarball) may pass it with -DNMS_COMMIT=...; otherwise it
# is asked of Git, and the build is configured again whenever HEAD moves.
if(NOT DEFINED NMS_COMMIT OR NMS_COMMIT STREQUAL "" OR NMS_COMMIT_FROM_GIT)
  find_package(Git QUIET)
  set(_nms_commit "unknown")
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=12 HEAD
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE _head OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE _rc ERROR_QUIET)
    if(_rc EQUAL 0 AND _head)
      set(_nms_commit ${_head})
      execute_process(COMMAND ${GIT_EXECUTABLE} status --porcelain --untracked-files=no
                      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                      OUTPUT_VARIABLE _dirty OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(_dirty)
        string(APPEND _nms_commit "-modified")
      endif()
      execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --symbolic-full-name HEAD
                      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                      OUTPUT_VARIABLE _ref OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      foreach(_name HEAD ${_ref})
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute --git-path ${_name}
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                        OUTPUT_VARIABLE _watch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(_watch AND EXISTS "${_watch}")
          set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_watch}")
        endif()
      endforeach()
    endif()
  endif()
  set(NMS_COMMIT ${_nms_commit})
  set(NMS_COMMIT_FROM_GIT ON)
endif()
