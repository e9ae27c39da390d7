# CAMCTRL_SANITIZE: empty, "address,undefined" or "thread".
set(CAMCTRL_SANITIZE "" CACHE STRING "Sanitizers to build with (address,undefined | thread)")
if(CAMCTRL_SANITIZE)
    set(_san "-fsanitize=${CAMCTRL_SANITIZE}" -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${_san})
    add_link_options(${_san})
endif()
