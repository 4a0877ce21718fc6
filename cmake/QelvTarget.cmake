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
