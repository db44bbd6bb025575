# Every target of ours compiles with the same warnings; CI turns them into errors.
function(sentrova_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wconversion -Wno-sign-conversion
    $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local> $<$<CXX_COMPILER_ID:Clang>:-Wshadow-uncaptured-local>)
  if(SENTROVA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
