# Writes the menu entry for the program at BELVANE_PROGRAM (the installed path, without DESTDIR) from
# BELVANE_DESKTOP_TEMPLATE and installs it into BELVANE_DESKTOP_DIR. Runs when installing.
if(BELVANE_PROGRAM MATCHES "[\n\r]")
    message(FATAL_ERROR "A menu entry cannot name a program whose path holds a line break: ${BELVANE_PROGRAM}")
endif()

# Exec takes the path as one quoted argument: inside the quotes " ` $ and \ take a backslash, a literal %
# is doubled, and then the value as a whole doubles every backslash, as every desktop entry string does.
string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" EXEC "${BELVANE_PROGRAM}")
string(REPLACE "%" "%%" EXEC "${EXEC}")
string(REPLACE "\\" "\\\\" EXEC "\"${EXEC}\"")
string(REPLACE "\\" "\\\\" TRYEXEC "${BELVANE_PROGRAM}")
set(ICON belvane)

# A folder of its own per destination, so installs into several prefixes at once do not meet here.
get_filename_component(staging "${BELVANE_DESKTOP_TEMPLATE}" DIRECTORY)
string(MD5 destination "$ENV{DESTDIR}${BELVANE_DESKTOP_DIR}")
set(staging "${staging}/installed-${destination}")
configure_file("${BELVANE_DESKTOP_TEMPLATE}" "${staging}/belvane.desktop" @ONLY)
file(INSTALL DESTINATION "${BELVANE_DESKTOP_DIR}" TYPE FILE FILES "${staging}/belvane.desktop")
