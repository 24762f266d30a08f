# Precompiled headers: Qt's and the standard library's headers are most of what a file of ours costs to
# compile, and every file parses the same ones. Three small host libraries compile them once each (core,
# windows, tests); every target of the build reuses its kind's (tarn_precompile_headers below, applied
# to all targets at the end of the top-level CMakeLists). GCC refuses a precompiled header built with
# other flags, so the hosts get the flags of the targets that reuse them: the global compile options,
# Qt's -fPIC, and GoogleTest's definitions for the tests' host.
option(TARN_PCH "Compile the common headers once per build" ON)

function(tarn_add_pch_host kind header)
  add_library(tarn_pch_${kind} STATIC ${CMAKE_SOURCE_DIR}/cmake/pch/empty.cpp)
  target_link_libraries(tarn_pch_${kind} PRIVATE ${ARGN})
  target_precompile_headers(tarn_pch_${kind} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/pch/${header})
  set_target_properties(tarn_pch_${kind} PROPERTIES AUTOMOC OFF)
endfunction()

if(TARN_PCH)
  tarn_add_pch_host(core core.h Qt6::Core)
  tarn_add_pch_host(widgets widgets.h Qt6::Widgets)
endif()

# Every C++ target under DIR (recursively) reuses the host of its kind: test programs (they link
# GoogleTest) the tests' one, targets linking Qt Widgets the windows' one, the rest the core one.
function(tarn_precompile_headers dir)
  if(NOT TARN_PCH)
    return()
  endif()
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|EXECUTABLE|OBJECT_LIBRARY)$" OR t MATCHES "^tarn_pch_")
      continue()
    endif()
    get_target_property(sources ${t} SOURCES)
    if(NOT sources MATCHES "\\.cpp")
      continue()
    endif()
    get_target_property(links ${t} LINK_LIBRARIES)
    set(kind core)
    if(links MATCHES "tarn_test_support|GTest::")
      set(kind tests)
    elseif(links MATCHES "Qt6::Widgets|_windows|Qt6::PrintSupport|Qt6::Charts")
      set(kind widgets)
    endif()
    if(TARGET tarn_pch_${kind})
      target_precompile_headers(${t} REUSE_FROM tarn_pch_${kind})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(d IN LISTS subdirs)
    tarn_precompile_headers(${d})
  endforeach()
endfunction()
