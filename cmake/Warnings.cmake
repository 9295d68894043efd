# Warnings are on for every target of the project and must stay clean.
add_library(vantrel_warnings INTERFACE)
target_compile_options(vantrel_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Wunused
  -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough
  $<$<BOOL:${VANTREL_WERROR}>:-Werror>)
option(VANTREL_WERROR "Treat warnings as errors" OFF)
