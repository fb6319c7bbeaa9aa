# Writes the schema hash of the state blobs: the first 32 bits of a SHA-256 over the
# serializer's sources, so that a blob written by a build with another layout is
# refused. Arguments: -DOUT=<header> -DINPUTS=<files separated by '|'>.
string(REPLACE "|" ";" files "${INPUTS}")
set(all "")
foreach(file IN LISTS files)
  file(SHA256 "${file}" digest)
  string(APPEND all "${digest}")
endforeach()
string(SHA256 total "${all}")
string(SUBSTRING "${total}" 0 8 short)
file(WRITE "${OUT}.tmp"
  "// Made by the build from the state serializer's sources; do not edit.\n"
  "#pragma once\n"
  "#define QEL_CLIENT_STATE_SCHEMA_HASH 0x${short}u\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
