# Warning and sanitizer flags as one interface target that every target links.
add_library(pelorin_options INTERFACE)
target_compile_options(pelorin_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                       -Wno-sign-conversion)

if(PELORIN_SANITIZER)
  string(REPLACE ";" "," _san "${PELORIN_SANITIZER}")
  target_compile_options(pelorin_options INTERFACE -fsanitize=${_san} -fno-omit-frame-pointer
                         -fno-sanitize-recover=all)
  target_link_options(pelorin_options INTERFACE -fsanitize=${_san})
endif()
