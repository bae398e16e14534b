# imaging_glob_sources(VAR dir [EXCLUDE prefix...]): every .cpp below dir,
# so that adding a file needs no edit of a shared list.
function(imaging_glob_sources var dir)
  cmake_parse_arguments(ARG "" "" "EXCLUDE" ${ARGN})
  file(GLOB_RECURSE found CONFIGURE_DEPENDS
       RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
  set(kept)
  foreach(f IN LISTS found)
    set(skip FALSE)
    foreach(ex IN LISTS ARG_EXCLUDE)
      string(FIND "${f}" "${ex}" pos)
      if(pos EQUAL 0)
        set(skip TRUE)
      endif()
    endforeach()
    # SIMD variants carry their own flags.
    if(f MATCHES "_avx2\\.cpp$")
      set_source_files_properties(${PROJECT_SOURCE_DIR}/${f} PROPERTIES COMPILE_OPTIONS "-mavx2;-mfma;-ffp-contract=off")
    endif()
    if(f MATCHES "_avx512\\.cpp$")
      set(avx512 "-mavx2;-mfma;-mavx512f;-mavx512bw;-mavx512vl;-mavx512dq;-mavx512vbmi;-mavx512vnni;-ffp-contract=off")
      # GCC 12's 512-bit intrinsics start from an undefined register, which
      # its own warnings then report as used uninitialised.
      if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        list(APPEND avx512 -Wno-uninitialized -Wno-maybe-uninitialized)
      endif()
      set_source_files_properties(${PROJECT_SOURCE_DIR}/${f} PROPERTIES COMPILE_OPTIONS "${avx512}")
    endif()
    if(NOT skip)
      list(APPEND kept ${PROJECT_SOURCE_DIR}/${f})
    endif()
  endforeach()
  set(${var} ${kept} PARENT_SCOPE)
endfunction()
