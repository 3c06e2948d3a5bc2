# SPDX-License-Identifier: GPL-3.0-or-later
if(NYRA_SANITIZE)
  add_compile_options(-fsanitize=${NYRA_SANITIZE} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${NYRA_SANITIZE})
  if(NYRA_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()
