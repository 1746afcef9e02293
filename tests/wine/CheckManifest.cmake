# Fails unless the program's manifest asks for administrator rights the way
# every Windows from XP SP3 on reads it: one trustInfo element in the asm.v3
# namespace, and no element that declares two namespaces (XP SP2's parser
# fails on those).
cmake_policy(VERSION 3.25)
file(STRINGS "${PROGRAM}" trust REGEX "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm\\.v3\">")
file(STRINGS "${PROGRAM}" level REGEX "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>")
file(STRINGS "${PROGRAM}" twice REGEX "<[A-Za-z]+ [^<>]*xmlns[^<>]*xmlns")
list(LENGTH trust trusts)
list(LENGTH level levels)
if(NOT trusts EQUAL 1 OR NOT levels EQUAL 1)
  message(FATAL_ERROR "${PROGRAM}: ${trusts} trustInfo elements in asm.v3 and ${levels} requireAdministrator "
                      "levels, where there must be one each")
endif()
if(twice)
  message(FATAL_ERROR "an element declares two namespaces: ${twice}")
endif()
message(STATUS "the manifest asks for administrator rights")
