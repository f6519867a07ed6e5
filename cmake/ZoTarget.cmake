# Warnings are errors on every target of the project (not on third-party code).
function(zo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(ZO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
