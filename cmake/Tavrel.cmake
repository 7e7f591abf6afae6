# Shared build rules of the project.

# Our own code compiles without warnings.
function(tavrel_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-missing-field-initializers)
endfunction()

# The subsystem libraries, in link order; a library appears once it exists.
set(TAVREL_SUBSYSTEMS app mainwnd browser skin settings update stats anim platform)

# Adds a static subsystem library made of every source in its folder.
function(tavrel_subsystem name)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  tavrel_strict(${name})
  if(NOT name STREQUAL "platform")
    target_link_libraries(${name} PUBLIC platform)
  endif()
endfunction()

# Every existing subsystem library as one link group: the subsystems call each other.
function(tavrel_link_all target)
  set(libs "")
  foreach(lib ${TAVREL_SUBSYSTEMS})
    if(TARGET ${lib})
      list(APPEND libs ${lib})
    endif()
  endforeach()
  string(REPLACE ";" "," joined "${libs}")
  target_link_libraries(${target} PRIVATE "$<LINK_GROUP:RESCAN,${joined}>")
  if(TARGET tavrel_resources)
    target_link_libraries(${target} PRIVATE tavrel_resources)
  endif()
  if(TARGET platform_entry_deps)
    target_link_libraries(${target} PRIVATE platform_entry_deps)
  endif()
endfunction()

# The program: build/AppTavrel.
function(tavrel_add_program)
  if(NOT EXISTS ${CMAKE_SOURCE_DIR}/platform/entry/main.cpp)
    return()
  endif()
  add_executable(AppTavrel ${CMAKE_SOURCE_DIR}/platform/entry/main.cpp)
  set_target_properties(AppTavrel PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  tavrel_strict(AppTavrel)
  target_include_directories(AppTavrel PRIVATE ${CMAKE_SOURCE_DIR})
  tavrel_link_all(AppTavrel)
endfunction()
