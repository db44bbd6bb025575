# Every target of ours compiles with the same warnings; CI turns them into errors.
function(sentrova_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local -Wconversion -Wno-sign-conversion)
  if(SENTROVA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
