; korvel's first stage for the H8/3048F: the boot program loads these bytes
; (at most 128) at H'FF300 at 9600 bit/s and starts them; they take the fast-mode
; program (fast_program.s) at the rate the host chooses and start it.
;
; Line protocol (8N1), each byte the chip receives is echoed at once:
;
;   chip: boot BRR                     at the boot program's rate, when the
;                                      stage starts and whenever it starts over
;   host: BRR for the host's rate      echoed at the old rate; SCI1 is then
;                                      set to it (receiving again within
;                                      0.6 ms at 8 MHz)
;   host: LOADLEN bytes:               each echoed at the new rate (see put_byte)
;         CHECKLEN bytes of any value  the new rate checked both ways: the host
;                                      sends the rest only once their echoes
;                                      came back
;         MAINLEN bytes                the fast-mode program, stored from MAIN
;                                      (H'FFF384)
;         CRC-32 of all LOADLEN-4 bytes before it, low byte first
;
; With the CRC-32 (IEEE, reflected, as zlib) run over all LOADLEN bytes the
; register holds the constant RESIDUE exactly when the bytes came as sent.
; Then the program is started at MAIN with r2l = the boot BRR; the CRC
; stays in RAM behind it (its hello reports it). Otherwise, and when a byte
; does not come within TIMEOUT poll passes, the stage starts over at the
; boot program's rate.
;
; Addresses are full 24-bit ones (H'FFFxxx): on-chip RAM in every mode. The
; stack is the 4 bytes below MAIN (a subroutine never calls another).

        .h8300h
        .section .text
        .global _start

; onchip/fast_protocol.h holds the same values (a test checks).
CHECKLEN = 4
MAINLEN  = 1024
LOADLEN  = CHECKLEN + MAINLEN + 4
MAIN     = 0xFFF384
RESIDUE  = 0xDEBB20E3       ; the CRC register (not inverted) after the CRC, low byte first
TIMEOUT  = 0x20000          ; poll passes for a byte at the new rate, set as e6 = 2
BITWAIT  = 0x0300           ; passes of 6 states after a BRR change (low byte 0)

BRR = 0xB9
SCR = 0xBA
TDR = 0xBB
SSR = 0xBC
RDR = 0xBD

_start:
        mov.l   #MAIN,er7
        mov.b   @BRR:8,r2l          ; the boot BRR, kept in r2l
restart:
        mov.b   r2l,r0l
        bsr     set_brr
        bsr     put_byte            ; the boot BRR, at 9600 bit/s
        sub.l   er6,er6             ; no time limit for the host's BRR
        bsr     get_byte
        bsr     set_brr
        inc.w   #TIMEOUT >> 16,e6
        mov.l   er7,er3
        subs    #CHECKLEN,er3       ; the check bytes go below MAIN, over the stack
        mov.w   #LOADLEN,r5
        sub.l   er1,er1
        dec.l   #1,er1
1:      bsr     get_byte
        mov.b   r0l,@er3
        adds    #1,er3
        xor.b   r0l,r1l
        mov.b   #8,r0h
2:      shlr.l  er1
        bcc     3f
        xor.l   #0xEDB88320,er1
3:      dec.b   r0h
        bne     2b
        dec.w   #1,r5
        bne     1b
        cmp.l   #RESIDUE,er1
        bne     restart
        jmp     @er7                ; MAIN



; Runs SCI1 at BRR r0l once the last byte has left the line: SCI1 off,
; BRR, BITWAIT passes (4,608 states: more than one bit at 9600 bit/s up to
; 16 MHz), SCI1 on. Uses r4.
set_brr:
        btst    #2,@SSR:8           ; TEND
        beq     set_brr
        mov.w   #BITWAIT,r4
        mov.b   r4l,@SCR:8
        mov.b   r0l,@BRR:8
1:      dec.w   #1,r4
        bne     1b
        mov.b   #0x30,r4l           ; transmitter and receiver on
        mov.b   r4l,@SCR:8
        rts



; One received byte into r0l, within er6 poll passes (0: 2^32), and sent
; back; a byte with an error flag counts as received. Without one in time:
; the stage starts over. Uses er4.
get_byte:
        mov.l   er6,er4
1:      mov.b   @SSR:8,r0l
        and.b   #0x78,r0l           ; RDRF, ORER, FER, PER
        bne     2f
        dec.l   #1,er4
        bne     1b
        adds    #4,er7              ; the return address
        bra     restart
2:      mov.b   @RDR:8,r0l
        mov.b   #0x80,r4l           ; clears RDRF and the error flags
        mov.b   r4l,@SSR:8
        ; fall through



; Sends r0l without waiting for TDRE; keeps every register. Where the
; host's rate is above SCI1's own (by the rate's error, 2% at most), the
; echoes of the load fall behind, and one that finds TDR still full takes
; the place of the one waiting there, so that the receiver never waits for
; the transmitter: the echoes of the load are not read, and those of the
; check bytes, four in a row after a quiet line, all come whole.
put_byte:
        mov.b   r0l,@TDR:8
        bclr    #7,@SSR:8
        rts
        .end
