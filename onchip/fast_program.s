; korvel's fast-mode program for the H8/3048F: loaded by the first stage
; (first_stage.s) at H'FFF384 and started at its first byte with r2l = the
; boot program's BRR; the CRC-32 the stage checked it with lies behind it.
;
; Line protocol (8N1; the bit rate the first stage loaded it at, until the
; host asks for another):
;
;   chip answer, 6 bytes:  code, value (4 bytes, high first), check
;                          check = NOT (code + the 4 value bytes), mod 256
;   host command:          cmd, address (3 bytes), length (3 bytes),
;                          [data: `length` bytes, for W only], CRC-32 (4 bytes)
;                          CRC-32 (IEEE, reflected, as zlib) over all that
;                          goes before it, high byte first.
;
;   at start    -> 'K' version, boot BRR, current BRR, 0; then 'L' as below
;   H  hello    -> 'K' the same
;   L  load CRC -> 'L' the CRC-32 of its load, as the first stage received
;                      it (its 4 bytes in their order on the line)
;   W  write    -> 'P' address   programmed (also when the same frame comes
;                                 again: it is answered, not programmed twice)
;                  'V' address   the byte there did not verify (6th pulse)
;                  'A' address   the block leaves the flash (H'00000-H'1FFFF)
;   S  sum      -> 'S' CRC-32 of the flash range, read back
;   R  rate     -> 'R' new BRR   (sent at the old rate; see `rate` below)
;   any frame whose CRC is wrong, that is cut short (50 ms without a byte)
;   or whose length does not fit -> 'C' 0, after the line has been quiet
;   for 20 ms. Bytes that are not a command letter are skipped between
;   frames.
;   A line quiet for LOST ticks between frames takes the chip back to the
;   boot program's BRR: where the host gave up on a rate, it finds the chip
;   there.
;
; Waits are counted in ticks of the poll loop: (boot BRR + 1) x TICK passes,
; about 10 ms whatever the crystal, since the boot BRR grows with it.
;
; Programming a byte (`program_byte`, `select_block`) is the write-control
; program's own code, instruction for instruction: the same registers,
; pulse lengths (41, 81, 161, 321, 641, 1281 passes), wait loops and
; watchdog use, so that each pulse lasts what that program's pulse lasts on
; the same chip. Only its end differs: a byte that does not verify returns
; with carry set instead of stopping the chip.

        .h8300h
        .section .text
        .global _start

; The protocol above by name; onchip/fast_protocol.h holds the same values (a test checks).
VERSION = 1
MAXDATA = 1024              ; the largest block of a write frame
HEAD    = 7                 ; command, address (3 bytes), length (3 bytes)
CRCLEN  = 4
CMD_HELLO = 'H'
CMD_WRITE = 'W'
CMD_SUM   = 'S'
CMD_RATE  = 'R'
CMD_LOAD_CRC = 'L'
ANS_HELLO        = 'K'
ANS_PROGRAMMED   = 'P'
ANS_NOT_VERIFIED = 'V'
ANS_OUTSIDE      = 'A'
ANS_SUM          = 'S'
ANS_RATE         = 'R'
ANS_BAD_FRAME    = 'C'
ANS_LOAD_CRC     = 'L'
MAINLEN = 1024              ; the program as loaded, padded; the load's CRC behind it

; Addresses in on-chip RAM, full 24-bit (H'FFEF10 to H'FFFF0F, in every
; mode). Those given as 16 bits are reached with @aa:16, which the CPU
; extends with ones to H'FFxxxx.
STACK   = 0xFFFF10          ; top of on-chip RAM; the stack grows down
FRAME   = 0xF800            ; H'FFF800: the command frame being received (HEAD + MAXDATA + CRCLEN),
                            ; up to H'FFFC0A; the stack above it has 773 bytes
TICK    = 200               ; poll passes per (BRR + 1) in one tick
LOST    = 430               ; ticks of a quiet line (about 5 s) that take the chip back to the boot rate

