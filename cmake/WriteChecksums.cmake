# Install step of the release archive: SHA256SUMS over the files named in
# kt_summed, in the format `sha256sum -c` reads.
set(kt_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(kt_sums "")
foreach(kt_file ${kt_summed})
  file(SHA256 ${kt_root}/${kt_file} kt_sum)
  string(APPEND kt_sums "${kt_sum}  ${kt_file}\n")
endforeach()
file(WRITE ${kt_root}/SHA256SUMS "${kt_sums}")
