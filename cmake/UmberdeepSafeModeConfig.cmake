# The module author's kit as a CMake package. A game module's CMakeLists.txt:
#
#   find_package(UmberdeepSafeMode CONFIG REQUIRED)
#   target_link_libraries(my_module PRIVATE UmberdeepSafeMode::services)
#
# UmberdeepSafeMode::services brings the folder of os_services.h and the host's
# import library of the bitness being built: the GNU one for mingw-w64, the
# MSVC one for every other toolchain (MSVC, clang-cl, clang for *-windows-msvc).
get_filename_component(_umberdeep_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_umberdeep_arch x64)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(_umberdeep_arch x86)
endif()
if(MINGW)
    set(_umberdeep_library libUmberdeepSafeMode.dll.a)
else()
    set(_umberdeep_library UmberdeepSafeMode.lib)
endif()
set(_umberdeep_library "${_umberdeep_prefix}/lib/${_umberdeep_arch}/${_umberdeep_library}")

if(NOT DEFINED _umberdeep_arch)
    set(UmberdeepSafeMode_FOUND FALSE)
    set(UmberdeepSafeMode_NOT_FOUND_MESSAGE
        "the bitness is not known yet: enable C or C++ before find_package(UmberdeepSafeMode)")
elseif(NOT EXISTS "${_umberdeep_library}")
    set(UmberdeepSafeMode_FOUND FALSE)
    set(UmberdeepSafeMode_NOT_FOUND_MESSAGE
        "this kit holds no ${_umberdeep_arch} host: ${_umberdeep_library} is missing")
elseif(NOT TARGET UmberdeepSafeMode::services)
    add_library(UmberdeepSafeMode::services INTERFACE IMPORTED)
    set_target_properties(UmberdeepSafeMode::services PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES "${_umberdeep_prefix}/include"
        INTERFACE_LINK_LIBRARIES "${_umberdeep_library}")
endif()
unset(_umberdeep_prefix)
unset(_umberdeep_arch)
unset(_umberdeep_library)