; variables, below the frame buffer
V_TICK  = 0xF7F0            ; long: poll passes in one tick
V_LAST  = 0xF7F4            ; long: CRC of the last frame programmed
V_HAVE  = 0xF7F8            ; byte: V_LAST is valid
V_BOOT  = 0xF7F9            ; byte: the boot program's BRR
V_OLD   = 0xF7FA            ; byte: BRR before a rate change

SMR = 0xB8
BRR = 0xB9
SCR = 0xBA
TDR = 0xBB
SSR = 0xBC
RDR = 0xBD
FLMCR = 0x40                ; flash memory control register
EBR1  = 0x42                ; erase block registers
EBR2  = 0x43
TCSR  = 0xFFA8              ; watchdog TCSR/TCNT, written as one word (H'A5 to TCSR, H'5A to TCNT)

_start:
        mov.l   #STACK,er7
        mov.b   r2l,r0l             ; the boot BRR, from the first stage
        mov.b   r0l,@V_BOOT:16
        extu.w  r0
        inc.w   #1,r0
        mov.w   #TICK,r1
        mulxu.w r1,er0              ; er0 = (BRR + 1) x TICK
        mov.l   er0,@V_TICK:16
        sub.b   r0l,r0l
        mov.b   r0l,@V_HAVE:16
        bsr     answer_hello
        bsr     answer_load_crc



main:
        mov.w   #LOST,r6
        bsr     get_frame:16
        cmp.b   #1,r0l
        beq     lost                ; nothing came
        cmp.b   #0,r0l
        bne     bad_frame
        mov.b   @FRAME:16,r0l
        cmp.b   #CMD_WRITE,r0l
        beq     cmd_write:16
        cmp.b   #CMD_SUM,r0l
        beq     cmd_sum:16
        cmp.b   #CMD_RATE,r0l
        beq     cmd_rate:16
        cmp.b   #CMD_LOAD_CRC,r0l
        bne     1f
        bsr     answer_load_crc
        bra     main
1:      bsr     answer_hello
        bra     main


lost:
        mov.b   @V_BOOT:16,r0l
        mov.b   @BRR:8,r0h
        cmp.b   r0l,r0h
        bne     rate_set:16         ; the rate of a host that gave up on the faster one
        bra     main


bad_frame:
        mov.b   #ANS_BAD_FRAME,r0l
        sub.l   er1,er1
        bsr     answer
        bra     main



; The load's CRC-32, behind the program where the first stage left it.
answer_load_crc:
        mov.l   @load_crc:24,er1
        mov.b   #ANS_LOAD_CRC,r0l
        bra     answer



; The hello answer: version, boot BRR, current BRR.
answer_hello:
        mov.b   #VERSION,r1h
        mov.b   @V_BOOT:16,r1l
        mov.w   r1,e1
        mov.b   @BRR:8,r1h
        sub.b   r1l,r1l
        mov.b   #ANS_HELLO,r0l
        ; fall through



; Sends the answer r0l with the value er1. Keeps er3-er6.
answer:
        mov.b   r0l,r2l
        bsr     put_byte
        mov.w   e1,r0
        mov.b   r0h,r0l
        add.b   r0l,r2l
        bsr     put_byte
        mov.w   e1,r0
        add.b   r0l,r2l
        bsr     put_byte
        mov.b   r1h,r0l
        add.b   r0l,r2l
        bsr     put_byte
        mov.b   r1l,r0l
        add.b   r0l,r2l
        bsr     put_byte
        mov.b   r2l,r0l
        not.b   r0l
        ; fall through



; Sends r0l; keeps every other register.
put_byte:
        btst    #7,@SSR:8
        beq     put_byte
        mov.b   r0l,@TDR:8
        bclr    #7,@SSR:8
        rts



; One received byte into r0l within r6 ticks (0: 65536 ticks); carry set
; when none came. r0h holds the error flags it came with (ORER, FER, PER).
; Uses er4 and r6.
get_byte:
1:      mov.l   @V_TICK:16,er4
2:      mov.b   @SSR:8,r0h
        mov.b   r0h,r0l
        and.b   #0x78,r0l
        bne     3f
        dec.l   #1,er4
        bne     2b
        dec.w   #1,r6
        bne     1b
        orc     #0x01,ccr
        rts
