# The distribution's hardening flags, as dpkg-buildflags gives them with every hardening
# feature on: stack protector, format checks, RELRO and BIND_NOW, and position-independent
# programs. Fortified functions need an optimised build and stay out of the sanitizer builds,
# whose own checks they would hide. The release preset (the one packages are made from) turns
# it on.
option(VANTREL_HARDEN "Build with the distribution's hardening flags (dpkg-buildflags)" OFF)

function(vantrel_dpkg_buildflags kind pattern out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            ${VANTREL_DPKG_BUILDFLAGS} --get ${kind}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags INCLUDE REGEX "${pattern}")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

if(VANTREL_HARDEN)
  find_program(VANTREL_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
  vantrel_dpkg_buildflags(CXXFLAGS "^-(fstack-protector|Wformat|Werror=format-security)" vantrel_hardening_compile)
  vantrel_dpkg_buildflags(LDFLAGS "^-Wl,-z," vantrel_hardening_link)
  add_compile_options(${vantrel_hardening_compile})
  add_link_options(${vantrel_hardening_link})

  string(TOUPPER "${CMAKE_BUILD_TYPE}" vantrel_build_type)
  if(vantrel_build_type MATCHES "^(RELEASE|RELWITHDEBINFO|MINSIZEREL)$"
     AND NOT VANTREL_SANITIZE AND NOT VANTREL_FUZZ AND NOT VANTREL_TSAN)
    vantrel_dpkg_buildflags(CPPFLAGS "^-D_FORTIFY_SOURCE=" vantrel_hardening_fortify)
    add_compile_options(${vantrel_hardening_fortify})
  endif()

  # Programs are linked as position-independent executables (with CMAKE_POSITION_INDEPENDENT_CODE).
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES C CXX)
endif()
