# Install rules of the installation directory, in two groups:
#
# - program files and shipped read-only data: install(TARGETS/FILES) as usual, replaced by every
#   install (zt_install_program_file);
# - files the wizard writes or a site may edit (the local configuration database, help.ini, the
#   text files): installed only when the installation directory does not hold them yet
#   (zt_install_user_file), so installing over an existing installation never loses a
#   registration or an edit. A staging install (DESTDIR, packaging) starts empty and so gets
#   every file.
#
# Folders the wizard creates by itself (data/embedded/, data/backup/) are not installed at all.
#
# Components: program files are "program", user data "userdata". The Debian package
# (packaging/cpack.cmake) takes "program" and its own "package", never "userdata".

function(zt_install_program_file source destination)
  install(FILES ${source} DESTINATION ${destination} COMPONENT program)
endfunction()

function(zt_install_user_file source destination)
  get_filename_component(name ${source} NAME)
  install(CODE "
    set(zt_target \"\${CMAKE_INSTALL_PREFIX}/${destination}/${name}\")
    if(EXISTS \"\$ENV{DESTDIR}\${zt_target}\" OR IS_SYMLINK \"\$ENV{DESTDIR}\${zt_target}\")
      message(STATUS \"Keeping: \$ENV{DESTDIR}\${zt_target}\")
    else()
      file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${destination}\" TYPE FILE FILES \"${source}\")
    endif()" COMPONENT userdata)
endfunction()

# A folder of user data: created when missing, its contents never touched.
function(zt_install_user_folder destination)
  install(CODE "file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}\")" COMPONENT userdata)
endfunction()
