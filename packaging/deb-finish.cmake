# SPDX-License-Identifier: GPL-3.0-or-later
# Run by cpack on the staged files before it packs the .deb: what only the
# Debian package carries, and what stripping alone leaves for it to do.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr")

# Drop the .comment section (the compilers' version strings, the C runtime's
# start files' too), as Debian's own packages do.
file(GLOB programs "${root}/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_OBJCOPY}" --remove-section=.comment "${program}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "objcopy could not rewrite ${program}")
  endif()
endforeach()

# Lintian's overrides, each with the reason it does not apply.
file(MAKE_DIRECTORY "${root}/share/lintian/overrides")
file(COPY_FILE "${CPACK_PLORVEX_SOURCE_DIR}/lintian-overrides"
     "${root}/share/lintian/overrides/plorvex")
file(CHMOD "${root}/share/lintian/overrides/plorvex" PERMISSIONS OWNER_READ OWNER_WRITE
     GROUP_READ WORLD_READ)
