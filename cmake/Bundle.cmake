# Files that travel inside the plug-in (DESIGN: one self-contained .so): each
# becomes a read-only byte range `<symbol>_begin` .. `<symbol>_end` (followed
# by a zero byte), hidden from outside the shared object, and is rebuilt
# when the file changes.
function(tonewright_bundle target symbol file)
  set(asm ${CMAKE_BINARY_DIR}/bundle/${symbol}.S)
  file(WRITE ${asm}.in
"    .section .rodata.${symbol},\"a\"
    .balign 16
    .globl ${symbol}_begin
    .hidden ${symbol}_begin
${symbol}_begin:
    .incbin \"${file}\"
    .globl ${symbol}_end
    .hidden ${symbol}_end
${symbol}_end:
    .byte 0
    .section .note.GNU-stack,\"\",@progbits
")
  configure_file(${asm}.in ${asm} COPYONLY)
  set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS "${file}")
  target_sources(${target} PRIVATE ${asm})
endfunction()