3:      mov.b   r0h,r4l
        mov.b   @RDR:8,r0l
        and.b   #0x87,r0h
        mov.b   r0h,@SSR:8
        mov.b   r4l,r0h
        and.b   #0x38,r0h
        andc    #0xFE,ccr
        rts



; er5 bytes (not 0) to @er3+, each within 50 ms; carry set on a time-out.
get_bytes:
        mov.w   #5,r6
        bsr     get_byte
        bcs     1f
        mov.b   r0l,@er3
        inc.l   #1,er3
        dec.l   #1,er5
        bne     get_bytes
1:      rts



; Receives one command frame into FRAME, its first byte within r6 ticks.
; r0l: 0 a good frame, 1 nothing came, 2 a bad frame (the line has then been
; quiet for 20 ms).
get_frame:
        bsr     get_byte
        bcs     9f
        cmp.b   #'A',r0l
        bcs     get_frame           ; not a capital letter: skipped
        cmp.b   #'Z',r0l
        bhi     get_frame
        mov.l   #0xFF0000+FRAME,er3
        mov.b   r0l,@er3
        inc.l   #1,er3
        sub.l   er5,er5
        adds    #4,er5
        adds    #2,er5
        bsr     get_bytes
        bcs     8f
        mov.b   @FRAME:16,r0l
        sub.l   er5,er5
        adds    #CRCLEN,er5         ; the CRC
        cmp.b   #CMD_WRITE,r0l
        bne     2f
        mov.l   #0xFF0000+FRAME+4,er1
        bsr     read24
        mov.l   er0,er0
        beq     8f
        cmp.l   #MAXDATA,er0
        bhi     8f
        add.l   er0,er5
2:      mov.l   er5,er2
        bsr     get_bytes
        bcs     8f
        mov.l   er2,er5
        adds    #2,er5
        inc.l   #1,er5              ; the bytes the CRC covers
        mov.l   #0xFF0000+FRAME,er3
        bsr     crc32
        mov.l   er1,er4
        mov.l   er3,er1             ; the CRC received
        bsr     read32
        cmp.l   er0,er4
        bne     8f
        sub.b   r0l,r0l
        rts
8:      mov.w   #2,r6               ; drain until 20 ms go by without a byte
        bsr     get_byte:16
        bcc     8b
        mov.b   #2,r0l
        rts
9:      mov.b   #1,r0l
        rts



; er0 <- the 3 or 4 bytes at @er1, high first, whatever their alignment;
; er1 moves past them.
read24:
        mov.b   @er1+,r0l
        extu.w  r0
        bra     1f


read32:
        mov.b   @er1+,r0h
        mov.b   @er1+,r0l
1:      mov.w   r0,e0
        mov.b   @er1+,r0h
        mov.b   @er1+,r0l
        rts



; er1 <- CRC-32 of the er5 bytes (not 0) from @er3; er3 moves past them.
crc32:
        sub.l   er1,er1
        dec.l   #1,er1
        mov.l   #0xEDB88320,er2
1:      mov.b   @er3+,r0l
        xor.b   r0l,r1l
        mov.b   #8,r0h
2:      shlr.l  er1
        bcc     3f
        xor.l   er2,er1
3:      dec.b   r0h
        bne     2b
        dec.l   #1,er5
        bne     1b
        not.l   er1
        rts



; er3 <- address, er5 <- length of the frame, er1 <- address; carry set
; when the range leaves the flash.
frame_range:
        mov.l   #0xFF0000+FRAME+1,er1
        bsr     read24
        mov.l   er0,er3
        bsr     read24
        mov.l   er3,er1
        mov.l   er0,er5
        beq     1f                  ; an empty range is refused as well
        add.l   er3,er0
        cmp.l   #0x20000,er0
        bhi     1f
        andc    #0xFE,ccr
        rts
1:      orc     #0x01,ccr
        rts



outside:
        mov.b   #ANS_OUTSIDE,r0l
        bsr     answer:16
        bra     main:16



