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
