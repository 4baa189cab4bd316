# Optional sanitizer instrumentation for the whole build.
#   -DVORN_SANITIZER=address  AddressSanitizer and UndefinedBehaviorSanitizer
#   -DVORN_SANITIZER=thread   ThreadSanitizer
if(VORN_SANITIZER STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
elseif(VORN_SANITIZER STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VORN_SANITIZER STREQUAL "")
  message(FATAL_ERROR "VORN_SANITIZER must be empty, 'address' or 'thread'")
endif()

# GCC's flow analysis reports false "may be used uninitialized" warnings inside the standard
# library (std::regex, std::function) once sanitizer instrumentation is inlined; keep them from
# failing warnings-as-errors builds.
if(NOT VORN_SANITIZER STREQUAL "" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-Wno-maybe-uninitialized)
endif()
