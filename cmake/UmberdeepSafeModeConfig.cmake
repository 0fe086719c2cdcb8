# The module author's kit as a CMake package. A game module's CMakeLists.txt:
#
#   find_package(UmberdeepSafeMode CONFIG REQUIRED)
#   target_link_libraries(my_module PRIVATE UmberdeepSafeMode::services)
#
# UmberdeepSafeMode::services brings the folder of os_services.h (and of
# os_screen.h, the back buffer, a header with nothing to link) and the host's
# import library of the bitness being built: the GNU one for mingw-w64, the
# MSVC one for every other toolchain (MSVC, clang-cl, clang for *-windows-msvc).
# With mingw-w64 it also links libgcc and libstdc++ statically, so the module
# needs no compiler DLL (libgcc_s_dw2-1.dll, libstdc++-6.dll) that a bare
# Windows lacks.
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

set(UmberdeepSafeMode_FOUND FALSE)
if(NOT CMAKE_C_COMPILER_LOADED AND NOT CMAKE_CXX_COMPILER_LOADED)
    set(UmberdeepSafeMode_NOT_FOUND_MESSAGE
        "no C or C++ compiler is enabled yet: name C or CXX in project() (or call enable_language) before find_package(UmberdeepSafeMode)")
elseif(NOT WIN32)
    set(UmberdeepSafeMode_NOT_FOUND_MESSAGE
        "this build targets ${CMAKE_SYSTEM_NAME}, not Windows, and a game module is a Windows DLL; to cross-build with mingw-w64, configure with -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++ (i686-w64-mingw32-gcc and -g++ for a 32-bit module)")
elseif(NOT DEFINED _umberdeep_arch)
    set(UmberdeepSafeMode_NOT_FOUND_MESSAGE
        "CMake could not learn the compiler's pointer size (CMAKE_SIZEOF_VOID_P is empty), so the host's bitness is unknown; see CMakeFiles/CMakeError.log of the build folder")
elseif(NOT EXISTS "${_umberdeep_library}")
    set(UmberdeepSafeMode_NOT_FOUND_MESSAGE
        "this kit holds no ${_umberdeep_arch} host: ${_umberdeep_library} is missing")
else()
    set(UmberdeepSafeMode_FOUND TRUE)
    if(NOT TARGET UmberdeepSafeMode::services)
        add_library(UmberdeepSafeMode::services INTERFACE IMPORTED)
        set_target_properties(UmberdeepSafeMode::services PROPERTIES
            INTERFACE_INCLUDE_DIRECTORIES "${_umberdeep_prefix}/include"
            INTERFACE_LINK_LIBRARIES "${_umberdeep_library}")
        if(MINGW)
            set_target_properties(UmberdeepSafeMode::services PROPERTIES
                INTERFACE_LINK_OPTIONS "-static-libgcc;$<$<LINK_LANGUAGE:CXX>:-static-libstdc++>")
        endif()
    endif()
endif()
unset(_umberdeep_prefix)
unset(_umberdeep_arch)
unset(_umberdeep_library)
