# SPDX-License-Identifier: GPL-3.0-or-later
# Debian's hardening flags (dpkg-buildflags: fortify, stack protector,
# format checks, relro and bindnow) for the optimised builds the package is
# made from. Sanitizer and fuzz builds have their own instrumentation, and
# fortify needs the optimiser, so debug builds go without.
option(NYRA_HARDENING "Build with Debian's hardening flags" ON)
if(NYRA_HARDENING AND NOT NYRA_SANITIZE AND NOT NYRA_BUILD_FUZZ
   AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  add_compile_options(-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2)
  add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security -Wdate-time)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
