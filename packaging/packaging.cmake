# What an install holds, and the packages CPack makes of it:
#   Windows: talewick-VERSION-win64.zip, one portable folder with the three
#            programs, the word list, the corpus and README.txt, and
#            talewick-VERSION-win64-setup.exe, which installs the same files;
#   Linux:   talewick_VERSION_amd64.deb, installed under /usr (programs in bin/,
#            word list and corpus in share/talewick/, the desktop entry, icons,
#            man pages, copyright and changelog, the search service's systemd
#            unit and examples of its settings and of HAProxy in front of it).
# `cpack` in a build folder makes the platform's packages. The install layout and
# the generator come from packaging_<platform>.cmake, included before this file.
set(CPACK_PACKAGE_NAME talewick)
set(CPACK_PACKAGE_VENDOR "The Talewick developers")
set(CPACK_PACKAGE_CONTACT "Talewick developers <developers@talewick.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "grows a story from what usually follows its words")
set(CPACK_STRIP_FILES ON)
include(CPack)
