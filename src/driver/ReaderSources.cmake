# The table reader's sources, for the driver library and for the projects that
# build the reader on its own (the fuzz target, the reader benchmark).
set(VELLOMAR_READER_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ByteView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TableHeader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextDecoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CodePageFinder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Descrambler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BlobFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BlockHead.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BlockChain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ChainRecovery.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FormattedMemo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordDecoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ParadoxTable.cpp
)
