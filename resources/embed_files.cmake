# Turns binary files into one C++ source of byte arrays with a name table, at build time.
# Run as: cmake -DOUTPUT=<file.cpp> -DINPUTS=<a.bin;b.bin;...> -P embed_files.cmake
if(NOT OUTPUT OR NOT INPUTS)
  message(FATAL_ERROR "embed_files.cmake needs OUTPUT and INPUTS")
endif()

set(body "// Generated at build time from the .bin files in resources/; do not edit.\n")
string(APPEND body "#include \"resources/embedded_files.h\"\n\nnamespace pelorin {\nnamespace {\n\n")
set(table "")
string(REPEAT "0x..," 16 sixteen)
set(index 0)
foreach(input IN LISTS INPUTS)
  get_filename_component(name "${input}" NAME)
  file(READ "${input}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  if(size EQUAL 0)
    message(FATAL_ERROR "${input} is empty")
  endif()
  # Sixteen bytes per line keeps the generated file readable and the compiler happy.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(${sixteen})" "\\1\n    " bytes "${bytes}")
  string(APPEND body "const uint8_t kFile${index}[${size}] = {\n    ${bytes}\n};\n\n")
  string(APPEND table "    {\"${name}\", {kFile${index}, ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()

string(APPEND body "const EmbeddedFile kFiles[] = {\n${table}};\n\n}  // namespace\n\n")
string(APPEND body "std::span<const EmbeddedFile> EmbeddedFiles() { return kFiles; }\n\n")
string(APPEND body "std::span<const uint8_t> EmbeddedFileBytes(std::string_view name) {\n")
string(APPEND body "    for (const EmbeddedFile& file : kFiles)\n")
string(APPEND body "        if (file.name == name) return file.bytes;\n")
string(APPEND body "    return {};\n}\n\n}  // namespace pelorin\n")

# Only touch the output when it changed, so an unchanged image set does not rebuild the engine.
file(WRITE "${OUTPUT}.tmp" "${body}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
