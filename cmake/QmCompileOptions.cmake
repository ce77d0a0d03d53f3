# Warnings and sanitizers shared by every target of the project.
add_library(qm_options INTERFACE)
target_compile_options(qm_options INTERFACE -Wall -Wextra -Wshadow)
if(QM_WARNINGS_AS_ERRORS)
  target_compile_options(qm_options INTERFACE -Werror)
endif()
if(QM_SANITIZE)
  target_compile_options(qm_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all
                                              -fno-omit-frame-pointer)
  target_link_options(qm_options INTERFACE -fsanitize=address,undefined)
endif()
if(MINGW)
  # One self-contained .exe: no MinGW runtime DLLs to ship beside it.
  target_link_options(qm_options INTERFACE -static -static-libgcc -static-libstdc++)
endif()