cmd_sum:
        bsr     frame_range
        bcs     outside
        bsr     crc32
        mov.b   #ANS_SUM,r0l
        bsr     answer:16
        jmp     @main



; Rate change. The answer goes out at the old rate; once it has left the
; line SCI1 is set to the new BRR (transmitter and receiver off, BRR, one
; bit time, on again). Within 300 ms the host then sends a hello frame at
; the new rate, which the chip sends back whole, as it came: the check of
; the new rate both ways. Anything else, and the chip goes back to the old
; BRR and waits for commands there.
cmd_rate:
        mov.b   @BRR:8,r0l
        mov.b   r0l,@V_OLD:16
        sub.l   er1,er1
        mov.b   @FRAME+3:16,r1l
        mov.b   #ANS_RATE,r0l
        bsr     answer:16
        mov.b   @FRAME+3:16,r0l
        bsr     set_brr
        mov.w   #30,r6
        bsr     get_frame:16
        cmp.b   #0,r0l
        bne     rate_back
        mov.b   @FRAME:16,r0l
        cmp.b   #CMD_HELLO,r0l
        bne     rate_back
        mov.l   #0xFF0000+FRAME,er3
        mov.b   #HEAD+CRCLEN,r6l
1:      mov.b   @er3+,r0l
        bsr     put_byte:16
        dec.b   r6l
        bne     1b
        jmp     @main


rate_back:
        mov.b   @V_OLD:16,r0l
rate_set:
        bsr     set_brr
        jmp     @main



; Waits for the last byte to leave the line, then runs SCI1 at BRR r0l.
set_brr:
        btst    #2,@SSR:8           ; TEND
        beq     set_brr
        sub.b   r1l,r1l
        mov.b   r1l,@SCR:8
        mov.b   r0l,@BRR:8
        mov.b   @V_BOOT:16,r1l      ; one bit at 9600 bit/s is 32 x (boot BRR + 1) states
        extu.w  r1
        inc.w   #1,r1
        shll.w  r1
        shll.w  r1
        shll.w  r1
1:      dec.w   #1,r1
        bne     1b
        mov.b   #0x30,r1l
        mov.b   r1l,@SCR:8
        rts



cmd_write:
        bsr     frame_range:16
        bcs     outside:16
        mov.l   #0xFF0000+FRAME+HEAD,er1
        add.l   er5,er1
        bsr     read32:16              ; the frame's CRC, behind the data
        mov.l   er0,er4
        mov.b   @V_HAVE:16,r1l
        beq     2f
        mov.l   @V_LAST:16,er1
        cmp.l   er4,er1
        beq     4f                  ; this frame again: already programmed
2:      sub.b   r0l,r0l
        mov.b   r0l,@V_HAVE:16
        mov.l   er4,@V_LAST:16
        mov.l   er3,er6             ; address
        mov.l   #0xFF0000+FRAME+HEAD,er4     ; data
3:      mov.b   @er4+,r0l
        mov.l   er6,er2
        mov.b   r0l,r3h
        bsr     program_byte
        bcs     5f
        inc.l   #1,er6
        dec.l   #1,er5
        bne     3b
        mov.b   #1,r0l
        mov.b   r0l,@V_HAVE:16
4:      bsr     frame_range:16
        mov.b   #ANS_PROGRAMMED,r0l
        bsr     answer:16
        bra     main:16
5:      mov.l   er6,er1
        mov.b   #ANS_NOT_VERIFIED,r0l
        bsr     answer:16
        jmp     @main



; --- programming one byte: the write-control program's code ------------
; er2 = address, r3h = data. Carry clear: programmed and verified; carry
; set: the byte did not verify after the 6th pulse (registers cleared).
program_byte:
        mov.l   er0,@-er7
        mov.l   er1,@-er7
        mov.l   er2,@-er7
        mov.l   er4,@-er7
        mov.l   er5,@-er7
        mov.l   er6,@-er7
        and.l   #0x1FFFF,er2
        mov.w   #1,r0
        mov.w   #15,r1
        mov.w   #0x4140,r4
        mov.b   r4l,@FLMCR:8         ; FLMCR <- VPPE
