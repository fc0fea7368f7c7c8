# Most of a build's time went into parsing the same standard, Qt and
# googletest headers again in every file. They are now parsed once for each
# kind of target (with or without Qt, product or test) into a precompiled
# header that every file of that kind starts from. A file still includes what
# it uses; the headers only come first.
#
# The tests' precompiled header starts with support/Printers.h, which makes a
# failed check print Qt's values and enums as text.

# Whether a target reaches Qt through what it links.
function(kt_links_qt target result)
  set(found OFF)
  set(seen)
  set(queue ${target})
  while(queue AND NOT found)
    list(POP_FRONT queue current)
    if(current IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${current})
    if(current MATCHES "^Qt6::")
      set(found ON)
    elseif(TARGET ${current})
      get_target_property(imported ${current} IMPORTED)
      if(NOT imported)
        get_target_property(type ${current} TYPE)
        set(props INTERFACE_LINK_LIBRARIES)
        if(NOT type STREQUAL "INTERFACE_LIBRARY")
          list(APPEND props LINK_LIBRARIES)
        endif()
        foreach(prop ${props})
          get_target_property(libs ${current} ${prop})
          if(libs)
            string(REGEX REPLACE "\\$<LINK_ONLY:([^>]*)>" "\\1" libs "${libs}")
            list(APPEND queue ${libs})
          endif()
        endforeach()
      endif()
    endif()
  endwhile()
  set(${result} ${found} PARENT_SCOPE)
endfunction()

# The target that makes one kind's header, with that kind's usage requirements.
function(kt_pch_owner name links headers)
  add_library(${name} OBJECT ${PROJECT_SOURCE_DIR}/cmake/Precompiled.cpp)
  target_link_libraries(${name} PRIVATE ${links})
  target_precompile_headers(${name} PRIVATE ${headers})
endfunction()

set(kt_pch_common ${PROJECT_SOURCE_DIR}/cmake/Precompiled.h)
set(kt_pch_test ${PROJECT_SOURCE_DIR}/tests/support/Printers.h <gmock/gmock.h> ${kt_pch_common})
kt_pch_owner(kt_pch_plain "" "${kt_pch_common}")
kt_pch_owner(kt_pch_qt Qt6::Core "${kt_pch_common}")
if(TARGET test_support)
  kt_pch_owner(kt_pch_test "test_support" "${kt_pch_test}")
  kt_pch_owner(kt_pch_test_qt "test_support;Qt6::Core" "${kt_pch_test}")
endif()

function(kt_precompile_headers_in dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    get_target_property(links ${target} LINK_LIBRARIES)
    set(owner kt_pch)
    if(links MATCHES "test_support")
      set(owner kt_pch_test)
    endif()
    kt_links_qt(${target} qt)
    if(qt)
      string(APPEND owner _qt)
    elseif(owner STREQUAL "kt_pch")
      set(owner kt_pch_plain)
    endif()
    target_precompile_headers(${target} REUSE_FROM ${owner})
    # A header made with other options is silently parsed again in every
    # file; this says so instead (and fails a build whose warnings are errors).
    target_compile_options(${target} PRIVATE -Winvalid-pch)
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    kt_precompile_headers_in(${subdir})
  endforeach()
endfunction()

kt_precompile_headers_in(${PROJECT_SOURCE_DIR})
