# Warning set for the project's own code; third-party headers come in as system includes.
function(qelv_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wshadow -Wold-style-cast -Woverloaded-virtual -Wnon-virtual-dtor
        $<$<BOOL:${QELV_WERROR}>:-Werror>
        # GCC 12 reports std::string concatenation at -O3 as overlapping memcpy (GCC bug
        # 105329); keep the warning visible but not fatal.
        $<$<CXX_COMPILER_ID:GNU>:-Wno-error=restrict>)
endfunction()

# A core library: plain C++20 and tinyxml2 only. Linking Qt or GStreamer into one fails the
# configure step, so the layering cannot erode silently.
function(qelv_core_library target)
    add_library(${target} STATIC ${ARGN})
    qelv_warnings(${target})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    set_property(GLOBAL APPEND PROPERTY QELV_CORE_TARGETS ${target})
endfunction()

# Called once every target exists: a core target may depend only on other core targets,
# the standard library and tinyxml2.
function(qelv_check_core_layering)
    get_property(targets GLOBAL PROPERTY QELV_CORE_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(deps ${target} LINK_LIBRARIES)
        if(NOT deps)
            continue()
        endif()
        foreach(dep IN LISTS deps)
            if(dep MATCHES "^(Qt[0-9]*::|PkgConfig::GST|gstreamer)")
                message(FATAL_ERROR "core target ${target} must not link ${dep}")
            endif()
        endforeach()
    endforeach()
endfunction()

# GCC 12 at -O2/-O3 warns that `"literal" + std::string&&` may copy overlapping bytes (a false
# -Wrestrict from its own string header, GCC bug 105329). Silenced only for the files where it
# fires, only under GCC 12, so that a clean build prints no warning and other compilers keep it.
function(qelv_gcc12_false_restrict)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
       AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        set_source_files_properties(${ARGN} PROPERTIES COMPILE_OPTIONS -Wno-restrict)
    endif()
endfunction()
