# A program or DLL that goes in the station's package is stripped, as the package carries
# it; its debug information stays in the build folder, in NAME.debug beside it, which a
# debugger finds through the file's debug link (name and checksum).
# The linker stamps no time into a PE file, but objcopy and strip stamp the clock's unless
# SOURCE_DATE_EPOCH says otherwise: 0 keeps the linker's "no time", the same in every build.
function(stagemark_stripped target)
  set(no_time ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${no_time} ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${no_time} ${CMAKE_STRIP} --strip-all $<TARGET_FILE_NAME:${target}>
    COMMAND ${no_time} ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
