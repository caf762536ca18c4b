# Runs at install time (see CMakeLists.txt), when CMAKE_INSTALL_PREFIX is the
# prefix actually installed to: writes the desktop entry for it and installs
# it. The program loads bin.png from its working directory, so Path= is the
# folder that holds the picture.

# A relative --prefix installs below the working directory; the entry needs
# the absolute path.
get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
foreach(dir BINDIR DATADIR)
    if(IS_ABSOLUTE "${POLLWRIGHT_${dir}}")
        set(${dir} "${POLLWRIGHT_${dir}}")
    else()
        set(${dir} "${prefix}/${POLLWRIGHT_${dir}}")
    endif()
endforeach()

# Every value is a string, in which a backslash is written twice.
function(desktop_string text out)
    string(REPLACE "\\" "\\\\" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Exec= is a command line: a path holding a reserved character is quoted,
# with " ` $ and \ escaped inside the quotes; % starts a field code.
set(exec "${BINDIR}/pollwright")
if(exec MATCHES "[^-A-Za-z0-9/._+,:=@]")
    string(REGEX REPLACE "([\\\"`$])" "\\\\\\1" exec "${exec}")
    set(exec "\"${exec}\"")
endif()
string(REPLACE "%" "%%" exec "${exec}")
desktop_string("${exec}" POLLWRIGHT_EXEC)
desktop_string("${DATADIR}/pollwright" POLLWRIGHT_PATH)

configure_file("${POLLWRIGHT_DESKTOP_TEMPLATE}" "${POLLWRIGHT_DESKTOP_FILE}" @ONLY)
file(INSTALL DESTINATION "${DATADIR}/applications" TYPE FILE FILES "${POLLWRIGHT_DESKTOP_FILE}")
