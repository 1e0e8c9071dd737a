# kt_write_checksums(<folder> <files...>): <folder>/SHA256SUMS over the
# files named (relative to the folder), in the format `sha256sum -c` reads.
function(kt_write_checksums root)
  set(sums "")
  foreach(file ${ARGN})
    file(SHA256 ${root}/${file} sum)
    string(APPEND sums "${sum}  ${file}\n")
  endforeach()
  file(WRITE ${root}/SHA256SUMS "${sums}")
endfunction()
