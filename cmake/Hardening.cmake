# The hardening Debian builds its own packages with (dpkg-buildflags, with bind-now): a guarded
# stack, checked string and memory functions, format strings checked, and relocations read-only
# once loaded. The sanitizer and fuzzing builds bring checks of their own, which the fortified
# functions would get in the way of.
if(NOT TILORA_SANITIZE AND NOT TILORA_FUZZ)
  add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
  # Checked functions need the optimiser; an unoptimised build would only warn about them.
  add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
endif()
add_link_options(LINKER:-z,relro LINKER:-z,now)
