# Warnings as errors for our own code; third-party targets never get these.
function(zelk_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion
                                             -Wno-sign-conversion)
endfunction()

# Code that also runs in the kernel: no exceptions, no RTTI, no hidden runtime.
function(zelk_kernel_safe target)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
endfunction()