1:      dec.w   #1,r1
        bpl     1b
        mov.l   er3,@-er7
        bsr     select_block:16
        mov.l   @er7+,er3
        mov.b   r3h,@er2
        mov.w   #40,e4
2:      mov.w   #0xA579,r4
        mov.w   r4,@TCSR:16       ; watchdog on
        mov.w   e4,e5
        mov.w   #0x4140,r4
        mov.b   r4h,@FLMCR:8         ; FLMCR <- VPPE, P
3:      dec.w   #1,e5
        bpl     3b
        mov.b   r4l,@FLMCR:8         ; FLMCR <- VPPE
        mov.w   #0xA500,r4
        mov.w   r4,@TCSR:16       ; watchdog off
        mov.w   #12,r1
        mov.b   #0x44,r4h
        mov.b   r4h,@FLMCR:8         ; FLMCR <- VPPE, PV
4:      dec.w   #1,r1
        bpl     4b
        mov.b   @er2,r1h
        cmp.b   r3h,r1h
        beq     5f:16
        mov.b   #0x40,r5h
        mov.b   r5h,@FLMCR:8
        cmp.b   #6,r0l
        beq     6f:16
        inc.b   r0l
        shll.w  e4
        bra     2b
5:      mov.w   #0x4000,r5
        mov.b   r5h,@FLMCR:8
        mov.b   r5l,@EBR1:8
        mov.b   r5l,@EBR2:8
        mov.b   r5l,@FLMCR:8
        bra     7f:16
6:      mov.w   #0x4000,r5
        mov.b   r5l,@EBR1:8
        mov.b   r5l,@EBR2:8
        mov.b   r5l,@FLMCR:8
        orc     #0x01,ccr       ; (the write-control program sends its failure text here)
7:      mov.l   @er7+,er6
        mov.l   @er7+,er5
        mov.l   @er7+,er4
        mov.l   @er7+,er2
        mov.l   @er7+,er1
        mov.l   @er7+,er0
        rts



; EBR1 or EBR2 <- the bit of the block that holds er2.
select_block:
        mov.w   e2,r3
        mov.b   r3l,r3h
        mov.b   r2h,r3l
        shlr.w  r3
        mov.b   #0x01,r6l
        cmp.b   #0xF8,r3l
        bcc     2f:16
        or.b    r3l,r3l
        cmp.b   #0x20,r3l
        bcs     1f:16
        mov.b   #0x02,r6l
        cmp.b   #0x40,r3l
        bcs     1f:16
        mov.b   #0x04,r6l
        cmp.b   #0x60,r3l
        bcs     1f:16
        mov.b   #0x08,r6l
        cmp.b   #0x80,r3l
        bcs     1f:16
        mov.b   #0x10,r6l
        cmp.b   #0xA0,r3l
        bcs     1f:16
        mov.b   #0x20,r6l
        cmp.b   #0xC0,r3l
        bcs     1f:16
        mov.b   #0x40,r6l
        cmp.b   #0xE0,r3l
        bcs     1f:16
        mov.b   #0x80,r6l
1:      mov.b   r6l,@EBR1:8
        rts
2:      mov.b   #0x01,r6l
        cmp.b   #0xF9,r3l
        bcs     3f:16
        mov.b   #0x02,r6l
        cmp.b   #0xFA,r3l
        bcs     3f:16
        mov.b   #0x04,r6l
        cmp.b   #0xFB,r3l
        bcs     3f:16
        mov.b   #0x08,r6l
        cmp.b   #0xFC,r3l
        bcs     3f:16
        mov.b   #0x10,r6l
        cmp.b   #0xFD,r3l
        bcs     3f:16
        mov.b   #0x20,r6l
        cmp.b   #0xFE,r3l
        bcs     3f:16
        mov.b   #0x40,r6l
        cmp.b   #0xFF,r3l
        bcs     3f:16
        mov.b   #0x80,r6l
3:      mov.b   r6l,@EBR2:8
        rts

        .org    MAINLEN             ; the load is this long
load_crc:
        .end
