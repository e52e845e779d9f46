# nw_delay_imports(<target> <dll>...): the target binds these system DLLs at
# the first call into each instead of when the process starts. Every DLL a
# program imports is loaded and initialised before its first line runs (the
# security library alone loads its authentication packages then); what the
# window does not need to show waits for its first use.
#
# The delay-import libraries are made at configure time from the toolchain's
# own import libraries: every function of <dll>, under the same symbol, so
# the code calls them unchanged. The linker takes a symbol from the first
# library that has it, and the target's own libraries come before those of
# the libraries it links, so these win over the plain import libraries.
# mingw-w64's runtime (libmingwex) has the loader, __delayLoadHelper2.
#
# The code that calls these DLLs must be compiled with DECLSPEC_IMPORT
# defined empty (and _NO_KSECDD_IMPORT_ for sspi.h), so that it calls each
# function's stub (Name, a jump through the import slot) instead of reading
# the slot (__imp_Name) itself. The stub
# and the slot's first target, the code that loads the DLL, share one section
# of the library member, and the 32-bit ld drops that section when nothing
# refers to the stub's symbol: the slot then holds 0, and the first call
# jumps to address 0. A referenced stub keeps it. It costs a jump per call.
# tools/check-imports.sh reads the delay-imported functions from the link map.
function(nw_delay_imports target)
    set(dir ${CMAKE_BINARY_DIR}/delayimp)
    file(MAKE_DIRECTORY ${dir})
    foreach(dll ${ARGN})
        set(lib ${dir}/lib${dll}_delay.a)
        find_library(NW_IMPORT_LIB_${dll} ${dll})
        if(NOT NW_IMPORT_LIB_${dll})
            message(FATAL_ERROR "no import library for ${dll}")
        endif()
        if(NOT EXISTS ${lib} OR ${NW_IMPORT_LIB_${dll}} IS_NEWER_THAN ${lib})
            execute_process(COMMAND ${CMAKE_NM} ${NW_IMPORT_LIB_${dll}} OUTPUT_VARIABLE symbols
                            RESULT_VARIABLE failed ERROR_QUIET)
            # "00000000 I __imp__Name@8" (i686, stdcall) or "... I __imp_Name".
            string(REGEX MATCHALL "I __imp_[^\r\n]+" symbols "${symbols}")
            set(def "LIBRARY ${dll}.dll\nEXPORTS\n")
            set(seen)
            foreach(s ${symbols})
                string(REGEX REPLACE "^I __imp_" "" name "${s}")
                if(CMAKE_SIZEOF_VOID_P EQUAL 4)
                    string(REGEX REPLACE "^_" "" name "${name}")
                endif()
                list(FIND seen "${name}" known)
                if(known EQUAL -1)
                    list(APPEND seen "${name}")
                    string(APPEND def "${name}\n")
                endif()
            endforeach()
            if(failed OR NOT seen)
                message(FATAL_ERROR "cannot read the functions of ${NW_IMPORT_LIB_${dll}}")
            endif()
            file(WRITE ${dir}/${dll}.def "${def}")
            # --kill-at: the 32-bit names are imported without their @N.
            # Run in the folder with a bare file name: dlltool names its
            # symbols after the output path, and no build path goes into
            # the program's symbols.
            execute_process(COMMAND ${CMAKE_DLLTOOL} --kill-at --input-def ${dll}.def
                                    --dllname ${dll}.dll --output-delaylib lib${dll}_delay.a
                            WORKING_DIRECTORY ${dir} RESULT_VARIABLE failed)
            if(failed)
                message(FATAL_ERROR "dlltool could not make ${lib}")
            endif()
        endif()
        target_link_libraries(${target} PRIVATE ${lib})
    endforeach()
endfunction()
