# The install steps that install() cannot express: the link to the program and
# a first configuration that never replaces one already there. Runs at install
# time, so CMAKE_INSTALL_PREFIX is the one given to `cmake --install --prefix`.
if(IS_ABSOLUTE "${VELTRUM_PROGRAM_DIR}")
  set(program_dir "${VELTRUM_PROGRAM_DIR}")
else()
  set(program_dir "${CMAKE_INSTALL_PREFIX}/${VELTRUM_PROGRAM_DIR}")
endif()
set(bin_dir "${CMAKE_INSTALL_PREFIX}/bin")

# Within one top-level folder the link is relative, so the tree can be moved;
# across them (/usr/bin to /opt) it is absolute, as Debian's policy asks.
string(REGEX MATCH "^/[^/]*" program_top "${program_dir}")
string(REGEX MATCH "^/[^/]*" bin_top "${bin_dir}")
if(program_top STREQUAL bin_top)
  file(RELATIVE_PATH target "${bin_dir}" "${program_dir}/veltrum")
else()
  set(target "${program_dir}/veltrum")
endif()
file(MAKE_DIRECTORY "$ENV{DESTDIR}${bin_dir}")
message(STATUS "Installing: $ENV{DESTDIR}${bin_dir}/veltrum -> ${target}")
file(REMOVE "$ENV{DESTDIR}${bin_dir}/veltrum")
file(CREATE_LINK "${target}" "$ENV{DESTDIR}${bin_dir}/veltrum" SYMBOLIC)

# The configuration holds the mail password: readable by the owner only. An
# existing one is the user's and stays as it is.
set(conf "$ENV{DESTDIR}${program_dir}/veltrum.conf")
if(EXISTS "${conf}")
  message(STATUS "Keeping: ${conf}")
else()
  # file(INSTALL) puts DESTDIR in front itself.
  file(INSTALL "${VELTRUM_EXAMPLE_CONF}" DESTINATION "${program_dir}"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE)
endif()
