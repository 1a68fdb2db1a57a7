; Reset entry of the program: the vector table's first entry (the reset
; vector at H'0000) points here. The stack starts at the top of on-chip
; RAM; .data gets its initial values from the copy link.x keeps in flash
; behind the code, and .bss is cleared, before main runs.
        .h8300h
        .section .vects
        .long   _start          ; reset vector
        .text
        .global _start
_start:
        mov.l   #0xfff10,er7    ; stack at the top of on-chip RAM
        mov.l   #_data_load,er0
        mov.l   #_data_start,er1
        mov.l   #_data_end,er2
copy:   cmp.l   er2,er1         ; .data: flash copy to RAM, a byte at a time
        bhs     clear
        mov.b   @er0+,r3l
        mov.b   r3l,@er1
        inc.l   #1,er1
        bra     copy
clear:  mov.l   #_bss_end,er2   ; .bss follows .data
        sub.b   r3l,r3l
zero:   cmp.l   er2,er1
        bhs     run
        mov.b   r3l,@er1
        inc.l   #1,er1
        bra     zero
run:    jsr     @_main
1:      bra     1b
