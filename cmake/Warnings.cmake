function(plannix_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

if(PLANNIX_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
