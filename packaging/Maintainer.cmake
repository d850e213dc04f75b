# Sets BELVANE_DEB_MAINTAINER, "Name <address>", for the Debian package's control file and changelog:
# whoever builds the package signs it, as with Debian's own tools: the value given when configuring
# (-DBELVANE_DEB_MAINTAINER=), or DEBFULLNAME and DEBEMAIL from the environment of cpack. The project
# itself has no address to give, so without either the package is not made.
if(NOT BELVANE_DEB_MAINTAINER AND "$ENV{DEBEMAIL}" MATCHES "<")
    set(BELVANE_DEB_MAINTAINER "$ENV{DEBEMAIL}") # "Name <address>" in DEBEMAIL alone, as dch takes it too
elseif(NOT BELVANE_DEB_MAINTAINER AND NOT "$ENV{DEBEMAIL}" STREQUAL "")
    set(BELVANE_DEB_MAINTAINER "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
endif()
if(NOT BELVANE_DEB_MAINTAINER MATCHES "^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$")
    message(FATAL_ERROR "The Debian package needs its maintainer, \"Name <address>\" (now \"${BELVANE_DEB_MAINTAINER}\"): "
                        "set DEBFULLNAME and DEBEMAIL, or configure with -DBELVANE_DEB_MAINTAINER=")
endif()
