# Project-wide warning and sanitizer flags, applied through nms_set_warnings().
function(nms_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor
                         # Aggregates such as a message box grow optional members with defaults.
                         -Wno-missing-field-initializers)
  if(NMS_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(NMS_SANITIZE)
  # The library's own checks too: front() of an empty view or an index past the end aborts
  # instead of reading whatever lies there.
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
                      -D_GLIBCXX_ASSERTIONS)
  add_link_options(-fsanitize=address,undefined)
endif()
