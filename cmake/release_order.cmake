# Run by cpack once it has made the archive: packs the same files again in
# sorted order. cpack adds them in the order the file system lists the staging
# folder, which on ext4 is a hash of the names seeded differently on every file
# system; sorted, the same commit gives the same archive on any file system.
# The entries keep SOURCE_DATE_EPOCH as their time, set for cpack before it
# packs, written in UTC whatever the machine's time zone. (They also record the
# user and group ids of whoever built them: build releases as one user.)
file(GLOB_RECURSE entries LIST_DIRECTORIES false RELATIVE "${CPACK_TOPLEVEL_DIRECTORY}"
     "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E env TZ=UTC "${CMAKE_COMMAND}" -E tar cf "${package}" --format=zip -- ${entries}
                    WORKING_DIRECTORY "${CPACK_TOPLEVEL_DIRECTORY}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
