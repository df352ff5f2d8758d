# Read by cpack when it runs. Each Debian package's description starts with its own summary
# line; CPack would put the project's summary line before it unless that is left as default.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CPACK_DEFAULT_PACKAGE_DESCRIPTION_SUMMARY}")
