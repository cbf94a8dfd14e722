# qe_install_program(TARGET COMMAND): installs the program into the private
# program folder, where it finds its companions, and a command in bin/ that is
# a relative link to it (the programs resolve their own folder through it).
function(qe_install_program target command)
  install(TARGETS ${target} RUNTIME DESTINATION ${QE_INSTALL_PROGRAM_DIR})
  qe_install_link(${CMAKE_INSTALL_BINDIR} ${command} ${QE_INSTALL_PROGRAM_DIR}/$<TARGET_FILE_NAME:${target}>)
endfunction()

# qe_install_link(DIR NAME TARGET): a relative symbolic link DIR/NAME to
# TARGET, both under the prefix, made inside the staging root as well.
function(qe_install_link dir name target)
  install(CODE "
    set(_root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    file(RELATIVE_PATH _rel \"/p/${dir}\" \"/p/${target}\")
    file(MAKE_DIRECTORY \"\${_root}/${dir}\")
    file(REMOVE \"\${_root}/${dir}/${name}\")
    message(STATUS \"Installing link: \${_root}/${dir}/${name} -> \${_rel}\")
    file(CREATE_LINK \"\${_rel}\" \"\${_root}/${dir}/${name}\" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${_root}/${dir}/${name}\")
  ")
endfunction()
