# The software centres' entry passes appstreamcli's strictest check, and the entry, the changelog and the
# man page all carry the version being built: a release whose notes were forgotten fails here.
# cmake -DMETAINFO=... -DVERSION=... -DAPPSTREAMCLI=... -DCHANGELOG=... -DMAN_PAGE=... -P check-metadata.cmake
if(NOT APPSTREAMCLI)
  message(FATAL_ERROR "appstreamcli not found: install appstream")
endif()
execute_process(COMMAND ${APPSTREAMCLI} validate --pedantic --no-net ${METAINFO}
                RESULT_VARIABLE failed OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(failed)
  message(FATAL_ERROR "appstreamcli refuses ${METAINFO}:\n${said}")
endif()

file(READ ${METAINFO} metainfo)
string(REGEX MATCH "<release version=\"([^\"]*)\"" newest "${metainfo}")
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  message(FATAL_ERROR "the metainfo's newest release is '${CMAKE_MATCH_1}', not ${VERSION}")
endif()
file(STRINGS ${CHANGELOG} heading LIMIT_COUNT 1)
if(NOT heading MATCHES "^vexed-drifts \\(${VERSION}\\) ")
  message(FATAL_ERROR "the changelog begins with '${heading}', not version ${VERSION}")
endif()
file(READ ${MAN_PAGE} man)
if(NOT man MATCHES "(^|\n)\\.TH [^\n]*\"Vexed Drifts ${VERSION}\"")
  message(FATAL_ERROR "the man page's heading does not name version ${VERSION}")
endif()
