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

# Debian's hardening (what dpkg-buildflags gives a package, with immediate binding): qmspool
# reads untrusted files and ships in a package. Optimised native builds only: fortified calls
# need optimisation, and the sanitizers and MinGW have checks of their own.
if(NOT WIN32 AND NOT QM_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_definitions(qm_options INTERFACE
    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  target_compile_options(qm_options INTERFACE -fstack-protector-strong)
  target_link_options(qm_options INTERFACE LINKER:-z,relro LINKER:-z,now)
endif()
