; Reset entry of the program: the vector table's first entry (the reset
; vector at H'0000) points here; the stack starts at the top of on-chip RAM.
        .h8300h
        .section .vects
        .long   _start          ; reset vector
        .text
        .global _start
_start:
        mov.l   #0xfff10,er7    ; stack at the top of on-chip RAM
        jsr     @_main
1:      bra     1b
