option(VANTREL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(VANTREL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# ThreadSanitizer for the threaded parts: the records forwarder beside the window and the
# simulated driver's scan thread.
option(VANTREL_TSAN "Build with ThreadSanitizer" OFF)
if(VANTREL_TSAN)
  if(VANTREL_SANITIZE)
    message(FATAL_ERROR "VANTREL_TSAN and VANTREL_SANITIZE exclude each other")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
